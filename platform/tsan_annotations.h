// Tells the thread sanitizer what a lock built from atomics and events does, so that it orders
// memory through the lock and checks the order in which locks are taken. Only the thread-sanitizer
// build calls into the sanitizer; in every other build these functions are empty.
//
// Contract, per lock object (named by its address):
// - MutexCreate when the lock is constructed, MutexDestroy when it is destroyed;
// - PreLock before an acquisition and PostLock after it with its outcome. An acquisition that may
//   give up (a try, or a wait with a time-out) says so: it adds no edge to the lock-order graph,
//   because it cannot wait forever;
// - PreUnlock before a release and PostUnlock after it.
// Between Pre and Post the sanitizer ignores the lock's own memory accesses and synchronisation.
// Locks over pthread mutexes (CRITICAL_SECTION, std::mutex) need none of this: the sanitizer sees
// them through its own interception, and annotating them as well would count each lock twice.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define OMBIX_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define OMBIX_TSAN_BUILD 1
#endif
#endif

#ifdef OMBIX_TSAN_BUILD
#include <sanitizer/tsan_interface.h>
#endif

namespace ombix::tsan {

#ifdef OMBIX_TSAN_BUILD

inline constexpr bool kEnabled = true;

inline void MutexCreate(const void* lock, bool bRecursive) {
  __tsan_mutex_create(const_cast<void*>(lock),
                      __tsan_mutex_not_static | (bRecursive ? __tsan_mutex_write_reentrant : 0));
}
inline void MutexDestroy(const void* lock) {
  __tsan_mutex_destroy(const_cast<void*>(lock), __tsan_mutex_not_static);
}
inline void PreLock(const void* lock, bool bMayFail) {
  __tsan_mutex_pre_lock(const_cast<void*>(lock), bMayFail ? __tsan_mutex_try_lock : 0);
}
inline void PostLock(const void* lock, bool bMayFail, bool bAcquired) {
  unsigned flags = bMayFail ? __tsan_mutex_try_lock : 0;
  if (!bAcquired) flags |= __tsan_mutex_try_lock_failed;
  __tsan_mutex_post_lock(const_cast<void*>(lock), flags, 0);
}
inline void PreUnlock(const void* lock) {
  __tsan_mutex_pre_unlock(const_cast<void*>(lock), 0);
}
inline void PostUnlock(const void* lock) {
  __tsan_mutex_post_unlock(const_cast<void*>(lock), 0);
}

#else

inline constexpr bool kEnabled = false;

inline void MutexCreate(const void*, bool) {}
inline void MutexDestroy(const void*) {}
inline void PreLock(const void*, bool) {}
inline void PostLock(const void*, bool, bool) {}
inline void PreUnlock(const void*) {}
inline void PostUnlock(const void*) {}

#endif

}  // namespace ombix::tsan
