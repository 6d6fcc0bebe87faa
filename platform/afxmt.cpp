#include "platform/afxmt.h"

#include "platform/kernel_object.h"

IMPLEMENT_DYNAMIC(CSyncObject, CObject)
IMPLEMENT_DYNAMIC(CEvent, CSyncObject)
IMPLEMENT_DYNAMIC(CCriticalSection, CSyncObject)

CSyncObject::CSyncObject(LPCTSTR) {}

CSyncObject::~CSyncObject() {
  if (m_hObject != nullptr) CloseHandle(m_hObject);
}

BOOL CSyncObject::Lock(DWORD dwTimeout) {
  return WaitForSingleObject(m_hObject, dwTimeout) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

BOOL CSyncObject::Unlock(LONG, LPLONG) {
  return TRUE;
}

CEvent::CEvent(BOOL bInitiallyOwn, BOOL bManualReset, LPCTSTR lpszName, LPSECURITY_ATTRIBUTES)
    : CSyncObject(lpszName),
      // Not make_shared: it brings a GNU-unique symbol that would pin the module in memory.
      m_event(new ombix::kernel::Event(bManualReset != FALSE, bInitiallyOwn != FALSE)) {
  m_hObject = ombix::kernel::Insert(m_event);
}

CEvent::~CEvent() = default;

BOOL CEvent::SetEvent() {
  m_event->Set();
  return TRUE;
}

BOOL CEvent::ResetEvent() {
  m_event->Reset();
  return TRUE;
}

BOOL CEvent::PulseEvent() {
  m_event->Pulse();
  return TRUE;
}

BOOL CEvent::Lock(DWORD dwTimeout) {
  // Straight to the object: the lock is on the hot path of every contended framework lock.
  return ombix::kernel::Wait({m_event}, false, dwTimeout) == WAIT_OBJECT_0 ? TRUE : FALSE;
}

CCriticalSection::CCriticalSection() : CSyncObject(nullptr) {
  InitializeCriticalSection(&m_sect);
}

CCriticalSection::~CCriticalSection() {
  DeleteCriticalSection(&m_sect);
}

BOOL CCriticalSection::Lock() {
  EnterCriticalSection(&m_sect);
  return TRUE;
}

BOOL CCriticalSection::Lock(DWORD dwTimeout) {
  if (dwTimeout == INFINITE) return Lock();
  // A bounded wait polls: critical sections are held briefly, and a plain mutex keeps the
  // thread sanitizer's view of it exact (it does not follow timed mutex waits).
  const DWORD start = GetTickCount();
  while (!TryEnterCriticalSection(&m_sect)) {
    if (ElapsedTicks(start, GetTickCount()) >= dwTimeout) return FALSE;
    Sleep(1);
  }
  return TRUE;
}

BOOL CCriticalSection::Unlock() {
  LeaveCriticalSection(&m_sect);
  return TRUE;
}

CSingleLock::CSingleLock(CSyncObject* pObject, BOOL bInitialLock)
    : m_pObject(pObject), m_hObject(pObject != nullptr ? pObject->m_hObject : nullptr) {
  if (bInitialLock) Lock();
}

CSingleLock::~CSingleLock() {
  Unlock();
}

BOOL CSingleLock::Lock(DWORD dwTimeOut) {
  if (m_pObject == nullptr) return FALSE;
  // One CSingleLock holds one level: a second Lock must not add a level its destructor
  // would never give back.
  if (!m_bAcquired) m_bAcquired = m_pObject->Lock(dwTimeOut);
  return m_bAcquired;
}

BOOL CSingleLock::Unlock() {
  if (m_bAcquired && m_pObject->Unlock()) m_bAcquired = FALSE;
  return !m_bAcquired;
}

BOOL CSingleLock::Unlock(LONG lCount, LPLONG lPrevCount) {
  if (m_bAcquired && m_pObject->Unlock(lCount, lPrevCount)) m_bAcquired = FALSE;
  return !m_bAcquired;
}
