// CServiceProvider: the timer thread and the list of calls with pending timers.
//
// The thread is never forced to end: stopping it signals the stop event and joins it, and its
// loop waits on that event, so it ends at once. A pass serves its calls without the list lock:
// serving a call may send a line event and so wait for the line's lock, while a thread that holds
// a line lock may free a call and so wait for the list lock. The pass takes a reference on each
// call under the list lock instead, which keeps the call alive until the pass lets it go.
#include <vector>

#include "framework/call_appearance.h"
#include "framework/service_provider.h"
#include "platform/caught_exception.h"
#include "platform/win32.h"

namespace {

INT_PTR FindCall(const CPtrArray& arr, const CTSPICallAppearance* pCall) {
  for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
    if (arr[i] == pCall) return i;
  }
  return -1;
}

// One call's timers; a call whose timers throw is logged and stays for the next pass, and the
// pass goes on with the other calls.
bool ServeCallTimers(CTSPICallAppearance* pCall) {
  try {
    return pCall->ServiceCallTimers() != FALSE;
  } catch (...) {
    LogCaughtException("timer thread, a call's timers");
    return false;
  }
}

}  // namespace

UINT CServiceProvider::TimerThreadProc(LPVOID pParam) {
  return static_cast<CServiceProvider*>(pParam)->TimerLoop();
}

UINT CServiceProvider::TimerLoop() {
  for (;;) {
    // Signalled, abandoned or failed: the loop ends rather than spin.
    if (WaitForSingleObject(m_evtStopTimer, m_dwTimerTick.load()) != WAIT_TIMEOUT) return 1;
    // No exception may end the thread (nor the process): logged, and the next tick goes on.
    try {
      ServiceTimedCalls();
    } catch (...) {
      LogCaughtException("timer thread");
    }
  }
}

BOOL CServiceProvider::StartTimerThread() {
  if (m_pTimerThread != nullptr) return TRUE;
  m_evtStopTimer.ResetEvent();
  m_pTimerThread = AfxBeginThread(TimerThreadProc, this);
  return m_pTimerThread != nullptr ? TRUE : FALSE;
}

void CServiceProvider::StopTimerThread() {
  CSingleLock lockLifecycle(&m_csLifecycle, TRUE);
  CWinThread* pThread = m_pTimerThread;
  if (pThread == nullptr) return;
  m_evtStopTimer.SetEvent();
  // The thread object deletes itself once its end has been seen by this wait. A stop requested
  // from the timer thread itself cannot wait for its own end; the loop ends when it returns.
  if (pThread->m_nThreadID != GetCurrentThreadId()) {
    WaitForSingleObject(pThread->m_hThread, INFINITE);
  }
  m_pTimerThread = nullptr;
}

BOOL CServiceProvider::IsTimerThreadRunning() {
  CSingleLock lockLifecycle(&m_csLifecycle, TRUE);
  return m_pTimerThread != nullptr ? TRUE : FALSE;
}

void CServiceProvider::ServiceTimedCalls() {
  // Released last, without the list lock: may free a call. A call whose count already reached
  // 0 is being destroyed (its destructor waits for this lock to leave the list) and is skipped.
  std::vector<CTSPICallAppearance*> calls;
  {
    CSingleLock lock(&m_csTimedCalls, TRUE);
    calls.reserve(static_cast<size_t>(m_arrTimedCalls.GetSize()));
    for (INT_PTR i = 0; i < m_arrTimedCalls.GetSize(); ++i) {
      auto* pCall = static_cast<CTSPICallAppearance*>(m_arrTimedCalls[i]);
      if (pCall->TryAddRef()) calls.push_back(pCall);
    }
    m_arrRenewedTimedCalls.RemoveAll();
    m_bServingTimedCalls = TRUE;
  }
  // A call only tries its own lock here and answers FALSE (stay) when it is busy.
  std::vector<CTSPICallAppearance*> finished;
  for (CTSPICallAppearance* pCall : calls) {
    if (ServeCallTimers(pCall)) finished.push_back(pCall);
  }
  {
    CSingleLock lock(&m_csTimedCalls, TRUE);
    for (CTSPICallAppearance* pCall : finished) {
      // Registered again while served: it has something new to time.
      if (FindCall(m_arrRenewedTimedCalls, pCall) >= 0) continue;
      const INT_PTR nAt = FindCall(m_arrTimedCalls, pCall);
      if (nAt >= 0) m_arrTimedCalls.RemoveAt(nAt);
    }
    m_arrRenewedTimedCalls.RemoveAll();
    m_bServingTimedCalls = FALSE;
  }
  for (CTSPICallAppearance* pCall : calls) pCall->Release();
}

void CServiceProvider::RegisterTimedCall(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return;
  CSingleLock lock(&m_csTimedCalls, TRUE);
  if (m_bServingTimedCalls && FindCall(m_arrRenewedTimedCalls, pCall) < 0) {
    m_arrRenewedTimedCalls.Add(pCall);
  }
  if (FindCall(m_arrTimedCalls, pCall) < 0) m_arrTimedCalls.Add(pCall);
}

void CServiceProvider::UnregisterTimedCall(CTSPICallAppearance* pCall) {
  CSingleLock lock(&m_csTimedCalls, TRUE);
  const INT_PTR nAt = FindCall(m_arrTimedCalls, pCall);
  if (nAt >= 0) m_arrTimedCalls.RemoveAt(nAt);
}

BOOL CServiceProvider::IsTimedCall(CTSPICallAppearance* pCall) {
  CSingleLock lock(&m_csTimedCalls, TRUE);
  return FindCall(m_arrTimedCalls, pCall) >= 0 ? TRUE : FALSE;
}

INT_PTR CServiceProvider::GetTimedCallCount() {
  CSingleLock lock(&m_csTimedCalls, TRUE);
  return m_arrTimedCalls.GetSize();
}
