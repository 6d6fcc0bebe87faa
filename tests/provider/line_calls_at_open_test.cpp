// The calls a switch line holds while it is closed (the switch reports them to every monitored
// phone, open or not) reach TAPI when the line opens: each once, a conference before its members,
// and none of their events before their LINE_NEWCALL, also when an event comes during the open.

#include <future>

#include "tests/provider/line_scenario.h"

namespace prov_test {
namespace {

// Every line event TAPI hears, with the line; a LINE_NEWCALL's record carries the handle TAPI
// gave the call.
struct Heard {
  HTAPILINE htLine;
  HTAPICALL htCall;
  DWORD dwMsg;
  DWORD_PTR dwParam1;
  DWORD_PTR dwParam2;
};
struct Ear {
  static inline std::mutex mx;
  static inline std::vector<Heard> events;
  static inline UINT_PTR nextHandle = 0x7000;
  static void LineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                        DWORD_PTR dwParam2, DWORD_PTR) {
    std::lock_guard<std::mutex> lock(mx);
    if (dwMsg == LINE_NEWCALL) {
      htCall = reinterpret_cast<HTAPICALL>(++nextHandle);
      *reinterpret_cast<HTAPICALL*>(dwParam2) = htCall;
    }
    events.push_back({htLine, htCall, dwMsg, dwParam1, dwParam2});
  }
  // The call events of one line, in the order heard.
  static std::vector<Heard> CallEvents(HTAPILINE htLine) {
    std::lock_guard<std::mutex> lock(mx);
    std::vector<Heard> found;
    for (const Heard& heard : events) {
      if (heard.htLine == htLine && (heard.dwMsg == LINE_NEWCALL || heard.htCall != nullptr))
        found.push_back(heard);
    }
    return found;
  }
  static void Reset() {
    std::lock_guard<std::mutex> lock(mx);
    events.clear();
  }
};

const auto kLine0 = reinterpret_cast<HTAPILINE>(0x100);
const auto kLine1 = reinterpret_cast<HTAPILINE>(0x101);

bool HeardOn(HTAPILINE htLine, DWORD dwMsg, DWORD_PTR dwParam1) {
  for (const auto& heard : Ear::CallEvents(htLine)) {
    if (heard.dwMsg == dwMsg && heard.dwParam1 == dwParam1) return true;
  }
  return false;
}

// A line whose open reaches no switch: the calls are made by events given here.
class QuietLine : public COmbixLine {
  DECLARE_DYNCREATE(QuietLine)
 public:
  BOOL OpenConnection() override { return TRUE; }
};
IMPLEMENT_DYNCREATE(QuietLine, COmbixLine)

// A line whose open waits for its monitor's answer as long as a test holds it back.
class PatientLine : public COmbixLine {
  DECLARE_DYNCREATE(PatientLine)
 public:
  PatientLine()
      : COmbixLine(OMBIXLINETIMING{.dwMonitorStartWait = 120000,
                                   .dwResyncDelay = kTestResyncDelay}) {}
};
IMPLEMENT_DYNCREATE(PatientLine, COmbixLine)

std::unique_ptr<COmbixCallConnectionEvent> Event(DWORD dwEvent, DWORD dwCall,
                                                 std::vector<LONG> states, DWORD dwRelated = 0) {
  auto pEvent = std::make_unique<COmbixCallConnectionEvent>(OMBIX_CALL_CONNECTION_EVENT);
  snprintf(pEvent->strDevice, sizeof(pEvent->strDevice), "200");
  pEvent->oidCall = IdOfCall(dwCall);
  pEvent->dwEvent = dwEvent;
  if (dwRelated != 0) pEvent->oidRelated = IdOfCall(dwRelated);
  pEvent->dwConnectionCount = static_cast<DWORD>(states.size());
  pEvent->pConnections = std::make_unique<COmbixConnection[]>(states.size());
  for (size_t i = 0; i < states.size(); ++i) {
    pEvent->pConnections[i].dwState = states[i];
    snprintf(pEvent->pConnections[i].strNumber, sizeof(pEvent->pConnections[i].strNumber), "%zu",
             200 + i);
  }
  return pEvent;
}

class LineCallsAtOpenTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    Ear::Reset();
  }
  LONG Open(COmbixLine* pLine, HTAPILINE htLine) {
    return pLine->OpenLine(htLine, &Ear::LineEvent, 0x00020001);
  }
};

