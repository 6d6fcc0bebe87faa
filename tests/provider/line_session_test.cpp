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

class LineSessionTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    Tapi::Reset();
    StartSim();
    provider.DetectExportedFunctions(
        [](LPCSTR) { return reinterpret_cast<FARPROC>(&Tapi::Completion); });
  }
  // The provider on lineNumbers as they are now.
  void Start() {
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(SessionLine), true,
               &Tapi::Completion);
  }
  LONG Open(int nLine) {
    return lines[nLine]->OpenLine(reinterpret_cast<HTAPILINE>(0x100 + nLine), &Tapi::LineEvent,
                                  0x00020001);
  }
  // A simulator command that makes a call; its number, 0 when it made none.
  DWORD SimCall(const std::string& strCommand) {
    const std::string strAnswer = sim->Command(strCommand);
    EXPECT_EQ(strAnswer.rfind("call ", 0), 0u) << strCommand << ": " << strAnswer;
    return strAnswer.rfind("call ", 0) == 0 ? std::stoul(strAnswer.substr(5)) : 0;
  }
  void Sim(const std::string& strCommand, const std::string& strAnswer = "ok") {
    EXPECT_EQ(sim->Command(strCommand), strAnswer) << strCommand;
  }
  // The line's newest call with the switch's number; NULL when none has it.
  CTSPICallAppearance* Call(int nLine, DWORD dwCall) {
    CTSPICallAppearance* pFound = nullptr;
    for (CTSPICallAppearance* pCall : lines[nLine]->GetAddress(0)->SnapshotCalls()) {
      if (OmbixCallId(pCall) == IdOfCall(dwCall)) pFound = pCall;
      pCall->Release();  // the address keeps it
    }
    return pFound;
  }
  // The state TAPI last heard for that call; 0 when it heard of none.
  DWORD Heard(int nLine, DWORD dwCall) {
    CTSPICallAppearance* pCall = Call(nLine, dwCall);
    return pCall != nullptr ? Tapi::HeardState(pCall->GetCallHandle()) : 0;
  }
  // A call of the line in that state that the switch names by that number (0: one it has not
  // named yet), with a reference of the caller's.
  CTSPICallAppearance* AddCall(int nLine, DWORD dwCall, DWORD dwState = LINECALLSTATE_CONNECTED) {
    CTSPICallAppearance* pCall = lines[nLine]->GetAddress(0)->FindOrCreateCall(
        nullptr, 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    EXPECT_NE(dynamic_cast<COmbixCall*>(pCall), nullptr);
    if (dwCall != 0) dynamic_cast<COmbixCall*>(pCall)->SetObjectId(IdOfCall(dwCall));
    pCall->ChangeCallState(dwState);
    pCall->AddRef();
    return pCall;
  }
  size_t MonitorStarts() { return sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size(); }

  SessionLine* lines[2] = {};
};

TEST_F(LineSessionTest, TheResyncEndsOnlyTheCallsHeldAtTheAnswerThatTheSwitchNeverNamed) {
  Start();
  ASSERT_EQ(Open(0), 0);
  // Held when the link comes back: one the switch will name by an event only (its next call
  // number, unknown to it yet), and one it never names.
  constexpr DWORD kNamedLater = 1;
  constexpr DWORD kNeverNamed = 90001;
  CTSPICallAppearance* pNamedLater = AddCall(0, kNamedLater);
  CTSPICallAppearance* pNeverNamed = AddCall(0, kNeverNamed);
  lines[0]->bHoldResync = true;
  Sim("disconnect");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 2; }));

  ASSERT_EQ(SimCall("call 200 9000 connected"), kNamedLater);
  const DWORD dwNew = SimCall("call 200 9001 connected");  // begins after the answer
  EXPECT_TRUE(WaitUntil([&] { return Heard(0, dwNew) == LINECALLSTATE_CONNECTED; }));
  // A call set up here after the answer, which the switch has not named yet.
  CTSPICallAppearance* pSetUp = AddCall(0, 0, LINECALLSTATE_DIALING);
  lines[0]->bHoldResync = false;
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nResyncs.load() == 1; }));
  EXPECT_EQ(pNeverNamed->GetCallState(), LINECALLSTATE_IDLE);
  EXPECT_EQ(pNamedLater->GetCallState(), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(Heard(0, dwNew), LINECALLSTATE_CONNECTED);
  EXPECT_EQ(pSetUp->GetCallState(), LINECALLSTATE_DIALING);
  for (CTSPICallAppearance* pCall : {pNamedLater, pNeverNamed, pSetUp}) pCall->Release();
}

