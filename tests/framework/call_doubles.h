// Doubles of the call tests: a provider that offers every optional function, a line that answers
// its requests itself (as a switch would: a script per request type) and a fixture with one
// open line made by providerInit through the factories, one address ("1000", "Desk") and
// TAPI's callbacks recorded. TAPI answers LINE_NEWCALL with a 64-bit handle of its own.
// QuietTimerTest is that fixture with a timer thread that serves nothing.
#pragma once

#include <algorithm>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

#include "framework/live_calls.h"
#include "framework/media_records.h"
#include "framework/record_copies.h"
#include "framework/request_records.h"
#include "tests/framework/framework_doubles.h"

namespace fw_test {

// Every optional function is offered.
inline const std::set<std::string>& AllExports() {
  static const std::set<std::string> names = [] {
    std::set<std::string> all;
    for (LPCSTR pszName : TSPIFunctionNameTable) all.insert(pszName);
    return all;
  }();
  return names;
}

// A line that starts its requests as the switch line does and hands each to the script for its
// type, outside the line's lock; requests without a script stay pending.
class AnsweringLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(AnsweringLine)
 public:
  using Script = std::function<void(AnsweringLine&, CTSPIRequest*)>;
  BOOL ProcessData(DWORD dwData, LPCVOID lpBuff, DWORD dwSize) override {
    if (dwData != 0 || lpBuff != nullptr || dwSize != 0) return FALSE;
    CTSPIRequestPtr pReq;
    Script script;
    {
      CSingleLock lock(GetSyncObject(), TRUE);
      pReq = FetchRequestToStart();
      if (!pReq) return FALSE;
      std::lock_guard<std::mutex> guard(m_mx);
      m_started.push_back(pReq->GetType());
      auto it = m_scripts.find(pReq->GetType());
      if (it != m_scripts.end()) script = it->second;
    }
    if (script) script(*this, pReq.Get());
    return TRUE;
  }
  void Answer(WORD wType, Script script) {
    std::lock_guard<std::mutex> guard(m_mx);
    m_scripts[wType] = std::move(script);
  }
  std::vector<WORD> Started() {
    std::lock_guard<std::mutex> guard(m_mx);
    return m_started;
  }
  std::atomic<int> mediaActions{0};
  std::atomic<int> failingMediaActions{0};  // the next ones throw
  void ExecuteMediaControl(CTSPICallAppearance*, DWORD) override {
    ++mediaActions;
    if (failingMediaActions.fetch_sub(1) > 0) throw std::runtime_error("media action");
  }
  template <typename Change>
  void ChangeCaps(Change change) {
    CSingleLock lock(GetSyncObject(), TRUE);
    change(m_LineCaps);
  }
  INT_PTR DialogInstanceCount() {
    CSingleLock lock(GetSyncObject(), TRUE);
    return m_arrDialogInstances.GetSize();
  }

 private:
  std::mutex m_mx;
  std::map<WORD, Script> m_scripts;
  std::vector<WORD> m_started;
};

using Line = AnsweringLine;

// A switch's answer: the request's call goes to the state, then the request succeeds.
inline AnsweringLine::Script MoveTo(DWORD dwState, DWORD dwMode = 0) {
  return [=](AnsweringLine& line, CTSPIRequest* pReq) {
    pReq->GetCall()->ChangeCallState(dwState, dwMode);
    line.CompleteRequest(pReq, 0);
  };
}

// A switch's answer to lineCompleteTransfer: it confirms the transfer, then reports both calls
// gone.
inline void TransferCompletes(AnsweringLine& line, CTSPIRequest* pReq) {
  auto* pRec = static_cast<TSPITRANSFER*>(pReq->GetRecordObject());
  CCallRef pCall = pRec->pCall;
  CCallRef pConsult = pRec->pConsult;
  line.CompleteRequest(pReq, 0);
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  pConsult->ChangeCallState(LINECALLSTATE_IDLE);
}

