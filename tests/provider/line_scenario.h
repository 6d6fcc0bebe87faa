// The fixture of the switch line's scenarios: TAPI call control through the switch lines 200 and
// 201 against switch-sim over loopback (202 is a phone of the simulator alone). Each scenario is
// a table of steps: a TAPI request through the provider's entries (or a command to the
// simulator), the result its completion must bring, and the states the calls of the two lines
// must then reach, calls named by the switch's numbers (the simulator numbers its calls 1, 2, ...
// from its start).
#pragma once

#include <algorithm>
#include <cstring>
#include <map>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {

class ScenarioLine : public COmbixLine {
  DECLARE_DYNCREATE(ScenarioLine)
 public:
  ScenarioLine()
      : COmbixLine(OMBIXLINETIMING{.dwMonitorStartWait = 4000, .dwResyncDelay = kTestResyncDelay}) {
    SetHoldWait(300);
  }
};

namespace scenario {

// What TAPI hears: completions, a handle for every call the provider announces, each call's
// latest LINE_CALLSTATE (the call's features are final by the time it is sent), and every line
// event's message with its first parameter.
struct Tapi {
  static inline std::mutex mx;
  static inline std::map<DRV_REQUESTID, LONG> results;
  static inline std::map<HTAPICALL, DWORD> heardStates;
  static inline std::vector<std::pair<DWORD, DWORD_PTR>> events;
  static inline int nNewCalls = 0;
  static inline UINT_PTR nextHandle = 0x9000;
  static void Completion(DRV_REQUESTID id, LONG lResult) {
    std::lock_guard<std::mutex> lock(mx);
    results[id] = lResult;
  }
  static void LineEvent(HTAPILINE, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                        DWORD_PTR dwParam2, DWORD_PTR) {
    std::lock_guard<std::mutex> lock(mx);
    events.emplace_back(dwMsg, dwParam1);
    if (dwMsg == LINE_CALLSTATE) heardStates[htCall] = static_cast<DWORD>(dwParam1);
    if (dwMsg != LINE_NEWCALL) return;
    ++nNewCalls;
    *reinterpret_cast<HTAPICALL*>(dwParam2) = reinterpret_cast<HTAPICALL>(++nextHandle);
  }
  static bool Result(DRV_REQUESTID id, LONG& lResult) {
    std::lock_guard<std::mutex> lock(mx);
    auto it = results.find(id);
    if (it == results.end()) return false;
    lResult = it->second;
    return true;
  }
  static DWORD HeardState(HTAPICALL htCall) {
    std::lock_guard<std::mutex> lock(mx);
    auto it = heardStates.find(htCall);
    return it != heardStates.end() ? it->second : 0;
  }
  static int Count(DWORD dwMsg, DWORD_PTR dwParam1) {
    std::lock_guard<std::mutex> lock(mx);
    return static_cast<int>(std::count(events.begin(), events.end(), std::pair{dwMsg, dwParam1}));
  }
  static void Reset() {
    std::lock_guard<std::mutex> lock(mx);
    results.clear();
    heardStates.clear();
    events.clear();
    nNewCalls = 0;
  }
};

constexpr LONG kNone = 1;  // a step without a TAPI request (a simulator command)

// A call of a line, named by the switch's number, in the state it must reach.
struct CallState {
  int nLine;
  DWORD dwCall;
  DWORD dwState;
  bool bConference = false;
};

struct Step {
  std::string strWhat;
  std::function<LONG()> act;  // the request ID, or kNone
  LONG lResult = 0;           // what the completion must bring
  std::vector<CallState> after;
};

// The newest call of a line with the switch's number (idle ones too); NULL when none has it.
inline CTSPICallAppearance* FindCall(COmbixLine* pLine, DWORD dwCall, bool bConference = false) {
  CTSPICallAppearance* pFound = nullptr;
  for (CTSPICallAppearance* pCall : pLine->GetAddress(0)->SnapshotCalls()) {
    const bool bIsConf = dynamic_cast<COmbixConfCall*>(pCall) != nullptr;
    if (bIsConf == bConference && OmbixCallId(pCall) == IdOfCall(dwCall)) pFound = pCall;
    pCall->Release();  // the address keeps it
  }
  return pFound;
}
// The state TAPI last heard for that call; 0 when it heard of none.
inline DWORD Heard(COmbixLine* pLine, DWORD dwCall) {
  CTSPICallAppearance* pCall = FindCall(pLine, dwCall);
  return pCall != nullptr ? Tapi::HeardState(pCall->GetCallHandle()) : 0;
}
// The line opened as TAPI opens the line of that index.
inline LONG OpenForTapi(COmbixLine* pLine, int nLine) {
  return pLine->OpenLine(reinterpret_cast<HTAPILINE>(0x100 + nLine), &Tapi::LineEvent, 0x00020001);
}

// The provider as TAPI starts it, reporting to Tapi, and a switch-sim of its own.
class TapiSimTest : public ProviderTest {
 protected:
  void SetUp() override { StartTapiSim(); }
  void StartTapiSim(const SwitchSimConfig& config = {}) {
    ProviderTest::SetUp();
    Tapi::Reset();
    StartSim(config);
    provider.DetectExportedFunctions(
        [](LPCSTR) { return reinterpret_cast<FARPROC>(&Tapi::Completion); });
  }
  // A simulator command that makes a call; its number, 0 when it made none.
  DWORD SimCall(const std::string& strCommand) {
    const std::string strAnswer = sim->Command(strCommand);
    EXPECT_EQ(strAnswer.rfind("call ", 0), 0u) << strCommand << ": " << strAnswer;
    return strAnswer.rfind("call ", 0) == 0 ? std::stoul(strAnswer.substr(5)) : 0;
  }
};

class LineScenarioTest : public TapiSimTest {
 protected:
  void SetUp() override {
    SwitchSimConfig config;
    config.outsideAnswerDelay = std::chrono::milliseconds(100);
    StartTapiSim(config);
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(ScenarioLine), true,
               &Tapi::Completion);
    for (int i = 0; i < 2; ++i) {
      ASSERT_EQ(OpenForTapi(lines[i], i), 0);
      ASSERT_NE(lines[i]->GetMonitorID(), 0u);
    }
  }
  CTSPICallAppearance* Find(int nLine, DWORD dwCall, bool bConference) {
    return FindCall(lines[nLine], dwCall, bConference);
  }
  CTSPICallAppearance* C(int nLine, DWORD dwCall) { return Find(nLine, dwCall, false); }
  CTSPIConferenceCall* Conf(int nLine, DWORD dwCall) {
    return static_cast<CTSPIConferenceCall*>(Find(nLine, dwCall, true));
  }
  HTAPICALL NewHandle() { return reinterpret_cast<HTAPICALL>(++handle); }
  LONG Sim(const std::string& strCommand) {
    const std::string strAnswer = sim->Command(strCommand);
    EXPECT_NE(strAnswer.rfind("error", 0), 0u) << strCommand << ": " << strAnswer;
    return kNone;
  }
  DRV_REQUESTID Id() { return ++nextId; }

