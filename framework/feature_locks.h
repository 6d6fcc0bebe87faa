// Locks taken while a call computes its features inside its own state change: there the
// address's and line's locks are only tried (never waited for), and a miss is noted so that the
// state change computes the features again once the call's lock is released. Outside such a
// scope the same look-ups wait for their locks.
#pragma once

#include "platform/afxmt.h"

class CFeatureLockScope {
 public:
  CFeatureLockScope() : m_bOuterActive(t_bActive), m_bOuterMissed(t_bMissed) {
    t_bActive = true;
    t_bMissed = false;
  }
  ~CFeatureLockScope() {
    t_bActive = m_bOuterActive;
    t_bMissed = m_bOuterMissed;
  }
  CFeatureLockScope(const CFeatureLockScope&) = delete;
  CFeatureLockScope& operator=(const CFeatureLockScope&) = delete;

  // A lock was busy within this scope.
  bool Missed() const { return t_bMissed; }

  static bool Active() { return t_bActive; }
  static bool AnyMissed() { return t_bMissed; }
  static void NoteMissed() { t_bMissed = true; }
  // Waits outside a scope; inside one only tries, noting a miss.
  static BOOL Lock(CSingleLock& lock, DWORD dwWait = INFINITE) {
    if (!t_bActive) return lock.Lock(dwWait);
    if (lock.Lock(0)) return TRUE;
    t_bMissed = true;
    return FALSE;
  }

 private:
  static inline thread_local bool t_bActive = false;
  static inline thread_local bool t_bMissed = false;
  bool m_bOuterActive;
  bool m_bOuterMissed;
};
