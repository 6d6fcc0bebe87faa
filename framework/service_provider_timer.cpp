// CServiceProvider: the timer thread and the list of calls with pending timers.
//
// The thread is never forced to end: stopping it signals the stop event and joins it, and its
// loop waits on that event, so it ends at once. The list lock is held while a call is served;
// a call that leaves the list (UnregisterTimedCall) is therefore never touched afterwards.
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
  CSingleLock lock(&m_csTimedCalls, TRUE);
  INT_PTR i = 0;
  while (i < m_arrTimedCalls.GetSize()) {
    auto* pCall = static_cast<CTSPICallAppearance*>(m_arrTimedCalls[i]);
    const BOOL bDone = pCall->ServiceCallTimers();
    // Serving a call may register or unregister calls on this thread (the lock is recursive):
    // find the call again before its entry is touched.
    INT_PTR nAt = i;
    if (nAt >= m_arrTimedCalls.GetSize() || m_arrTimedCalls[nAt] != pCall) {
      nAt = -1;
      for (INT_PTR j = 0; j < m_arrTimedCalls.GetSize(); ++j) {
        if (m_arrTimedCalls[j] == pCall) nAt = j;
      }
      if (nAt < 0) continue;  // it left the list while served; i names the next call now
    }
    if (bDone) {
      m_arrTimedCalls.RemoveAt(nAt);
      i = nAt;
    } else {
      i = nAt + 1;
    }
  }
}

void CServiceProvider::RegisterTimedCall(CTSPICallAppearance* pCall) {
  if (pCall == nullptr) return;
  CSingleLock lock(&m_csTimedCalls, TRUE);
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