  void Run(const std::vector<Step>& steps) {
    for (const Step& step : steps) {
      SCOPED_TRACE(step.strWhat);
      const LONG lId = step.act();
      if (lId != kNone) {
        ASSERT_GT(lId, 1) << "refused at once: " << std::hex << lId;
        LONG lResult = -1;
        ASSERT_TRUE(WaitUntil([&] { return Tapi::Result(lId, lResult); })) << "never completed";
        EXPECT_EQ(lResult, step.lResult) << std::hex << lResult;
      }
      for (const CallState& want : step.after) {
        // The state counts once TAPI has heard it: the next step may need its features.
        auto state = [&]() -> DWORD {
          CTSPICallAppearance* pCall =
              want.bConference ? Conf(want.nLine, want.dwCall) : C(want.nLine, want.dwCall);
          if (pCall == nullptr) return 0;
          const DWORD dwState = pCall->GetCallState();
          const HTAPICALL htCall = pCall->GetCallHandle();
          return htCall == nullptr || Tapi::HeardState(htCall) == dwState ? dwState : 0;
        };
        EXPECT_TRUE(WaitUntil([&] { return state() == want.dwState; }))
            << "line " << want.nLine << " call #" << want.dwCall << ": 0x" << std::hex << state()
            << " instead of 0x" << want.dwState;
      }
    }
  }
  // A step: a TAPI request (its request ID, or kNone), the states the calls must then reach, and
  // what the request's completion must bring.
  static Step Do(const std::string& strWhat, std::function<LONG()> act,
                 std::vector<CallState> after = {}, LONG lResult = 0) {
    return {strWhat, std::move(act), lResult, std::move(after)};
  }
  // A step that asks nothing: the calls must reach these states.
  static Step Reach(const std::string& strWhat, std::vector<CallState> after) {
    return {strWhat, [] { return kNone; }, 0, std::move(after)};
  }
  // A command to the simulator, and the states the calls must then reach.
  Step SimStep(const std::string& strCommand, std::vector<CallState> after = {}) {
    return {"switch-sim: " + strCommand, [this, strCommand] { return Sim(strCommand); }, 0,
            std::move(after)};
  }
  // lineForward on line 200: its calls of that forward mode go to 300; mode 0 cancels every
  // forwarding.
  LONG Forward(DRV_REQUESTID id, DWORD dwForwardMode) {
    const char16_t szTo[] = u"300";
    std::vector<BYTE> buffer(sizeof(LINEFORWARDLIST) + sizeof(szTo), 0);
    auto* pList = reinterpret_cast<LINEFORWARDLIST*>(buffer.data());
    pList->dwTotalSize = static_cast<DWORD>(buffer.size());
    pList->dwNumEntries = 1;
    pList->ForwardList[0].dwForwardMode = dwForwardMode;
    pList->ForwardList[0].dwDestAddressSize = sizeof(szTo);
    pList->ForwardList[0].dwDestAddressOffset = sizeof(LINEFORWARDLIST);
    std::memcpy(buffer.data() + sizeof(LINEFORWARDLIST), szTo, sizeof(szTo));
    return provider.lineForward(lines[0], nullptr, id, dwForwardMode != 0 ? pList : nullptr, 0,
                                nullptr, nullptr, nullptr);
  }
  LONG MakeCall(int nLine, const char* pszNumber) {
    return provider.lineMakeCall(lines[nLine], Id(), NewHandle(), &hd, pszNumber, 0, nullptr);
  }
  // The steps that get a call from 200 to 201 connected: switch call #1.
  std::vector<Step> Connect200To201() {
    return {Do("200 calls 201", [&] { return MakeCall(0, "201"); },
               {{0, 1, LINECALLSTATE_RINGBACK}, {1, 1, LINECALLSTATE_OFFERING}}),
            Do("201 answers", [&] { return provider.lineAnswer(C(1, 1), Id(), nullptr, 0); },
               {{0, 1, LINECALLSTATE_CONNECTED}, {1, 1, LINECALLSTATE_CONNECTED}})};
  }
  // Then 200 holds #1 for a transfer and its consultation call #2 to 202 is answered.
  std::vector<Step> Consult202ForTransfer() {
    return Then(Connect200To201(),
                {Do("200 sets up a transfer",
                    [&] {
                      return provider.lineSetupTransfer(C(0, 1), Id(), NewHandle(), &hdConsult,
                                                        nullptr);
                    },
                    {{0, 1, LINECALLSTATE_ONHOLDPENDTRANSFER}, {0, 2, LINECALLSTATE_DIALING}}),
                 Do("200 dials 202 on the handle TAPI was given",
                    [&] {
                      return provider.lineDial(reinterpret_cast<CTSPICallAppearance*>(hdConsult),
                                               Id(), "202", 0);
                    },
                    {{0, 2, LINECALLSTATE_RINGBACK}}),
                 SimStep("answer 2 202", {{0, 2, LINECALLSTATE_CONNECTED}})});
  }
  // 200 completes that transfer: both its calls end, 201 stays connected.
  Step CompleteTransfer(const std::string& strWhat) {
    return Do(
        strWhat,
        [&] {
          return provider.lineCompleteTransfer(C(0, 1), Id(), C(0, 2), nullptr, nullptr,
                                               LINETRANSFERMODE_TRANSFER);
        },
        {{0, 1, LINECALLSTATE_IDLE}, {0, 2, LINECALLSTATE_IDLE}, {1, 1, LINECALLSTATE_CONNECTED}});
  }
  // Or 200 conferences #1 with its consultation call #2 to 202: conference #3.
  std::vector<Step> Conference200With201And202() {
    return Then(Connect200To201(),
                {Do("200 sets up a conference",
                    [&] {
                      return provider.lineSetupConference(lines[0], C(0, 1), Id(), NewHandle(),
                                                          &hdConf, NewHandle(), &hdConsult, 3,
                                                          nullptr);
                    },
                    {{0, 1, LINECALLSTATE_CONFERENCED},
                     {0, 0, LINECALLSTATE_ONHOLDPENDCONF, true},
                     {0, 2, LINECALLSTATE_DIALING}}),
                 Do("200 dials 202", [&] { return provider.lineDial(C(0, 2), Id(), "202", 0); },
                    {{0, 2, LINECALLSTATE_RINGBACK}}),
                 SimStep("answer 2 202", {{0, 2, LINECALLSTATE_CONNECTED}}),
                 Do("200 adds 202",
                    [&] {
                      return provider.lineAddToConference(
                          reinterpret_cast<CTSPIConferenceCall*>(hdConf), C(0, 2), Id());
                    },
                    {{0, 3, LINECALLSTATE_CONNECTED, true},
                     {0, 1, LINECALLSTATE_CONFERENCED},
                     {0, 2, LINECALLSTATE_CONFERENCED}})});
  }
  std::vector<Step> Then(std::vector<Step> first, const std::vector<Step>& rest) {
    first.insert(first.end(), rest.begin(), rest.end());
    return first;
  }

  ScenarioLine* lines[2] = {};
  HDRVCALL hd = nullptr;
  HDRVCALL hdConsult = nullptr;
  HDRVCALL hdConf = nullptr;
  UINT_PTR handle = 0x5000;
  DRV_REQUESTID nextId = 100;
};

}  // namespace scenario
}  // namespace prov_test