TEST_F(LineSessionTest, ALinkLostAgainBeforeTheResyncStartsItOverAtTheNextAnswer) {
  Start();
  ASSERT_EQ(Open(0), 0);
  Sim("disconnect");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 2; }));
  // A call of the first new session, which the switch then loses without a word.
  const DWORD dwCall = SimCall("call 200 9000 connected");
  ASSERT_TRUE(WaitUntil([&] { return Heard(0, dwCall) == LINECALLSTATE_CONNECTED; }));
  Sim("forget " + std::to_string(dwCall));
  Sim("disconnect");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 3; }));
  // Held at the last answer and not in its list.
  EXPECT_TRUE(WaitUntil([&] { return Heard(0, dwCall) == LINECALLSTATE_IDLE; }));
}

// However the session ends, no line keeps an ID of it: the next session hands its IDs out anew.
TEST_F(LineSessionTest, TheEndOfTheSessionTakesEveryLinesMonitorId) {
  for (const bool bLost : {true, false}) {
    SCOPED_TRACE(bLost ? "link lost" : "link stopped");
    if (!bLost) {
      TearDown();
      SetUp();
    }
    Start();
    ASSERT_EQ(Open(0), 0);
    ASSERT_EQ(Open(1), 0);
    // Every start so far answered: the login's two and the second open's own.
    ASSERT_TRUE(WaitUntil([&] { return lines[1]->nAnswers.load() == 2; }));
    ASSERT_EQ(lines[0]->nAnswers.load(), 1);
    ASSERT_NE(lines[0]->GetMonitorID(), 0u);
    ASSERT_NE(lines[1]->GetMonitorID(), 0u);
    if (bLost) {
      // The new session's answers wait until the test has looked.
      const size_t nStarts = MonitorStarts();
      Sim("defer MONITOR_START_REQ");
      Sim("defer MONITOR_START_REQ");
      Sim("disconnect");
      ASSERT_TRUE(WaitUntil([&] { return MonitorStarts() == nStarts + 2; }));
    } else {
      device->CloseSession();
      device->CloseSession();
    }
    EXPECT_EQ(lines[0]->GetMonitorID(), 0u);
    EXPECT_EQ(lines[1]->GetMonitorID(), 0u);
    if (bLost) {
      Sim("release", "released 2");
      EXPECT_TRUE(WaitUntil([&] { return lines[1]->GetMonitorID() != 0; }));
      const DWORD dwCall = SimCall("call 201 9001 connected");
      EXPECT_TRUE(WaitUntil([&] { return Heard(1, dwCall) == LINECALLSTATE_CONNECTED; }));
      EXPECT_EQ(lines[0]->GetAddress(0)->GetCallCount(), 0);
    }
  }
}

// Two lines with one number: the switch keeps one monitor of the phone, and only the line it
// gave the ID to hears it, whichever line's start it answered first. The other is in service
// without an ID.
TEST_F(LineSessionTest, OfTwoLinesWithOneNumberOnlyTheOneGivenTheIdHearsThePhone) {
  for (const bool bSecondFirst : {false, true}) {
    SCOPED_TRACE(bSecondFirst ? "the second line's start answered first" : "in index order");
    if (bSecondFirst) {
      TearDown();
      SetUp();
    }
    lineNumbers[1] = "200";
    Start();
    ASSERT_EQ(Open(0), 0);
    ASSERT_EQ(Open(1), 0);
    // The login's starts and the second open's: which came first depends on the opening thread.
    ASSERT_TRUE(WaitUntil([&] { return lines[1]->nAnswers.load() == 2; }));
    ASSERT_EQ(lines[0]->nAnswers.load(), 1);
    // A new session, with no open under way, starts both monitors in index order; the first
    // line's start may be made to wait.
    if (bSecondFirst) Sim("defer MONITOR_START_REQ");
    Sim("disconnect");
    ASSERT_TRUE(WaitUntil([&] { return lines[1]->nAnswers.load() == 3; }));
    if (bSecondFirst) Sim("release", "released 1");
    ASSERT_TRUE(WaitUntil([&] { return lines[0]->nAnswers.load() == 2; }));
    const int nHears = bSecondFirst ? 1 : 0;
    SessionLine* pHears = lines[nHears];
    SessionLine* pDeaf = lines[1 - nHears];
    EXPECT_NE(pHears->GetMonitorID(), 0u);
    EXPECT_EQ(pDeaf->GetMonitorID(), 0u);
    EXPECT_EQ(pDeaf->GetLineError(), 0u);
    EXPECT_FALSE(pDeaf->IsOutOfService());

    const DWORD dwCall = SimCall("call 200 9000 connected");
    EXPECT_TRUE(WaitUntil([&] { return Heard(nHears, dwCall) == LINECALLSTATE_CONNECTED; }));
    Sim("hangup " + std::to_string(dwCall));
    EXPECT_TRUE(WaitUntil([&] { return Heard(nHears, dwCall) == LINECALLSTATE_IDLE; }));
    EXPECT_EQ(pDeaf->GetAddress(0)->GetCallCount(), 0);
  }
}

}  // namespace
}  // namespace scenario
}  // namespace prov_test
