// CIntCriticalSection: the lock of every framework object. Recursive for its owner, with a
// time-out on acquisition: Lock(INFINITE) waits, Lock(0) tries once, Lock(n) waits up to n ms.
//
// Uncontended locking is one interlocked increment; contending threads wait on an auto-reset
// event that each final unlock signals when someone else has counted in. A waiter that times out
// leaves its count behind, after which every acquisition passes through the event: the lock
// stays exclusive and recursive, it only loses the fast path.
//
// In the thread-sanitizer build the lock reports itself as a recursive mutex; a Lock with a
// time-out other than INFINITE counts as a try. Which lock may be taken while holding which is
// written down in base_object.h.
#pragma once

#include <atomic>

#include "platform/afxmt.h"

class CIntCriticalSection : public CSyncObject {
 public:
  CIntCriticalSection();
  ~CIntCriticalSection() override;

  // TRUE when the calling thread holds the lock (also recursively), FALSE when the time-out
  // passed first.
  BOOL Lock(DWORD dwTimeout = INFINITE) override;
  // TRUE when a level held by the calling thread was released; FALSE, changing nothing, when the
  // calling thread does not hold the lock.
  BOOL Unlock() override;
  BOOL Unlock(LONG, LPLONG) override { return TRUE; }

 private:
  BOOL Acquire(DWORD dwTimeout);
  void Release();

  volatile LONG m_lLockCount = -1;  // changed only by interlocked operations; -1 when free
  DWORD m_dwRecursionCount = 0;     // touched only by the holding thread
  std::atomic<DWORD> m_dwOwner{0};  // thread id of the holder, 0 when free; read by any thread
  CEvent m_evtLock;                 // auto-reset, not signalled
};
