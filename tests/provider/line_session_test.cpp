// The switch lines across the link's sessions, against switch-sim over loopback: the calls the
// resynchronisation after a lost link leaves alone and the ones it ends, the monitor IDs a
// session's end takes away, and two lines configured with one number.
#include <atomic>

#include "tests/provider/line_scenario.h"

namespace prov_test {
namespace scenario {

// Counts the monitor-start answers it has acted on and its resynchronisations, which wait while
// the test holds them (so that a loaded machine cannot let one run before the test is ready).
class SessionLine : public ScenarioLine {
  DECLARE_DYNCREATE(SessionLine)
 public:
  void OnMonitorStartRsp(const COmbixMonitorRsp* pRsp) override {
    ScenarioLine::OnMonitorStartRsp(pRsp);
    ++nAnswers;
  }
  void ResyncCalls() override {
    WaitUntil([&] { return !bHoldResync.load(); });
    ScenarioLine::ResyncCalls();
    ++nResyncs;
  }
  std::atomic<int> nAnswers{0};
  std::atomic<int> nResyncs{0};
  std::atomic<bool> bHoldResync{false};
};
IMPLEMENT_DYNCREATE(SessionLine, ScenarioLine)

namespace {

class LineSessionTest : public TapiSimTest {
 protected:
  // The provider on lineNumbers as they are now, line 0 open, line 1 too when bBoth; returns
  // once every start so far is answered (with both: the login's two and the second open's).
  void Start(bool bBoth) {
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(SessionLine), true,
               &Tapi::Completion);
    ASSERT_EQ(OpenForTapi(lines[0], 0), 0);
    if (!bBoth) return;
    ASSERT_EQ(OpenForTapi(lines[1], 1), 0);
    ASSERT_TRUE(WaitUntil([&] { return lines[1]->nAnswers.load() == 2; }));
    ASSERT_EQ(lines[0]->nAnswers.load(), 1);
  }
  void Sim(const std::string& strCommand, const std::string& strAnswer = "ok") {
    EXPECT_EQ(sim->Command(strCommand), strAnswer) << strCommand;
  }
  // A call of line 0 in that state that the switch names by that number (0: one it has not
  // named yet), with a reference of the caller's.
  CTSPICallAppearance* AddCall(DWORD dwCall, DWORD dwState = LINECALLSTATE_CONNECTED) {
    auto* pCall = dynamic_cast<COmbixCall*>(lines[0]->GetAddress(0)->FindOrCreateCall(
        nullptr, 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0));
    if (dwCall != 0) pCall->SetObjectId(IdOfCall(dwCall));
    pCall->ChangeCallState(dwState);
    pCall->AddRef();
    return pCall;
  }
  void Restart() {
    TearDown();
    SetUp();
  }

  SessionLine* lines[2] = {};
};

TEST_F(LineSessionTest, TheResyncEndsOnlyTheCallsHeldAtTheAnswerThatTheSwitchNeverNamed) {
  ASSERT_NO_FATAL_FAILURE(Start(false));
  // Held when the link comes back: one the switch will name by an event only (its next call
  // number, unknown to it yet), and one it never names.
  CTSPICallAppearance* pNamedLater = AddCall(1);
  CTSPICallAppearance* pNeverNamed = AddCall(90001);
  lines[0]->bHoldResync = true;
  Sim("disconnect");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 2; }));

  ASSERT_EQ(SimCall("call 200 9000 connected"), 1u);
  // Its events come after call 1's: once TAPI has heard it, the line has heard call 1 named.
  const DWORD dwNew = SimCall("call 200 9001 connected");
  EXPECT_TRUE(WaitUntil([&] { return Heard(lines[0], dwNew) == LINECALLSTATE_CONNECTED; }));
  // A call set up here after the answer, which the switch has not named yet.
  CTSPICallAppearance* pSetUp = AddCall(0, LINECALLSTATE_DIALING);
  lines[0]->bHoldResync = false;
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nResyncs.load() == 1; }));
  EXPECT_EQ(pNeverNamed->GetCallState(), LINECALLSTATE_IDLE);
  EXPECT_EQ(pNamedLater->GetCallState(), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(pSetUp->GetCallState(), LINECALLSTATE_DIALING);
  for (CTSPICallAppearance* pCall : {pNamedLater, pNeverNamed, pSetUp}) pCall->Release();
}

