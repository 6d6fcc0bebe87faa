#include "platform/afxmt.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/afxwin.h"

namespace {

// Spins (yielding) until the condition holds; the test's own time limit catches a hang.
template <typename Pred>
void WaitUntil(Pred pred) {
  while (!pred()) Sleep(1);
}

TEST(CEventTest, AutoResetReleasesOneWaiterPerSignal) {
  CEvent event;  // auto-reset, clear
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      EXPECT_TRUE(event.Lock());
      ++passed;
    });
  }
  event.SetEvent();
  WaitUntil([&] { return passed.load() >= 1; });
  Sleep(50);  // room for a wrongly released second waiter to show itself
  EXPECT_EQ(1, passed.load());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));  // the pass cleared it
  event.SetEvent();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(2, passed.load());
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));

  CEvent set_auto(TRUE, FALSE);  // initially set: one pass, then bounded waits time out
  EXPECT_TRUE(set_auto.Lock(0));
  EXPECT_FALSE(set_auto.Lock(20));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(set_auto, 20));
}

TEST(CEventTest, ManualResetReleasesEveryWaiterUntilReset) {
  CEvent event(FALSE, TRUE);
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event.m_hObject, INFINITE));
      ++passed;
    });
  }
  event.SetEvent();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(3, passed.load());
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(event, 0));  // still set
  event.ResetEvent();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
}

TEST(CEventTest, PulseReleasesAWaiterAndLeavesTheEventClear) {
  for (BOOL manual : {FALSE, TRUE}) {
    CEvent event(FALSE, manual);
    event.PulseEvent();  // nobody waits: nothing happens
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0));
    std::atomic<bool> passed{false};
    std::thread waiter([&] {
      EXPECT_TRUE(event.Lock());
      passed = true;
    });
    while (!passed) {  // each pulse releases the waiter only once it waits
      event.PulseEvent();
      Sleep(1);
    }
    waiter.join();
    EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(event, 0)) << "manual " << manual;
  }
}

TEST(WaitForMultipleObjectsTest, AnyAndAll) {
  CEvent first(FALSE, TRUE);
  CEvent second;  // auto-reset
  const HANDLE both[] = {first, second};
  EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, both, FALSE, 10));
  second.SetEvent();
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(second, 0));  // taken by the wait

  second.SetEvent();
  EXPECT_EQ(WAIT_TIMEOUT, WaitForMultipleObjects(2, both, TRUE, 10));
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, 0))
      << "a wait for all that timed out must take nothing";
  first.SetEvent();
  second.SetEvent();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, both, TRUE, 0));
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(second, 0));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(first, 0));

  std::thread setter([&] {
    Sleep(10);
    second.SetEvent();
  });
  first.ResetEvent();
  EXPECT_EQ(WAIT_OBJECT_0 + 1, WaitForMultipleObjects(2, both, FALSE, INFINITE));
  setter.join();

  const HANDLE twice[] = {first, first};
  SetLastError(0);
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(2, twice, FALSE, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(0, both, FALSE, 0));
  EXPECT_EQ(WAIT_FAILED, WaitForMultipleObjects(65, both, FALSE, 0));
}

TEST(HandleTest, ACopyOutlivesTheOriginalAndClosedHandlesFail) {
  HANDLE copy = nullptr;
  {
    CEvent event(TRUE, TRUE);
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &copy, 0, FALSE,
                                DUPLICATE_SAME_ACCESS));
    EXPECT_NE(event.m_hObject, copy);
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(copy, 0));  // the same event, still alive
  HANDLE moved = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), copy, GetCurrentProcess(), &moved, 0, FALSE,
                              DUPLICATE_CLOSE_SOURCE));
  EXPECT_FALSE(CloseHandle(copy));  // closed by the duplication
  EXPECT_TRUE(CloseHandle(moved));
  SetLastError(0);
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(moved, 0));
  EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), GetLastError());
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(nullptr, 0));
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(GetCurrentProcess(), 0));
  HANDLE none = nullptr;
  EXPECT_FALSE(DuplicateHandle(GetCurrentProcess(), moved, GetCurrentProcess(), &none, 0, FALSE,
                               DUPLICATE_SAME_ACCESS));
  EXPECT_FALSE(DuplicateHandle(reinterpret_cast<HANDLE>(0x1234), copy, GetCurrentProcess(), &none,
                               0, FALSE, DUPLICATE_SAME_ACCESS));
}

