// Internal to platform/: the waitable objects behind event and thread handles, the handle
// table, and the wait itself. Not for use outside platform/.
//
// All object state that a wait looks at is guarded by one process-wide mutex (KernelMutex());
// each waiting thread sleeps on a condition variable of its own, which the objects it waits on
// notify. HANDLE values are numbers issued by the table, never addresses, so a stale handle is
// found missing instead of being dereferenced.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "platform/wintypes.h"

namespace ombix::kernel {

std::mutex& KernelMutex();

struct WaitBlock;

class Object {
 public:
  Object() = default;
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;
  virtual ~Object() = default;

  // Both run with KernelMutex() held.
  virtual bool IsSignaled() const = 0;
  virtual void OnAcquired() {}  // a satisfied wait takes the object (auto-reset clears)

  // Runs after a wait that this object satisfied has returned, without the mutex.
  virtual void OnWaitSatisfied() {}

 protected:
  friend DWORD Wait(const std::vector<std::shared_ptr<Object>>&, bool, DWORD);
  // With KernelMutex() held: wake every thread that waits on this object.
  void NotifyWaiters();
  // With KernelMutex() held: release waiters without leaving the object signalled (PulseEvent):
  // all waiters, or only the first.
  void PulseWaiters(bool all);

 private:
  std::vector<std::pair<WaitBlock*, int>> waiters_;  // waiter and this object's index in its wait
};

class Event final : public Object {
 public:
  Event(bool manual_reset, bool initial_state) : manual_(manual_reset), signaled_(initial_state) {}
  bool IsSignaled() const override { return signaled_; }
  void OnAcquired() override {
    if (!manual_) signaled_ = false;
  }
  void Set();
  void Reset();
  void Pulse();

 private:
  const bool manual_;
  bool signaled_;
};

// A running thread. Signalled once its routine has returned; the first satisfied wait joins it.
class Thread : public Object {
 public:
  // Starts fn on a new thread, which takes over one reference to the object. The thread's
  // GetCurrentThreadId() is *thread_id (set before the thread runs).
  static std::shared_ptr<Thread> Start(std::shared_ptr<Thread> self, DWORD (*fn)(LPVOID),
                                       LPVOID param, DWORD* thread_id);
  ~Thread() override;
  bool IsSignaled() const override { return finished_; }
  void OnWaitSatisfied() override;

 private:
  void Join();

  bool finished_ = false;  // guarded by KernelMutex()
  std::mutex join_mutex_;
  std::thread thread_;
};

// Issues a new handle for the object.
HANDLE Insert(std::shared_ptr<Object> object);
// The object of a live handle, or null.
std::shared_ptr<Object> Lookup(HANDLE handle);
// Forgets the handle; false when it was not live.
bool Remove(HANDLE handle);

// Waits for one (wait_all false) or all of the objects; returns the index, WAIT_TIMEOUT or
// WAIT_FAILED. Runs OnWaitSatisfied of the objects it took before it returns.
DWORD Wait(const std::vector<std::shared_ptr<Object>>& objects, bool wait_all, DWORD timeout);

// Gives the calling thread its GetCurrentThreadId value; used by new threads before anything else.
void AdoptThreadId(DWORD id);
DWORD NewThreadId();

}  // namespace ombix::kernel
