// The calls a switch line holds while it is closed (the switch reports them to every monitored
// phone, open or not) reach TAPI when the line opens: each once, a conference before its members,
// and none of their events before their LINE_NEWCALL, also when an event comes during the open.

#include <future>

#include "tests/provider/line_scenario.h"

namespace prov_test {
namespace {

// Every call event TAPI hears, by line; a LINE_NEWCALL carries the handle TAPI gave.
struct Heard {
  HTAPILINE htLine;
  HTAPICALL htCall;
  DWORD dwMsg;
  DWORD_PTR dwParam1, dwParam2;
};
std::mutex mxHeard;
std::vector<Heard> heard;
UINT_PTR nextHandle = 0x7000;
void LineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR p1, DWORD_PTR p2,
               DWORD_PTR) {
  std::lock_guard<std::mutex> lock(mxHeard);
  if (dwMsg == LINE_NEWCALL) {
    htCall = reinterpret_cast<HTAPICALL>(++nextHandle);
    *reinterpret_cast<HTAPICALL*>(p2) = htCall;
  }
  if (htCall != nullptr) heard.push_back({htLine, htCall, dwMsg, p1, p2});
}
std::vector<Heard> HeardOn(HTAPILINE htLine, DWORD dwMsg = 0, DWORD_PTR dwParam1 = 0) {
  std::lock_guard<std::mutex> lock(mxHeard);
  std::vector<Heard> found;
  for (const Heard& h : heard) {
    if (h.htLine == htLine && (dwMsg == 0 || (h.dwMsg == dwMsg && h.dwParam1 == dwParam1)))
      found.push_back(h);
  }
  return found;
}
const auto kLine0 = reinterpret_cast<HTAPILINE>(0x100);
const auto kLine1 = reinterpret_cast<HTAPILINE>(0x101);

// A line whose open reaches no switch, and one whose open waits for its monitor as long as a
// test holds the answer back.
class QuietLine : public COmbixLine {
  DECLARE_DYNCREATE(QuietLine)
 public:
  BOOL OpenConnection() override { return TRUE; }
};
IMPLEMENT_DYNCREATE(QuietLine, COmbixLine)
class PatientLine : public COmbixLine {
  DECLARE_DYNCREATE(PatientLine)
 public:
  PatientLine() : COmbixLine(OMBIXLINETIMING{120000, kTestResyncDelay}) {}
};
IMPLEMENT_DYNCREATE(PatientLine, COmbixLine)

// An event of line 200's call; connection i is phone 200 + i in the state given.
void Tell(COmbixLine* pLine, DWORD dwEvent, DWORD dwCall, std::vector<LONG> states,
          DWORD dwRelated = 0) {
  COmbixCallConnectionEvent event(OMBIX_CALL_CONNECTION_EVENT);
  snprintf(event.strDevice, sizeof(event.strDevice), "200");
  event.oidCall = IdOfCall(dwCall);
  event.dwEvent = dwEvent;
  if (dwRelated != 0) event.oidRelated = IdOfCall(dwRelated);
  event.dwConnectionCount = static_cast<DWORD>(states.size());
  event.pConnections = std::make_unique<COmbixConnection[]>(states.size());
  for (size_t i = 0; i < states.size(); ++i) {
    event.pConnections[i].dwState = states[i];
    snprintf(event.pConnections[i].strNumber, sizeof(event.pConnections[i].strNumber), "%zu",
             200 + i);
  }
  pLine->OnCallConnectionEvent(&event);
}

class LineCallsAtOpenTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    std::lock_guard<std::mutex> lock(mxHeard);
    heard.clear();
  }
};

TEST_F(LineCallsAtOpenTest, ACallAndAConferenceOfAClosedLineAreAnnouncedOnceTheConferenceFirst) {
  QuietLine* lines[1] = {};
  StartLines(lines, RUNTIME_CLASS(COmbixDevice), RUNTIME_CLASS(QuietLine), true);
  // While the line is closed: call #1 is taken into conference #3; call #5 rings and ends.
  Tell(lines[0], CALL_CONNECTION_ESTABLISHED, 1, {CS_CONNECTED, CS_CONNECTED});
  Tell(lines[0], CALL_CONNECTION_CONFERENCED, 3, {CS_CONNECTED, CS_CONNECTED, CS_CONNECTED}, 1);
  Tell(lines[0], CALL_CONNECTION_ALERTING, 5, {CS_ALERTING, CS_CONNECTED});
  Tell(lines[0], CALL_CONNECTION_IDLED, 5, {CS_IDLE, CS_IDLE});
  ASSERT_EQ(lines[0]->OpenLine(kLine0, &LineEvent, 0x00020001), 0);

  const std::vector<Heard> events = HeardOn(kLine0);
  ASSERT_EQ(events.size(), 6u);
  const HTAPICALL htConf = events[0].htCall;
  const HTAPICALL htCall = events[3].htCall;
  // NEWCALL, state and information of each; the member's CONFERENCED names the conference.
  const Heard want[] = {
      {kLine0, htConf, LINE_NEWCALL, 0, 0},
      {kLine0, htConf, LINE_CALLSTATE, LINECALLSTATE_CONNECTED, 0},
      {kLine0, htConf, LINE_CALLINFO,
       LINECALLINFOSTATE_ORIGIN | LINECALLINFOSTATE_REASON | LINECALLINFOSTATE_CALLID, 0},
      {kLine0, htCall, LINE_NEWCALL, 0, 0},
      {kLine0, htCall, LINE_CALLSTATE, LINECALLSTATE_CONFERENCED,
       reinterpret_cast<DWORD_PTR>(htConf)},
      {kLine0, htCall, LINE_CALLINFO,
       LINECALLINFOSTATE_CALLID | LINECALLINFOSTATE_CALLERID | LINECALLINFOSTATE_CALLEDID, 0},
  };
  for (size_t i = 0; i < events.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(events[i].htCall, want[i].htCall);
    EXPECT_EQ(events[i].dwMsg, want[i].dwMsg);
    if (want[i].dwMsg != LINE_NEWCALL) {
      EXPECT_EQ(events[i].dwParam1, want[i].dwParam1) << std::hex << events[i].dwParam1;
      EXPECT_EQ(events[i].dwParam2, want[i].dwParam2);
    }
  }
  CTSPICallAppearance* pConf = lines[0]->FindConfCallById(IdOfCall(3));
  ASSERT_NE(pConf, nullptr);
  EXPECT_EQ(pConf->GetCallHandle(), htConf);
  pConf->Release();

  // From now on their events reach TAPI with their handles; nothing is announced again.
  Tell(lines[0], CALL_CONNECTION_IDLED, 3, {CS_IDLE});
  const std::vector<Heard> all = HeardOn(kLine0);
  EXPECT_TRUE(std::any_of(all.begin(), all.end(), [&](const Heard& h) {
    return h.htCall == htConf && h.dwMsg == LINE_CALLSTATE && h.dwParam1 == LINECALLSTATE_IDLE;
  }));
  EXPECT_EQ(std::count_if(all.begin(), all.end(),
                          [](const Heard& h) { return h.dwMsg == LINE_NEWCALL; }),
            2);
}