// TAPI's side of the call tests: every line event is logged; LINE_NEWCALL gets a handle written
// into the pointer-sized variable it names, after the event checked that the call it announces
// is live and initialised.
struct CallTapi {
  static inline std::atomic<ULONGLONG> nextHandle{0x1122334400000001ULL};
  static inline std::atomic<bool> refuseNewCalls{false};
  static inline std::atomic<int> announcedUninitialised{0};
  static constexpr HTAPIDIALOGINSTANCE kDialogHandle = 0x77;
  // The UI library the last dialog instance named, copied while its parameters live, and the
  // driver's handle of that instance.
  static inline std::mutex uiLibraryMutex;
  static inline std::u16string uiLibrary;
  static inline std::atomic<HDRVDIALOGINSTANCE> lastDlgInst{nullptr};
  static void Callback(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR p1, DWORD_PTR p2,
                       DWORD_PTR p3) {
    if (dwMsg == LINE_NEWCALL) {
      auto* pCall = reinterpret_cast<CTSPICallAppearance*>(p1);
      if (!GetTSPILiveCalls().Contains(pCall) || pCall->GetAddressOwner() == nullptr ||
          pCall->GetCallInfoCopy().dwNeededSize != sizeof(LINECALLINFO)) {
        ++announcedUninitialised;
      }
      auto* pHandle = reinterpret_cast<HTAPICALL*>(p2);
      *pHandle = refuseNewCalls ? nullptr
                                : reinterpret_cast<HTAPICALL>(static_cast<DWORD_PTR>(nextHandle++));
    }
    if (dwMsg == LINE_CREATEDIALOGINSTANCE) {
      auto* pParams = reinterpret_cast<TUISPICREATEDIALOGINSTANCEPARAMS*>(p1);
      pParams->htDlgInst = kDialogHandle;
      lastDlgInst = pParams->hdDlgInst;
      std::lock_guard<std::mutex> lock(uiLibraryMutex);
      uiLibrary = pParams->lpszUIDLLName != nullptr ? pParams->lpszUIDLLName : u"";
    }
    TapiLog::LineCallback(htLine, htCall, dwMsg, p1, p2, p3);
    if (onEvent != nullptr) onEvent(htCall, dwMsg, p1);
  }
  // Runs after each event is logged, on the thread that sent it.
  static inline void (*onEvent)(HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1) = nullptr;
};

// The call's change to dwState has left its part under the call's lock (where the address's and
// line's locks are only tried): the state is stored and the lock is free.
inline bool StateStoredAndCallFree(CTSPICallAppearance* pCall, DWORD dwState) {
  CSingleLock lock(pCall->GetSyncObject());
  return lock.Lock(0) && pCall->GetCallState() == dwState;
}

// Holds a lock on a thread of its own, as a busy thread would, until Release (or destruction).
class LockHolder {
 public:
  explicit LockHolder(CSyncObject* pSync)
      : m_thread([this, pSync] {
          CSingleLock lock(pSync, TRUE);
          m_held.set_value();
          WaitUntil([this] { return m_release.load(); });
        }) {
    m_held.get_future().wait();
  }
  ~LockHolder() { Release(); }
  void Release() {
    m_release = true;
    if (m_thread.joinable()) m_thread.join();
  }

 private:
  std::promise<void> m_held;
  std::atomic<bool> m_release{false};
  std::thread m_thread;  // last: it uses the members above
};

// One event of a call, as TAPI saw it.
struct CallEvent {
  DWORD dwMsg;
  DWORD_PTR dwParam1, dwParam2;
  bool operator==(const CallEvent&) const = default;
};

inline std::vector<CallEvent> EventsOf(HTAPICALL htCall) {
  std::vector<CallEvent> events;
  for (const LineEvent& event : TapiLog::Get().Events()) {
    if (event.htCall == htCall && (event.dwMsg == LINE_CALLSTATE || event.dwMsg == LINE_CALLINFO)) {
      events.push_back({event.dwMsg, event.dwParam1, event.dwParam2});
    }
  }
  return events;
}