TEST_F(LineCallsAtOpenTest, ACallAndAConferenceOfAClosedLineAreAnnouncedOnceTheConferenceFirst) {
  QuietLine* lines[1] = {};
  StartLines(lines, RUNTIME_CLASS(COmbixDevice), RUNTIME_CLASS(QuietLine), true);
  QuietLine* line = lines[0];
  // While the line is closed: call #1 connected, then taken into conference #3; call #5 rang
  // and ended.
  line->OnCallConnectionEvent(Event(CALL_CONNECTION_ESTABLISHED, 1, {CS_CONNECTED, CS_CONNECTED}).get());
  line->OnCallConnectionEvent(
      Event(CALL_CONNECTION_CONFERENCED, 3, {CS_CONNECTED, CS_CONNECTED, CS_CONNECTED}, 1).get());
  line->OnCallConnectionEvent(Event(CALL_CONNECTION_ALERTING, 5, {CS_ALERTING, CS_CONNECTED}).get());
  line->OnCallConnectionEvent(Event(CALL_CONNECTION_IDLED, 5, {CS_IDLE, CS_IDLE}).get());
  EXPECT_TRUE(Ear::CallEvents(kLine0).empty());

  ASSERT_EQ(Open(line, kLine0), 0);
  const std::vector<Heard> heard = Ear::CallEvents(kLine0);
  ASSERT_EQ(heard.size(), 6u);
  CTSPICallAppearance* pConf = line->FindConfCallById(IdOfCall(3));
  CTSPICallAppearance* pCall = line->FindCallById(IdOfCall(1));
  ASSERT_NE(pConf, nullptr);
  ASSERT_NE(pCall, nullptr);
  const HTAPICALL htConf = heard[0].htCall;
  const HTAPICALL htCall = heard[3].htCall;
  EXPECT_EQ(pConf->GetCallHandle(), htConf);
  EXPECT_EQ(pCall->GetCallHandle(), htCall);
  // NEWCALL, state and information of each; the member's CONFERENCED names the conference.
  const struct {
    DWORD dwMsg;
    HTAPICALL htCall;
    DWORD_PTR dwParam1;
    DWORD_PTR dwParam2;
  } want[] = {
      {LINE_NEWCALL, htConf, reinterpret_cast<DWORD_PTR>(pConf), heard[0].dwParam2},
      {LINE_CALLSTATE, htConf, LINECALLSTATE_CONNECTED, 0},
      {LINE_CALLINFO, htConf,
       LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON | LINECALLINFOSTATE_CALLID, 0},
      {LINE_NEWCALL, htCall, reinterpret_cast<DWORD_PTR>(pCall), heard[3].dwParam2},
      {LINE_CALLSTATE, htCall, LINECALLSTATE_CONFERENCED, reinterpret_cast<DWORD_PTR>(htConf)},
      {LINE_CALLINFO, htCall,
       LINECALLINFOSTATE_CALLID | LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID, 0},
  };
  for (size_t i = 0; i < heard.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(heard[i].dwMsg, want[i].dwMsg);
    EXPECT_EQ(heard[i].htCall, want[i].htCall);
    EXPECT_EQ(heard[i].dwParam1, want[i].dwParam1) << std::hex << heard[i].dwParam1;
    EXPECT_EQ(heard[i].dwParam2, want[i].dwParam2);
  }
  pConf->Release();
  pCall->Release();

  // From now on the calls' events reach TAPI with their handles; nothing is announced again.
  line->OnCallConnectionEvent(Event(CALL_CONNECTION_IDLED, 3, {CS_IDLE}).get());
  const std::vector<Heard> after = Ear::CallEvents(kLine0);
  EXPECT_EQ(std::count_if(after.begin(), after.end(),
                          [](const auto& h) { return h.dwMsg == LINE_NEWCALL; }),
            2);
  EXPECT_TRUE(HeardOn(kLine0, LINE_CALLSTATE, LINECALLSTATE_IDLE));
}

// The switch-sim holds back the monitor start of line 200's open; meanwhile 200 holds the call
// the line learned of while closed. The open announces it once, as it stands: held.
TEST_F(LineCallsAtOpenTest, ACallChangedDuringTheOpenIsAnnouncedOnceAsItStands) {
  StartSim();
  PatientLine* lines[2] = {};
  StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(PatientLine), true);
  ASSERT_EQ(sim->Command("call 200 201 connected"), "call 1");
  ASSERT_EQ(Open(lines[1], kLine1), 0);
  // The login started both monitors: the closed line holds the call without TAPI.
  auto state = [&](COmbixLine* pLine) -> DWORD {
    CTSPICallAppearance* pCall = pLine->FindCallById(IdOfCall(1));
    if (pCall == nullptr) return 0;
    const DWORD dwState = pCall->GetCallState();
    pCall->Release();
    return dwState;
  };
  ASSERT_TRUE(WaitUntil([&] { return state(lines[0]) == LINECALLSTATE_CONNECTED; }));
  ASSERT_TRUE(WaitUntil([&] { return HeardOn(kLine1, LINE_CALLSTATE, LINECALLSTATE_CONNECTED); }));

  ASSERT_EQ(sim->Command("defer MONITOR_START_REQ"), "ok");
  const size_t nStarts = sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size();
  auto open = std::async(std::launch::async, [&] { return Open(lines[0], kLine0); });
  ASSERT_TRUE(WaitUntil(
      [&] { return sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size() > nStarts; }));
  ASSERT_EQ(sim->Command("hold 1 200"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return state(lines[0]) == LINECALLSTATE_ONHOLD; }));
  EXPECT_TRUE(Ear::CallEvents(kLine0).empty());
  ASSERT_EQ(sim->Command("release"), "released 1");
  ASSERT_EQ(open.get(), 0);

  std::vector<Heard> heard = Ear::CallEvents(kLine0);
  ASSERT_GE(heard.size(), 2u);
  EXPECT_EQ(heard[0].dwMsg, static_cast<DWORD>(LINE_NEWCALL));
  EXPECT_EQ(heard[1].dwMsg, static_cast<DWORD>(LINE_CALLSTATE));
  EXPECT_EQ(heard[1].dwParam1, static_cast<DWORD_PTR>(LINECALLSTATE_ONHOLD));

  // Its end reaches TAPI on both lines.
  ASSERT_EQ(sim->Command("hangup 1"), "ok");
  for (HTAPILINE htLine : {kLine0, kLine1}) {
    EXPECT_TRUE(WaitUntil([&] { return HeardOn(htLine, LINE_CALLSTATE, LINECALLSTATE_IDLE); }));
  }
  heard = Ear::CallEvents(kLine0);
  EXPECT_EQ(std::count_if(heard.begin(), heard.end(),
                          [](const auto& h) { return h.dwMsg == LINE_NEWCALL; }),
            1);
  EXPECT_TRUE(std::all_of(heard.begin(), heard.end(),
                          [&](const auto& h) { return h.htCall == heard[0].htCall; }));
}

}  // namespace
}  // namespace prov_test
