#include "platform/kernel_object.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <new>
#include <unordered_map>

#include "platform/win32.h"

namespace ombix::kernel {

struct WaitBlock {
  std::condition_variable cv;
  bool wait_all = false;
  int pulsed = -1;  // index released by a PulseEvent, -1 when none
};

namespace {

// Never destroyed: threads and global objects may still close handles while the process exits.
// Built in static storage rather than on the heap, so that unloading the library leaks nothing.
struct HandleTable {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Object>> objects;
  std::uintptr_t next = 0x100;
};

HandleTable& Table() {
  alignas(HandleTable) static unsigned char storage[sizeof(HandleTable)];
  static HandleTable* table = new (storage) HandleTable;
  return *table;
}

thread_local DWORD t_thread_id = 0;
std::atomic<DWORD> g_next_thread_id{1};

// With the kernel mutex held: take the object(s) if the wait is satisfied.
bool TryTake(const std::vector<std::shared_ptr<Object>>& objects, bool wait_all, DWORD* result) {
  if (wait_all) {
    for (const auto& object : objects) {
      if (!object->IsSignaled()) return false;
    }
    for (const auto& object : objects) object->OnAcquired();
    *result = WAIT_OBJECT_0;
    return true;
  }
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i]->IsSignaled()) {
      objects[i]->OnAcquired();
      *result = WAIT_OBJECT_0 + static_cast<DWORD>(i);
      return true;
    }
  }
  return false;
}

}  // namespace

std::mutex& KernelMutex() {
  alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
  static std::mutex* mutex = new (storage) std::mutex;
  return *mutex;
}

void Object::NotifyWaiters() {
  for (auto& [block, index] : waiters_) block->cv.notify_one();
}

void Object::PulseWaiters(bool all) {
  for (auto& [block, index] : waiters_) {
    if (block->wait_all || block->pulsed >= 0) continue;
    block->pulsed = index;
    block->cv.notify_one();
    if (!all) return;
  }
}

void Event::Set() {
  std::lock_guard<std::mutex> lock(KernelMutex());
  signaled_ = true;
  NotifyWaiters();
}

void Event::Reset() {
  std::lock_guard<std::mutex> lock(KernelMutex());
  signaled_ = false;
}

void Event::Pulse() {
  std::lock_guard<std::mutex> lock(KernelMutex());
  PulseWaiters(manual_);
  signaled_ = false;
}

std::shared_ptr<Thread> Thread::Start(std::shared_ptr<Thread> self, DWORD (*fn)(LPVOID),
                                      LPVOID param, DWORD* thread_id) {
  const DWORD id = NewThreadId();
  // Stored before the thread starts, so that the thread itself may read it.
  if (thread_id != nullptr) *thread_id = id;
  Thread* raw = self.get();
  std::lock_guard<std::mutex> lock(raw->join_mutex_);
  raw->thread_ = std::thread([owner = self, fn, param, id]() mutable {
    AdoptThreadId(id);
    fn(param);
    {
      std::lock_guard<std::mutex> kernel_lock(KernelMutex());
      owner->finished_ = true;
      owner->NotifyWaiters();
    }
    owner.reset();  // may be the last reference: the destructor then detaches this thread
  });
  return self;
}

Thread::~Thread() {
  std::lock_guard<std::mutex> lock(join_mutex_);
  if (!thread_.joinable()) return;
  if (thread_.get_id() == std::this_thread::get_id()) {
    thread_.detach();  // the thread dropped the last reference itself; nobody can wait on it
  } else {
    thread_.join();  // it has finished its routine; this only collects it
  }
}

void Thread::Join() {
  std::lock_guard<std::mutex> lock(join_mutex_);
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void Thread::OnWaitSatisfied() {
  Join();
}

HANDLE Insert(std::shared_ptr<Object> object) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  const std::uintptr_t id = table.next;
  table.next += 4;
  table.objects.emplace(id, std::move(object));
  return reinterpret_cast<HANDLE>(id);
}

std::shared_ptr<Object> Lookup(HANDLE handle) {
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  return it == table.objects.end() ? nullptr : it->second;
}

bool Remove(HANDLE handle) {
  std::shared_ptr<Object> doomed;  // released after the table lock: its destructor may join
  HandleTable& table = Table();
  std::lock_guard<std::mutex> lock(table.mutex);
  auto it = table.objects.find(reinterpret_cast<std::uintptr_t>(handle));
  if (it == table.objects.end()) return false;
  doomed = std::move(it->second);
  table.objects.erase(it);
  // An empty table gives its buckets back, so an unloaded library leaves nothing on the heap.
  if (table.objects.empty()) decltype(table.objects)().swap(table.objects);
  return true;
}

DWORD Wait(const std::vector<std::shared_ptr<Object>>& objects, bool wait_all, DWORD timeout) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout);
  WaitBlock block;
  block.wait_all = wait_all;
  DWORD result = WAIT_TIMEOUT;
  bool registered = false;
  bool timed_out = false;
  {
    std::unique_lock<std::mutex> lock(KernelMutex());
    for (;;) {
      if (block.pulsed >= 0) {
        result = WAIT_OBJECT_0 + static_cast<DWORD>(block.pulsed);
        break;
      }
      if (TryTake(objects, wait_all, &result)) break;
      if (timeout == 0 || timed_out) {
        result = WAIT_TIMEOUT;
        break;
      }
      if (!registered) {
        for (size_t i = 0; i < objects.size(); ++i) {
          objects[i]->waiters_.emplace_back(&block, static_cast<int>(i));
        }
        registered = true;
      }
      if (timeout == INFINITE) {
        block.cv.wait(lock);
      } else {
        timed_out = block.cv.wait_until(lock, deadline) == std::cv_status::timeout;
      }
    }
    if (registered) {
      for (const auto& object : objects) {
        auto& list = object->waiters_;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [&](const auto& entry) { return entry.first == &block; }),
                   list.end());
      }
    }
  }
  if (result != WAIT_TIMEOUT) {
    if (wait_all) {
      for (const auto& object : objects) object->OnWaitSatisfied();
    } else {
      objects[result - WAIT_OBJECT_0]->OnWaitSatisfied();
    }
  }
  return result;
}

DWORD NewThreadId() {
  DWORD id;
  do {
    id = g_next_thread_id.fetch_add(1);
  } while (id == 0);
  return id;
}

void AdoptThreadId(DWORD id) {
  t_thread_id = id;
}

}  // namespace ombix::kernel

DWORD GetCurrentThreadId() {
  using ombix::kernel::t_thread_id;
  if (t_thread_id == 0) t_thread_id = ombix::kernel::NewThreadId();
  return t_thread_id;
}