// The events dwMsg with the given parameters (kAny: whatever it is).
constexpr DWORD_PTR kAny = ~DWORD_PTR{0};
inline int CountEvents(DWORD dwMsg, DWORD_PTR dwParam1 = kAny, DWORD_PTR dwParam2 = kAny) {
  int n = 0;
  for (const LineEvent& event : TapiLog::Get().Events()) {
    n += event.dwMsg == dwMsg && (dwParam1 == kAny || event.dwParam1 == dwParam1) &&
         (dwParam2 == kAny || event.dwParam2 == dwParam2);
  }
  return n;
}

constexpr DWORD kCallLineID = 300;

class CallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TapiLog::Get().Reset();
    CallTapi::refuseNewCalls = false;
    CallTapi::announcedUninitialised = 0;
    sp.SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(AnsweringLine), RUNTIME_CLASS(TestAddress),
                        RUNTIME_CLASS(TestCall), nullptr, nullptr);
    sp.SetTimerTick(timerTick);
    DWORD dwOptions = 0;
    ASSERT_EQ(sp.providerInit(0x00020001, kProviderID, kCallLineID, 0, 2, 0, &TapiLog::Completion,
                              &dwOptions),
              0);
    line = static_cast<AnsweringLine*>(sp.FindLineByDeviceID(kCallLineID));
    ASSERT_NE(line, nullptr);
    pAddr = AddAddress(*line, "1000", "Desk");
    ASSERT_EQ(line->OpenLine(kTapiLine, &CallTapi::Callback, 0x00020001), 0);
    line->SetStatusMessages(0x01FFFFFF, 0x1FF);
  }
  void TearDown() override {
    TestCall::s_onIdle = nullptr;
    TestCall::s_onPartnerChange = nullptr;
    TestCall::s_onDetach = nullptr;
    CallTapi::onEvent = nullptr;
    sp.providerShutdown(0x00020001, sp.FindDeviceByProviderID(kProviderID));
  }

  static TestAddress* AddAddress(CTSPILineConnection& onLine, LPCSTR pszNumber, LPCSTR pszName) {
    const DWORD dwID =
        onLine.CreateAddress(pszNumber, pszName, TRUE, TRUE, LINEMEDIAMODE_INTERACTIVEVOICE,
                             LINEBEARERMODE_VOICE, 0, 0, nullptr, 2, 1, 1, 3, 3);
    return static_cast<TestAddress*>(onLine.GetAddress(dwID));
  }
  // A call TAPI already knows (its handle given), in the given state.
  TestCall* NewCall(ULONGLONG ullHandle, DWORD dwState = 0, TestAddress* pOn = nullptr) {
    auto* pCall =
        static_cast<TestCall*>((pOn != nullptr ? pOn : pAddr)
                                   ->FindOrCreateCall(Handle(ullHandle), 0, LINECALLORIGIN_OUTBOUND,
                                                      LINECALLREASON_DIRECT, 0xFFFFFFFF, 0));
    if (pCall != nullptr && dwState != 0) pCall->ChangeCallState(dwState);
    return pCall;
  }
  static HTAPICALL Handle(ULONGLONG ull) {
    return reinterpret_cast<HTAPICALL>(static_cast<DWORD_PTR>(ull));
  }
  // The line monitors DTMF and gathers digits with first-digit time-outs up to dwMaxTimeout.
  void AllowGathers(DWORD dwMaxTimeout) {
    line->ChangeCaps([dwMaxTimeout](LINEDEVCAPS& caps) {
      caps.dwMonitorDigitModes = LINEDIGITMODE_DTMF;
      caps.dwGatherDigitsMinTimeout = 1;
      caps.dwGatherDigitsMaxTimeout = dwMaxTimeout;
    });
  }
  // Starts a DTMF gather into lpDigits on the call.
  static LONG Gather(CTSPICallAppearance* pCall, WCHAR* lpDigits, DWORD dwFirstTimeout,
                     DWORD dwEndToEndID = 0) {
    auto* pGather = new TSPIDIGITGATHER;
    pGather->lpBuffer = lpDigits;
    pGather->dwDigitModes = LINEDIGITMODE_DTMF;
    pGather->dwFirstDigitTimeout = dwFirstTimeout;
    pGather->dwEndToEndID = dwEndToEndID;
    return pCall->GatherDigits(pGather);
  }
  // The switch answers a conference set-up: the conference waits on hold with the call in it, and
  // the consultation call goes to dwConsultState.
  void AnswerConferenceSetUps(DWORD dwConsultState) {
    line->Answer(REQUEST_LINESETUPCONFERENCE,
                 [dwConsultState](AnsweringLine& l, CTSPIRequest* pReq) {
                   auto* pRec = static_cast<TSPICONFERENCE*>(pReq->GetRecordObject());
                   pRec->pConfCall->ChangeCallState(LINECALLSTATE_ONHOLDPENDCONF);
                   pRec->pCall->ChangeCallState(LINECALLSTATE_CONFERENCED);
                   pRec->pConsult->ChangeCallState(dwConsultState);
                   l.CompleteRequest(pReq, 0);
                 });
  }
  // The switch answers an add to a conference with lResult, having joined the consultation call
  // (and moved the conference to dwConfState unless it is 0).
  void AnswerAddsByJoining(LONG lResult = 0, DWORD dwConfState = 0) {
    line->Answer(REQUEST_LINEADDTOCONFERENCE, [=](AnsweringLine& l, CTSPIRequest* pReq) {
      auto* pRec = static_cast<TSPICONFERENCE*>(pReq->GetRecordObject());
      pRec->pConsult->ChangeCallState(LINECALLSTATE_CONFERENCED);
      if (dwConfState != 0) pRec->pConfCall->ChangeCallState(dwConfState);
      l.CompleteRequest(pReq, lResult);
    });
  }
  // A three-party conference set up on pCall through the address, as request dwID.
  void SetUpConference(DRV_REQUESTID dwID, CTSPICallAppearance* pCall, CTSPIConferenceCall*& pConf,
                       CTSPICallAppearance*& pConsult) {
    auto* pSetup = new TSPICONFERENCE;
    pSetup->pCall = pCall;
    pSetup->dwPartyCount = 3;
    ASSERT_EQ(pAddr->SetupConference(dwID, pSetup, nullptr, &pConf, nullptr, &pConsult),
              static_cast<LONG>(dwID));
    ASSERT_NE(pConf, nullptr);
    ASSERT_NE(pConsult, nullptr);
  }
  // pConsult added to pConf through the conference, as request dwID; a refused record is freed.
  static LONG AddToConference(DRV_REQUESTID dwID, CTSPIConferenceCall* pConf,
                              CTSPICallAppearance* pConsult) {
    auto* pRec = new TSPICONFERENCE;
    pRec->pConfCall = pConf;
    pRec->pConsult = pConsult;
    const LONG lResult = pConf->AddToConference(dwID, pConsult, pRec);
    if (lResult < 0) delete pRec;  // a refused record stays the caller's
    return lResult;
  }
  // Builds the parsed dial list of a number.
  static CADObArray* DialList(LPCSTR pszNumber) {
    auto* pList = new CADObArray;
    EXPECT_EQ(ParseDialableAddressList(std::nullopt, std::nullopt, pszNumber, *pList), 0);
    return pList;
  }

  DWORD timerTick = TIMER_TICK_MSEC;  // a derived fixture may set it in its constructor
  TestProvider sp{0x00020001, AllExports()};
  AnsweringLine* line = nullptr;
  TestAddress* pAddr = nullptr;
};

// The timer thread ticks too rarely to serve anything here: the test serves the call itself, so
// a timer that falls due is served only when the test says so.
class QuietTimerTest : public CallTest {
 protected:
  QuietTimerTest() { timerTick = 3600000; }
};

}  // namespace fw_test
