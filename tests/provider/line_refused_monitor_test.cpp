// Lines 200 and 201 are monitored by a switch (IDs 1 and 2) that is then replaced by one that
// refuses 200's monitor and gives 201 the ID 1. A call ringing 201 must reach line 201, never
// line 200, whatever the refusal: a wrong password, a phone the switch does not have, or a
// failure answer to the monitor start. A line that lost the link holds no ID until its new start
// is answered, and the refusal gives it none.

#include <atomic>

#include "tests/provider/line_scenario.h"

namespace prov_test {
namespace scenario {
namespace {

struct Refusal {
  const char* pszName;
  std::vector<SimPhoneConfig> phones;
  DWORD dwFailure;  // the code of an OMBIX_FAILURE_RSP answering 200's monitor start; 0: none
  DWORD dwLineError;
};

// Counts its resynchronisations: the test places its call once the one after the re-login is
// over, so that the call meets the lines as they stay.
class ResyncCountingLine : public ScenarioLine {
  DECLARE_DYNCREATE(ResyncCountingLine)
 public:
  void ResyncCalls() override {
    ScenarioLine::ResyncCalls();
    ++nResyncs;
  }
  std::atomic<int> nResyncs{0};
};
IMPLEMENT_DYNCREATE(ResyncCountingLine, ScenarioLine)

void PrintTo(const Refusal& refusal, std::ostream* pOut) { *pOut << refusal.pszName; }

class LineRefusedMonitorTest : public TapiSimTest, public ::testing::WithParamInterface<Refusal> {
 protected:
  void SetUp() override {
    TapiSimTest::SetUp();
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(ResyncCountingLine), true,
               &Tapi::Completion);
    // The first open's start and the login's start of the other monitor race for the switch's
    // IDs: 201's is refused at the login, so that 200 gets 1 and 201's own open 2.
    SaveLineSettings(kProviderID, 1, "201", "wrong");
    for (int i = 0; i < 2; ++i) {
      if (i == 1) {
        ASSERT_TRUE(WaitUntil(
            [&] { return lines[1]->GetLineError() == OMBIX_ERROR_INVALID_PASSWORD; }));
        SaveLineSettings(kProviderID, 1, "201", "1234");
      }
      ASSERT_EQ(OpenForTapi(lines[i], i), 0);
    }
    ASSERT_TRUE(WaitUntil([&] { return !lines[1]->IsOutOfService(); }));  // its phone's state
  }

  ResyncCountingLine* lines[2] = {};
};

TEST_P(LineRefusedMonitorTest, ACallRingingTheOtherPhoneReachesItsOwnLineOnly) {
  const Refusal& refusal = GetParam();
  ASSERT_EQ(lines[0]->GetMonitorID(), 1u);
  ASSERT_EQ(lines[1]->GetMonitorID(), 2u);

  // The new switch answers on the same port; its numbering starts again.
  const WORD wPort = sim->GetPort();
  sim->Stop();
  SwitchSimConfig config;
  config.wPort = wPort;
  config.ackTimeout = std::chrono::milliseconds(500);
  config.phones = refusal.phones;
  sim = std::make_unique<SwitchSim>(config);
  ASSERT_TRUE(sim->Start()) << sim->GetLastError();
  ASSERT_EQ(sim->Command("defer MONITOR_START_REQ"), "ok");  // 200's, the first after the login

  // The new switch knows no session: 201's make-call brings the new login.
  HDRVCALL hdCall = nullptr;
  EXPECT_EQ(provider.lineMakeCall(lines[1], 10, reinterpret_cast<HTAPICALL>(0x5001), &hdCall,
                                  "202", 0, nullptr),
            10);
  ASSERT_TRUE(WaitUntil([&] { return lines[1]->GetMonitorID() == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return lines[1]->nResyncs.load() == 1; }));
  // 200 waits for its answer without an ID: the one it had was the old session's.
  EXPECT_EQ(lines[0]->GetMonitorID(), 0u);
  if (refusal.dwFailure != 0) {
    EXPECT_EQ(sim->Command("reply MONITOR_START_REQ fail=" + std::to_string(refusal.dwFailure)),
              "ok");
  }
  EXPECT_EQ(sim->Command("release"), "released 1");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->GetLineError() == refusal.dwLineError; }));
  EXPECT_EQ(lines[0]->GetMonitorID(), 0u);
  EXPECT_TRUE(lines[0]->IsOutOfService());

  const DWORD dwCall = SimCall("incoming 201 202");
  EXPECT_TRUE(WaitUntil([&] { return Heard(lines[1], dwCall) == LINECALLSTATE_OFFERING; }));
  EXPECT_EQ(lines[0]->GetAddress(0)->GetCallCount(), 0);
}

// The switch checks the password before it looks for a monitor it has: a refused start leaves
// the phone's monitor in place, with its events, and a later start is answered "duplicate",
// which lists no calls. The line keeps its ID through the refusal, so that TAPI hears of the
// calls the phone has meanwhile.
class LineMonitorAgainTest : public LineScenarioTest {};

TEST_F(LineMonitorAgainTest, ARefusedStartLeavesTheLineItsMonitorAndThePhonesCalls) {
  const DWORD dwID = lines[0]->GetMonitorID();
  const auto reopen = [&](const char* pszPassword) {
    ASSERT_EQ(lines[0]->CloseLine(), 0);
    SaveLineSettings(kProviderID, 0, "200", pszPassword);
    ASSERT_EQ(OpenForTapi(lines[0], 0), 0);
  };
  reopen("9999");
  ASSERT_EQ(lines[0]->GetLineError(), OMBIX_ERROR_INVALID_PASSWORD);
  EXPECT_EQ(lines[0]->GetMonitorID(), dwID);
  const DWORD dwHeld = SimCall("call 200 9000 connected");
  EXPECT_TRUE(WaitUntil([&] { return Heard(lines[0], dwHeld) == LINECALLSTATE_CONNECTED; }));

  reopen("1234");
  EXPECT_EQ(lines[0]->GetLineError(), 0u);
  EXPECT_EQ(lines[0]->GetMonitorID(), dwID);
  EXPECT_TRUE(WaitUntil([&] { return !lines[0]->IsOutOfService(); }));
  EXPECT_EQ(Heard(lines[0], dwHeld), LINECALLSTATE_CONNECTED);

  const DWORD dwCall = SimCall("incoming 200 202");
  EXPECT_TRUE(WaitUntil([&] { return Heard(lines[0], dwCall) == LINECALLSTATE_OFFERING; }));
}

std::vector<SimPhoneConfig> Phones(const char* psz200Password, bool bWith200 = true) {
  std::vector<SimPhoneConfig> phones;
  if (bWith200) phones.push_back({"200", psz200Password, "200"});
  phones.push_back({"201", "1234", "201"});
  phones.push_back({"202", "1234", "202"});
  return phones;
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, LineRefusedMonitorTest,
    ::testing::Values(
        Refusal{"WrongPassword", Phones("9999"), 0, OMBIX_ERROR_INVALID_PASSWORD},
        Refusal{"UnknownPhone", Phones("", false), 0, OMBIX_ERROR_INVALID_DEVICE},
        Refusal{"FailureResponse", Phones("1234"), OMBIX_ERROR_PERMISSION_DENIED,
                OMBIX_ERROR_PERMISSION_DENIED}),
    [](const ::testing::TestParamInfo<Refusal>& info) { return info.param.pszName; });

}  // namespace
}  // namespace scenario
}  // namespace prov_test