// TAPI closes the call inside the LINE_NEWCALL that announces it at the open: the handle TAPI
// wrote is not kept, and neither the call's state and information nor its later events follow.
void CloseInNewCall(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR p1, DWORD_PTR p2,
                    DWORD_PTR p3) {
  LineEvent(htLine, htCall, dwMsg, p1, p2, p3);
  if (dwMsg == LINE_NEWCALL) reinterpret_cast<CTSPICallAppearance*>(p1)->CloseCall();
}

TEST_F(LineCallsAtOpenTest, ACallClosedInsideItsAnnouncementKeepsNoHandleAndHearsNoMore) {
  QuietLine* lines[1] = {};
  StartLines(lines, RUNTIME_CLASS(COmbixDevice), RUNTIME_CLASS(QuietLine), true);
  Tell(lines[0], CALL_CONNECTION_ESTABLISHED, 1, {CS_CONNECTED, CS_CONNECTED});
  ASSERT_EQ(lines[0]->OpenLine(kLine0, &CloseInNewCall, 0x00020001), 0);
  CTSPICallAppearance* pCall = lines[0]->FindCallById(IdOfCall(1));
  ASSERT_NE(pCall, nullptr);
  EXPECT_EQ(pCall->GetCallHandle(), nullptr);
  pCall->Release();
  Tell(lines[0], CALL_CONNECTION_HELD, 1, {CS_HELD, CS_CONNECTED});
  const std::vector<Heard> events = HeardOn(kLine0);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].dwMsg, static_cast<DWORD>(LINE_NEWCALL));
}

// The switch holds back the monitor start of line 200's open; meanwhile 200 holds the call the
// line learned of while closed. The open announces it once, as it stands: held.
TEST_F(LineCallsAtOpenTest, ACallChangedDuringTheOpenIsAnnouncedOnceAsItStands) {
  StartSim();
  PatientLine* lines[2] = {};
  StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(PatientLine), true);
  ASSERT_EQ(sim->Command("call 200 201 connected"), "call 1");
  ASSERT_EQ(lines[1]->OpenLine(kLine1, &LineEvent, 0x00020001), 0);
  auto state = [&]() -> DWORD {
    CTSPICallAppearance* pCall = lines[0]->FindCallById(IdOfCall(1));
    const DWORD dwState = pCall != nullptr ? pCall->GetCallState() : 0;
    if (pCall != nullptr) pCall->Release();
    return dwState;
  };
  // The login started both monitors: the closed line holds the call without TAPI.
  ASSERT_TRUE(WaitUntil([&] { return state() == LINECALLSTATE_CONNECTED; }));

  ASSERT_EQ(sim->Command("defer MONITOR_START_REQ"), "ok");
  const size_t nStarts = sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size();
  auto open = std::async(std::launch::async,
                         [&] { return lines[0]->OpenLine(kLine0, &LineEvent, 0x00020001); });
  ASSERT_TRUE(
      WaitUntil([&] { return sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).size() > nStarts; }));
  ASSERT_EQ(sim->Command("hold 1 200"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return state() == LINECALLSTATE_ONHOLD; }));
  EXPECT_TRUE(HeardOn(kLine0).empty());
  ASSERT_EQ(sim->Command("release"), "released 1");
  ASSERT_EQ(open.get(), 0);
  std::vector<Heard> events = HeardOn(kLine0);
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0].dwMsg, static_cast<DWORD>(LINE_NEWCALL));
  EXPECT_EQ(events[1].dwParam1, static_cast<DWORD_PTR>(LINECALLSTATE_ONHOLD));

  // Its end reaches TAPI on both lines, on line 200 by the one handle it was given.
  ASSERT_EQ(sim->Command("hangup 1"), "ok");
  for (HTAPILINE htLine : {kLine0, kLine1}) {
    EXPECT_TRUE(WaitUntil(
        [&] { return !HeardOn(htLine, LINE_CALLSTATE, LINECALLSTATE_IDLE).empty(); }));
  }
  events = HeardOn(kLine0);
  EXPECT_TRUE(std::all_of(events.begin(), events.end(), [&](const Heard& h) {
    return h.htCall == events[0].htCall && (h.dwMsg == LINE_NEWCALL) == (&h == &events[0]);
  }));
}

}  // namespace
}  // namespace prov_test
