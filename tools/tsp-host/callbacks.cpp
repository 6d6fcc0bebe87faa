// The callbacks tsp-host hands to the provider, and their bookkeeping.
#include "tools/tsp-host/callbacks.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "tools/tsp-host/names.h"
#include "tools/tsp-host/output.h"

namespace tsphost {
namespace {

// The host's own handles are small numbers above these bases, so that they print the same on
// every run.
constexpr DWORD_PTR kLineHandleBase = 0x10000;
constexpr DWORD_PTR kCallHandleBase = 0x20000;
constexpr DWORD_PTR kHandleRange = 0x10000;

struct DialogJob {
  HTAPIDIALOGINSTANCE htDlgInst = 0;
  std::vector<BYTE> params;
};

struct State {
  std::mutex mutex;
  std::condition_variable cvRequests;
  const ProviderExports* pExports = nullptr;
  DRV_REQUESTID dwNextRequestID = 1;
  std::set<DRV_REQUESTID> pending;
  std::set<DRV_REQUESTID> completed;
  DWORD dwNextCall = 1;
  HTAPIDIALOGINSTANCE htNextDialog = 1;
  std::map<HTAPIDIALOGINSTANCE, HDRVDIALOGINSTANCE> dialogs;
  std::map<DWORD, HDRVCALL> calls;  // the provider's handles, by the host's call number
  std::deque<DialogJob> dialogJobs;
};

State& GetState() {
  static State state;
  return state;
}

std::string LineName(HTAPILINE htLine) {
  const auto value = reinterpret_cast<DWORD_PTR>(htLine);
  if (value == 0) return "-";
  if (value >= kLineHandleBase && value < kLineHandleBase + kHandleRange) {
    return "line " + std::to_string(value - kLineHandleBase);
  }
  return "line " + Hex(static_cast<DWORD>(value));
}

std::string CallName(HTAPICALL htCall) {
  const auto value = reinterpret_cast<DWORD_PTR>(htCall);
  if (value == 0) return "";
  if (value >= kCallHandleBase && value < kCallHandleBase + kHandleRange) {
    return " call " + std::to_string(value - kCallHandleBase);
  }
  return " call " + Hex(static_cast<DWORD>(value));
}

std::string Params(DWORD_PTR dwParam1, DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
  return Hex(static_cast<DWORD>(dwParam1)) + " " + Hex(static_cast<DWORD>(dwParam2)) + " " +
         Hex(static_cast<DWORD>(dwParam3));
}

// Up to four DWORDs of a dialog data buffer, for the private exchanges.
std::string DialogData(LPVOID lpParams, DWORD dwSize) {
  if (lpParams == nullptr || dwSize == 0 || dwSize % 4 != 0 || dwSize > 16) return "";
  DWORD words[4] = {};
  std::memcpy(words, lpParams, dwSize);
  std::string text = " {";
  for (DWORD i = 0; i < dwSize / 4; ++i) text += (i ? ", " : "") + Hex(words[i]);
  return text + "}";
}

void OnNewCall(HTAPILINE htLine, DWORD_PTR dwParam1, DWORD_PTR dwParam2) {
  State& state = GetState();
  DWORD dwCall = 0;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    dwCall = state.dwNextCall++;
    state.calls[dwCall] = reinterpret_cast<HDRVCALL>(dwParam1);
  }
  auto* lphtCall = reinterpret_cast<HTAPICALL*>(dwParam2);
  if (lphtCall != nullptr) *lphtCall = reinterpret_cast<HTAPICALL>(kCallHandleBase + dwCall);
  QueueLine("LINE_NEWCALL " + LineName(htLine) + ": new call " + std::to_string(dwCall) +
            (lphtCall == nullptr ? " (no place for its handle)" : ""));
}

void OnCreateDialogInstance(DWORD_PTR dwParam1) {
  auto* pParams = reinterpret_cast<TUISPICREATEDIALOGINSTANCEPARAMS*>(dwParam1);
  if (pParams == nullptr) {
    QueueLine("LINE_CREATEDIALOGINSTANCE without parameters");
    return;
  }
  State& state = GetState();
  DialogJob job;
  if (pParams->lpParams != nullptr && pParams->dwSize != 0) {
    const auto* pBytes = static_cast<const BYTE*>(pParams->lpParams);
    job.params.assign(pBytes, pBytes + pParams->dwSize);
  }
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    job.htDlgInst = state.htNextDialog++;
    state.dialogs[job.htDlgInst] = pParams->hdDlgInst;
  }
  pParams->htDlgInst = job.htDlgInst;
  QueueLine("LINE_CREATEDIALOGINSTANCE: dialog " + std::to_string(job.htDlgInst) +
            ", UI library \"" + FromWide(pParams->lpszUIDLLName, MAX_PATH) + "\", " +
            std::to_string(pParams->dwSize) + " bytes, request " +
            std::to_string(pParams->dwRequestID));
  std::lock_guard<std::mutex> lock(state.mutex);
  state.dialogJobs.push_back(std::move(job));
}

}  // namespace

