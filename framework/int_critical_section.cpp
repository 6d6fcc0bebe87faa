#include "framework/int_critical_section.h"

#include "platform/tsan_annotations.h"

CIntCriticalSection::CIntCriticalSection() : CSyncObject(nullptr), m_evtLock(FALSE, FALSE) {
  ombix::tsan::MutexCreate(this, true);
}

CIntCriticalSection::~CIntCriticalSection() {
  ombix::tsan::MutexDestroy(this);
}

BOOL CIntCriticalSection::Lock(DWORD dwTimeout) {
  // A lock that may give up cannot take part in a deadlock; the sanitizer learns which is which.
  const bool bMayFail = dwTimeout != INFINITE;
  ombix::tsan::PreLock(this, bMayFail);
  const BOOL bLocked = Acquire(dwTimeout);
  ombix::tsan::PostLock(this, bMayFail, bLocked != FALSE);
  return bLocked;
}

BOOL CIntCriticalSection::Unlock() {
  // Only the holder may give a level back: anybody else's unlock would break exclusivity.
  if (m_dwOwner.load() != GetCurrentThreadId()) return FALSE;
  ombix::tsan::PreUnlock(this);
  Release();
  ombix::tsan::PostUnlock(this);
  return TRUE;
}

BOOL CIntCriticalSection::Acquire(DWORD dwTimeout) {
  const DWORD self = GetCurrentThreadId();
  if (InterlockedIncrement(&m_lLockCount) == 0) {
    m_dwOwner.store(self);
    m_dwRecursionCount = 1;
    return TRUE;
  }
  if (m_dwOwner.load() == self) {
    ++m_dwRecursionCount;  // the lock count keeps this level's increment
    return TRUE;
  }
  // The increment stays in the lock count even on a time-out (see the header).
  if (!m_evtLock.Lock(dwTimeout)) return FALSE;
  m_dwOwner.store(self);
  m_dwRecursionCount = 1;
  return TRUE;
}

void CIntCriticalSection::Release() {
  if (--m_dwRecursionCount > 0) {
    InterlockedDecrement(&m_lLockCount);
    return;
  }
  m_dwOwner.store(0);
  if (InterlockedDecrement(&m_lLockCount) >= 0) m_evtLock.SetEvent();  // someone counted in
}
