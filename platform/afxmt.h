// Synchronisation objects of the MFC subset.
//
// Contract:
// - CEvent: auto-reset (default) lets exactly one waiter through per SetEvent and is clear again
//   after it; manual-reset lets every waiter through until ResetEvent. PulseEvent releases the
//   threads waiting at that moment (all, or one for auto-reset) and leaves the event clear.
//   An event is a HANDLE (m_hObject, or the conversion) for WaitForSingleObject and friends.
//   Names are not supported: every CEvent is a new, unshared event.
// - CCriticalSection: recursive; the owning thread may lock it again and must unlock as often.
// - CSingleLock: holds at most one lock level of its object; Lock on a CSingleLock that already
//   holds it returns TRUE without locking again, and the destructor unlocks when it holds it.
#pragma once

#include <memory>

#include "platform/afx.h"
#include "platform/win32.h"

namespace ombix::kernel {
class Event;
}

class CSyncObject : public CObject {
  DECLARE_DYNAMIC(CSyncObject)

 public:
  explicit CSyncObject(LPCTSTR pstrName);
  ~CSyncObject() override;

  operator HANDLE() const { return m_hObject; }  // NOLINT: implicit, as in MFC

  // TRUE when the object was acquired within the time-out (waits on m_hObject).
  virtual BOOL Lock(DWORD dwTimeout = INFINITE);
  virtual BOOL Unlock() = 0;
  virtual BOOL Unlock(LONG lCount, LPLONG lpPrevCount = nullptr);

  HANDLE m_hObject = nullptr;  // closed by the destructor
};

class CEvent : public CSyncObject {
  DECLARE_DYNAMIC(CEvent)

 public:
  explicit CEvent(BOOL bInitiallyOwn = FALSE, BOOL bManualReset = FALSE, LPCTSTR lpszName = nullptr,
                  LPSECURITY_ATTRIBUTES lpsaAttribute = nullptr);
  ~CEvent() override;

  BOOL SetEvent();
  BOOL ResetEvent();
  BOOL PulseEvent();

  BOOL Lock(DWORD dwTimeout = INFINITE) override;
  BOOL Unlock() override { return TRUE; }
  using CSyncObject::Unlock;

 private:
  std::shared_ptr<ombix::kernel::Event> m_event;
};

class CCriticalSection : public CSyncObject {
  DECLARE_DYNAMIC(CCriticalSection)

 public:
  CCriticalSection();
  ~CCriticalSection() override;

  operator CRITICAL_SECTION*() { return &m_sect; }  // NOLINT: implicit, as in MFC

  BOOL Lock();
  // INFINITE waits; any other value waits at most that many milliseconds (0: try once).
  BOOL Lock(DWORD dwTimeout) override;
  BOOL Unlock() override;
  using CSyncObject::Unlock;

  CRITICAL_SECTION m_sect;
};

class CSingleLock {
 public:
  explicit CSingleLock(CSyncObject* pObject, BOOL bInitialLock = FALSE);
  ~CSingleLock();
  CSingleLock(const CSingleLock&) = delete;
  CSingleLock& operator=(const CSingleLock&) = delete;

  // FALSE when the time-out passed first (or there is no object).
  BOOL Lock(DWORD dwTimeOut = INFINITE);
  BOOL Unlock();
  BOOL Unlock(LONG lCount, LPLONG lPrevCount = nullptr);
  BOOL IsLocked() const { return m_bAcquired; }

 protected:
  CSyncObject* m_pObject;
  HANDLE m_hObject;
  BOOL m_bAcquired = FALSE;
};