TapiSide& TapiSide::Get() {
  static TapiSide side;
  return side;
}

void TapiSide::SetExports(const ProviderExports* pExports) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.pExports = pExports;
}

DRV_REQUESTID TapiSide::BeginRequest() {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const DRV_REQUESTID dwRequestID = state.dwNextRequestID++;
  state.pending.insert(dwRequestID);
  return dwRequestID;
}

void TapiSide::EndRequest(DRV_REQUESTID dwRequestID, LONG lResult) {
  if (lResult >= 0) return;
  State& state = GetState();
  bool bCompleted = false;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.pending.erase(dwRequestID);
    bCompleted = state.completed.count(dwRequestID) != 0;
    state.cvRequests.notify_all();
  }
  if (bCompleted) {
    QueueLine("request " + std::to_string(dwRequestID) + " was refused and completed as well");
  }
}

std::vector<DRV_REQUESTID> TapiSide::WaitForRequests(DWORD dwMsecs) {
  State& state = GetState();
  std::unique_lock<std::mutex> lock(state.mutex);
  state.cvRequests.wait_for(lock, std::chrono::milliseconds(dwMsecs),
                            [&state] { return state.pending.empty(); });
  return std::vector<DRV_REQUESTID>(state.pending.begin(), state.pending.end());
}

std::vector<DRV_REQUESTID> TapiSide::FlushAndTakePending() {
  State& state = GetState();
  std::deque<std::string> lines;
  std::vector<DRV_REQUESTID> pending;
  {
    // Completion queues its line and leaves the pending set under this lock; the lines are
    // printed after it, so that a provider thread never waits for the terminal.
    std::lock_guard<std::mutex> lock(state.mutex);
    lines = TakeQueuedLines();
    pending.assign(state.pending.begin(), state.pending.end());
  }
  PrintQueuedLines(std::move(lines));
  return pending;
}

HTAPILINE TapiSide::LineHandle(DWORD dwDeviceID) {
  return reinterpret_cast<HTAPILINE>(kLineHandleBase + (dwDeviceID % kHandleRange));
}

HTAPICALL TapiSide::NewCall(DWORD* pdwCall) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const DWORD dwCall = state.dwNextCall++;
  if (pdwCall != nullptr) *pdwCall = dwCall;
  return reinterpret_cast<HTAPICALL>(kCallHandleBase + dwCall);
}

void TapiSide::SetDriverCall(DWORD dwCall, HDRVCALL hdCall) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.calls[dwCall] = hdCall;
}

HDRVCALL TapiSide::DriverCall(DWORD dwCall) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  const auto it = state.calls.find(dwCall);
  return it != state.calls.end() ? it->second : nullptr;
}

void TapiSide::ServeDialogs() {
  State& state = GetState();
  for (;;) {
    DialogJob job;
    const ProviderExports* pExports = nullptr;
    {
      std::lock_guard<std::mutex> lock(state.mutex);
      if (state.dialogJobs.empty()) return;
      job = std::move(state.dialogJobs.front());
      state.dialogJobs.pop_front();
      pExports = state.pExports;
    }
    const std::string name = "dialog " + std::to_string(job.htDlgInst);
    if (pExports == nullptr || pExports->uiProviderGenericDialog == nullptr) {
      PrintLine(name + ": the library has no TUISPI_providerGenericDialog");
      continue;
    }
    const LONG lResult = pExports->uiProviderGenericDialog(
        &TapiSide::UICallback, job.htDlgInst, job.params.empty() ? nullptr : job.params.data(),
        static_cast<DWORD>(job.params.size()), nullptr);
    FlushQueuedLines();
    PrintLine(name + ": TUISPI_providerGenericDialog = " + FormatResult(lResult));
  }
}