TEST_F(LineSessionTest, ALinkLostAgainBeforeTheResyncStartsItOverAtTheNextAnswer) {
  ASSERT_NO_FATAL_FAILURE(Start(false));
  Sim("disconnect");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 2; }));
  // A call of the first new session, which the switch then loses without a word.
  const DWORD dwCall = SimCall("call 200 9000 connected");
  ASSERT_TRUE(WaitUntil([&] { return Heard(lines[0], dwCall) == LINECALLSTATE_CONNECTED; }));
  Sim("forget " + std::to_string(dwCall));
  Sim("disconnect");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 3; }));
  // Held at the last answer and not in its list.
  EXPECT_TRUE(WaitUntil([&] { return Heard(lines[0], dwCall) == LINECALLSTATE_IDLE; }));
}

// However the session ends, no line keeps an ID of it: the next session hands its IDs out anew.
TEST_F(LineSessionTest, TheEndOfTheSessionTakesEveryLinesMonitorId) {
  for (const bool bLost : {true, false}) {
    SCOPED_TRACE(bLost ? "link lost" : "link stopped");
    if (!bLost) Restart();
    ASSERT_NO_FATAL_FAILURE(Start(true));
    ASSERT_TRUE(lines[0]->GetMonitorID() != 0 && lines[1]->GetMonitorID() != 0);
    if (bLost) {
      // The new session's answers wait until the test has looked.
      const size_t nStarts = sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size();
      for (int i = 0; i < 2; ++i) Sim("defer MONITOR_START_REQ");
      Sim("disconnect");
      ASSERT_TRUE(WaitUntil(
          [&] { return sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size() == nStarts + 2; }));
    } else {
      device->CloseSession();
      device->CloseSession();
    }
    EXPECT_EQ(lines[0]->GetMonitorID(), 0u);
    EXPECT_EQ(lines[1]->GetMonitorID(), 0u);
  }
}

// Two lines with one number: the switch keeps one monitor of the phone, and only the line it
// gave the ID to hears it, whichever line's start it answered first. The other is in service
// without an ID.
TEST_F(LineSessionTest, OfTwoLinesWithOneNumberOnlyTheOneGivenTheIdHearsThePhone) {
  for (const int nHears : {0, 1}) {
    SCOPED_TRACE(nHears == 1 ? "the second line's start answered first" : "in index order");
    if (nHears == 1) Restart();
    lineNumbers[1] = "200";
    ASSERT_NO_FATAL_FAILURE(Start(true));
    // A new session, with no open under way, starts both monitors in index order; the first
    // line's start may be made to wait.
    if (nHears == 1) Sim("defer MONITOR_START_REQ");
    Sim("disconnect");
    ASSERT_TRUE(WaitUntil([&] { return lines[1]->nAnswers.load() == 3; }));
    if (nHears == 1) Sim("release", "released 1");
    ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 2; }));
    SessionLine* pDeaf = lines[1 - nHears];
    EXPECT_EQ(pDeaf->GetMonitorID(), 0u);
    EXPECT_EQ(pDeaf->GetLineError(), 0u);
    EXPECT_FALSE(pDeaf->IsOutOfService());

    const DWORD dwCall = SimCall("call 200 9000 connected");
    EXPECT_TRUE(WaitUntil([&] { return Heard(lines[nHears], dwCall) == LINECALLSTATE_CONNECTED; }));
    EXPECT_EQ(pDeaf->GetAddress(0)->GetCallCount(), 0);
  }
}

}  // namespace
}  // namespace scenario
}  // namespace prov_test
