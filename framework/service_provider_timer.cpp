// CServiceProvider: the timer thread and the list of calls with pending timers.
//
// The thread is never forced to end: stopping it signals the stop event and joins it, and its
// loop waits on that event, so it ends at once. Each pass copies the list under its lock with a
// reference on every call, and serves the calls after letting the lock go.
#include <vector>

#include "framework/call_appearance.h"
#include "framework/service_provider.h"
#include "platform/win32.h"

UINT CServiceProvider::TimerThreadProc(LPVOID pParam) {
  return static_cast<CServiceProvider*>(pParam)->TimerLoop();
}

UINT CServiceProvider::TimerLoop() {
  for (;;) {
    // Signalled, abandoned or failed: the loop ends rather than spin.
    if (WaitForSingleObject(m_evtStopTimer, m_dwTimerTick.load()) != WAIT_TIMEOUT) return 1;
    ServiceTimedCalls();
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
  // Calls are served outside the list's lock, each with a reference of its own, so that serving
  // (which reaches the line) never holds the lock that removing a call takes. A call registered
  // again during the pass is kept even when its service found nothing left.
  std::vector<CTSPICallAppearance*> calls;
  DWORD dwEpoch = 0;
  {
    CSingleLock lock(&m_csTimedCalls, TRUE);
    dwEpoch = m_dwRegisterEpoch;
    calls.reserve(static_cast<size_t>(m_arrTimedCalls.GetSize()));
    for (INT_PTR i = 0; i < m_arrTimedCalls.GetSize(); ++i) {
      auto* pCall = static_cast<CTSPICallAppearance*>(m_arrTimedCalls[i]);
      if (pCall->TryAddRef()) calls.push_back(pCall);
    }
  }
  std::vector<CTSPICallAppearance*> done;
  for (CTSPICallAppearance* pCall : calls) {
    if (pCall->ServiceCallTimers()) done.push_back(pCall);
  }
  {
    CSingleLock lock(&m_csTimedCalls, TRUE);
    if (m_dwRegisterEpoch == dwEpoch) {
      for (CTSPICallAppearance* pCall : done) {
        for (INT_PTR i = 0; i < m_arrTimedCalls.GetSize(); ++i) {
          if (m_arrTimedCalls[i] == pCall) {
            m_arrTimedCalls.RemoveAt(i);
            break;
          }
        }
      }
    }
  }
  for (CTSPICallAppearance* pCall : calls) pCall->Release();
}

void CServiceProvider::RegisterTimedCall(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return;
  CSingleLock lock(&m_csTimedCalls, TRUE);
  ++m_dwRegisterEpoch;
  for (INT_PTR i = 0; i < m_arrTimedCalls.GetSize(); ++i) {
    if (m_arrTimedCalls[i] == pCall) return;
  }
  m_arrTimedCalls.Add(pCall);
}

void CServiceProvider::UnregisterTimedCall(CTSPICallAppearance* pCall) {
  CSingleLock lock(&m_csTimedCalls, TRUE);
  for (INT_PTR i = 0; i < m_arrTimedCalls.GetSize(); ++i) {
    if (m_arrTimedCalls[i] == pCall) {
      m_arrTimedCalls.RemoveAt(i);
      return;
    }
  }
}

BOOL CServiceProvider::IsTimedCall(CTSPICallAppearance* pCall) {
  CSingleLock lock(&m_csTimedCalls, TRUE);
  for (INT_PTR i = 0; i < m_arrTimedCalls.GetSize(); ++i) {
    if (m_arrTimedCalls[i] == pCall) return TRUE;
  }
  return FALSE;
}

INT_PTR CServiceProvider::GetTimedCallCount() {
  CSingleLock lock(&m_csTimedCalls, TRUE);
  return m_arrTimedCalls.GetSize();
}