void TapiSide::Completion(DRV_REQUESTID dwRequestID, LONG lResult) {
  State& state = GetState();
  std::lock_guard<std::mutex> lock(state.mutex);
  std::string note;
  if (state.pending.count(dwRequestID) == 0) {
    note = state.completed.count(dwRequestID) != 0 ? " (completed before)" : " (not pending)";
  }
  // Queued before the request leaves the pending set, so that a wait that sees it done prints
  // the completion first.
  QueueLine("completion request " + std::to_string(dwRequestID) + ": " + FormatResult(lResult) +
            note);
  state.pending.erase(dwRequestID);
  state.completed.insert(dwRequestID);
  state.cvRequests.notify_all();
}

void TapiSide::LineEvent(HTAPILINE htLine, HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1,
                         DWORD_PTR dwParam2, DWORD_PTR dwParam3) {
  const std::string where = LineName(htLine) + CallName(htCall);
  switch (dwMsg) {
    case LINE_NEWCALL:
      OnNewCall(htLine, dwParam1, dwParam2);
      return;
    case LINE_CREATEDIALOGINSTANCE:
      OnCreateDialogInstance(dwParam1);
      return;
    case LINE_CALLSTATE:
      QueueLine("LINE_CALLSTATE " + where + ": " +
                CallStateText(static_cast<DWORD>(dwParam1), static_cast<DWORD>(dwParam2)) +
                " media " + FlagsOf(MediaModeNames(), static_cast<DWORD>(dwParam3)));
      return;
    case LINE_CALLINFO:
      QueueLine("LINE_CALLINFO " + where + ": " +
                FlagsOf(CallInfoStateNames(), static_cast<DWORD>(dwParam1)));
      return;
    case LINE_LINEDEVSTATE:
      QueueLine("LINE_LINEDEVSTATE " + where + ": " +
                FlagsOf(LineDevStateNames(), static_cast<DWORD>(dwParam1)) + " " +
                Hex(static_cast<DWORD>(dwParam2)) + " " + Hex(static_cast<DWORD>(dwParam3)));
      return;
    case LINE_ADDRESSSTATE:
      QueueLine("LINE_ADDRESSSTATE " + where + ": address " + std::to_string(dwParam1) + " " +
                FlagsOf(AddressStateNames(), static_cast<DWORD>(dwParam2)));
      return;
    case LINE_CLOSE:
      QueueLine("LINE_CLOSE " + where);
      return;
    case LINE_CREATE:
      QueueLine("LINE_CREATE: temporary device ID " + std::to_string(dwParam2));
      return;
    case LINE_REMOVE:
      QueueLine("LINE_REMOVE: device " + std::to_string(dwParam1));
      return;
    default:
      QueueLine(NameOf(LineMessageNames(), dwMsg) + " " + where + ": " +
                Params(dwParam1, dwParam2, dwParam3));
  }
}

void TapiSide::PhoneEvent(HTAPIPHONE htPhone, DWORD dwMsg, DWORD_PTR dwParam1, DWORD_PTR dwParam2,
                          DWORD_PTR dwParam3) {
  const auto value = reinterpret_cast<DWORD_PTR>(htPhone);
  QueueLine(NameOf(PhoneMessageNames(), dwMsg) + " phone " +
            (value == 0 ? std::string("-") : Hex(static_cast<DWORD>(value))) + ": " +
            Params(dwParam1, dwParam2, dwParam3));
}

LONG TapiSide::UICallback(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize) {
  State& state = GetState();
  const ProviderExports* pExports = nullptr;
  DWORD_PTR dwTarget = dwObjectID;
  std::string object = std::to_string(dwObjectID);
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    pExports = state.pExports;
    if (dwObjectType == TUISPIDLL_OBJECT_DIALOGINSTANCE) {
      // The UI side knows its dialog by TAPI's handle, the provider by its own.
      const auto it = state.dialogs.find(static_cast<HTAPIDIALOGINSTANCE>(dwObjectID));
      dwTarget = it != state.dialogs.end() ? reinterpret_cast<DWORD_PTR>(it->second) : 0;
      object = "dialog " + object;
    }
  }
  const LONG lResult =
      pExports != nullptr && pExports->providerGenericDialogData != nullptr
          ? pExports->providerGenericDialogData(dwTarget, dwObjectType, lpParams, dwSize)
          : LINEERR_OPERATIONUNAVAIL;
  QueueLine("ui-callback " + NameOf(ObjectTypeNames(), dwObjectType) + " " + object + ", " +
            std::to_string(dwSize) + " bytes: TSPI_providerGenericDialogData = " +
            FormatResult(lResult) + DialogData(lpParams, dwSize));
  return lResult;
}

}  // namespace tsphost