// A single lock holds one level, lets go in its destructor, and over an event waits for it.
TEST(CCriticalSectionTest, RecursiveForTheOwnerExclusiveForOthersAndSingleLocksHoldOneLevel) {
  CCriticalSection cs;
  auto other_can_lock = [&] {  // whether another thread gets the lock at once (and lets it go)
    BOOL got = FALSE;
    std::thread([&] {
      CSingleLock lock(&cs);
      got = lock.Lock(0);
    }).join();
    return got != FALSE;
  };
  EXPECT_TRUE(cs.Lock());
  EXPECT_TRUE(cs.Lock(INFINITE));
  EXPECT_FALSE(other_can_lock());
  std::thread([&] { EXPECT_FALSE(cs.Lock(10)); }).join();  // a bounded wait gives up
  cs.Unlock();
  EXPECT_FALSE(other_can_lock());
  cs.Unlock();
  EXPECT_TRUE(other_can_lock());

  {
    CSingleLock lock(&cs, TRUE);
    EXPECT_TRUE(lock.IsLocked());
    EXPECT_TRUE(lock.Lock());  // already held: no second level
    EXPECT_FALSE(other_can_lock());
  }
  EXPECT_TRUE(other_can_lock());

  CSingleLock lock(&cs);
  EXPECT_FALSE(lock.IsLocked());
  EXPECT_TRUE(lock.Lock(0));
  EXPECT_TRUE(lock.Unlock());
  EXPECT_FALSE(lock.IsLocked());
  EXPECT_TRUE(other_can_lock());

  CSingleLock nothing(nullptr, TRUE);
  EXPECT_FALSE(nothing.IsLocked());
  EXPECT_FALSE(nothing.Lock());

  CEvent event;  // over an event it waits for the event
  CSingleLock on_event(&event);
  EXPECT_FALSE(on_event.Lock(10));
  event.SetEvent();
  EXPECT_TRUE(on_event.Lock(INFINITE));
}

// A thread body that records its id and waits for go.
struct ThreadParam {
  CEvent go;
  std::atomic<DWORD> seen_id{0};
};
UINT RecordAndWait(LPVOID param) {
  auto* p = static_cast<ThreadParam*>(param);
  p->seen_id.store(GetCurrentThreadId());
  p->go.Lock();
  return 7;
}

TEST(AfxBeginThreadTest, AutoDeleteThreadIsWaitedOnByPointerAndOwnedOneDeletedByItsCreator) {
  ThreadParam param;
  CWinThread* thread = AfxBeginThread(RecordAndWait, &param);
  ASSERT_NE(nullptr, thread);
  EXPECT_TRUE(thread->m_bAutoDelete);
  EXPECT_EQ(WAIT_TIMEOUT, WaitForSingleObject(thread->m_hThread, 10));
  param.go.SetEvent();
  WaitUntil([&] { return param.seen_id.load() != 0; });
  EXPECT_EQ(thread->m_nThreadID, param.seen_id.load());
  const HANDLE handle = thread->m_hThread;
  Sleep(20);  // the thread may well have ended: the object must still be there to wait on
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(thread->m_hThread, INFINITE));
  // That wait deleted the object, which closed its handle.
  EXPECT_EQ(WAIT_FAILED, WaitForSingleObject(handle, 0));

  ThreadParam ended;
  thread = AfxBeginThread(RecordAndWait, &ended);
  ASSERT_NE(nullptr, thread);
  thread->m_bAutoDelete = FALSE;
  ended.go.SetEvent();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(*thread, INFINITE));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(*thread, 0));  // stays signalled
  delete thread;

  ThreadParam running;
  thread = AfxBeginThread(RecordAndWait, &running);
  ASSERT_NE(nullptr, thread);
  HANDLE keep = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->m_hThread, GetCurrentProcess(), &keep, 0,
                              FALSE, DUPLICATE_SAME_ACCESS));
  delete thread;
  running.go.SetEvent();
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(keep, INFINITE));
  EXPECT_TRUE(CloseHandle(keep));
  EXPECT_EQ(nullptr, AfxBeginThread(nullptr, nullptr));
  EXPECT_EQ(nullptr, AfxBeginThread(RecordAndWait, &running, THREAD_PRIORITY_NORMAL, 0, 4));
}

// The thread's id slot and what the thread found in it when it started.
struct OWNID {
  DWORD id = 0;
  std::atomic<int> matched{-1};
};

DWORD CompareOwnId(LPVOID param) {
  auto* p = static_cast<OWNID*>(param);
  p->matched.store(p->id == GetCurrentThreadId() ? 1 : 0);
  return 0;
}

// The creator's id variable is filled in before the thread runs, so the thread may read it.
TEST(CreateThreadTest, TheIdIsStoredBeforeTheThreadRunsAndThreadsJoinThroughTheirHandles) {
  OWNID own[20];
  std::vector<HANDLE> handles;
  for (OWNID& o : own) {
    handles.push_back(CreateThread(nullptr, 0, CompareOwnId, &o, 0, &o.id));
    ASSERT_NE(nullptr, handles.back());
  }
  EXPECT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(20, handles.data(), TRUE, INFINITE));
  for (const OWNID& o : own) EXPECT_EQ(1, o.matched.load());
  for (HANDLE h : handles) EXPECT_TRUE(CloseHandle(h));

  // A thread whose handle is closed at once runs to its end on its own.
  OWNID alone;
  HANDLE h = CreateThread(nullptr, 0, CompareOwnId, &alone, 0, nullptr);
  ASSERT_NE(nullptr, h);
  EXPECT_TRUE(CloseHandle(h));
  WaitUntil([&] { return alone.matched.load() != -1; });
  EXPECT_EQ(nullptr, CreateThread(nullptr, 0, nullptr, nullptr, 0, nullptr));
}

}  // namespace
