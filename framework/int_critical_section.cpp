#include "framework/int_critical_section.h"

CIntCriticalSection::CIntCriticalSection() : CSyncObject(nullptr), m_evtLock(FALSE, FALSE) {}

CIntCriticalSection::~CIntCriticalSection() = default;

BOOL CIntCriticalSection::Lock(DWORD dwTimeout) {
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

BOOL CIntCriticalSection::Unlock() {
  // Only the holder may give a level back: anybody else's unlock would break exclusivity.
  if (m_dwOwner.load() != GetCurrentThreadId()) return FALSE;
  if (--m_dwRecursionCount > 0) {
    InterlockedDecrement(&m_lLockCount);
    return TRUE;
  }
  m_dwOwner.store(0);
  if (InterlockedDecrement(&m_lLockCount) >= 0) m_evtLock.SetEvent();  // someone counted in
  return TRUE;
}
