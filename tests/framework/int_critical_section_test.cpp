#include "framework/int_critical_section.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "framework/base_object.h"
#include "framework/live_object_set.h"

namespace {

// Tries the lock once from another thread; releases it again when it got it.
bool OtherThreadGetsLock(CIntCriticalSection& cs) {
  BOOL got = FALSE;
  std::thread([&] {
    got = cs.Lock(0);
    if (got) cs.Unlock();
  }).join();
  return got != FALSE;
}

// Three threads each add to a plain counter under the lock; a read, a yield and a write make any
// overlap lose increments (and the thread sanitizer flags it).
void HammerCounter(CIntCriticalSection& cs) {
  constexpr int kThreads = 3;
  constexpr int kRounds = 2000;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kRounds; ++i) {
        CSingleLock lock(&cs);
        // Mix waiting, trying and a recursive level, as the framework's callers do.
        if (t == 2) {
          while (!lock.Lock(0)) std::this_thread::yield();
        } else {
          ASSERT_TRUE(lock.Lock(INFINITE));
        }
        CSingleLock inner(&cs, TRUE);
        const long seen = counter;
        if (i % 16 == 0) std::this_thread::yield();
        counter = seen + 1;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(kThreads * kRounds, counter);
}

TEST(CIntCriticalSectionTest, FreeOnlyAfterAsManyUnlocksAsLocksAndExclusive) {
  CIntCriticalSection cs;
  EXPECT_TRUE(cs.Lock());
  EXPECT_TRUE(cs.Lock(0));  // the owner passes at once, also with "try once"
  EXPECT_TRUE(cs.Lock(INFINITE));
  EXPECT_FALSE(OtherThreadGetsLock(cs));
  EXPECT_TRUE(cs.Unlock());
  EXPECT_FALSE(OtherThreadGetsLock(cs));
  EXPECT_TRUE(cs.Unlock());
  EXPECT_FALSE(OtherThreadGetsLock(cs));
  EXPECT_TRUE(cs.Unlock());
  EXPECT_TRUE(OtherThreadGetsLock(cs));
  HammerCounter(cs);  // three threads are exclusive
}

TEST(CIntCriticalSectionTest, UnlockByAThreadThatDoesNotHoldItChangesNothing) {
  CIntCriticalSection cs;
  EXPECT_FALSE(cs.Unlock());  // nobody holds it
  ASSERT_TRUE(cs.Lock());
  BOOL foreign = TRUE;
  std::thread([&] { foreign = cs.Unlock(); }).join();
  EXPECT_FALSE(foreign);
  EXPECT_FALSE(OtherThreadGetsLock(cs));
  EXPECT_TRUE(cs.Unlock());
  EXPECT_TRUE(OtherThreadGetsLock(cs));
  EXPECT_TRUE(cs.Unlock(1, nullptr));  // the counted form does nothing
}

TEST(CIntCriticalSectionTest, StaysExclusiveAfterAWaiterTimedOut) {
  CIntCriticalSection cs;
  ASSERT_TRUE(cs.Lock());
  BOOL timed = TRUE;
  std::thread([&] { timed = cs.Lock(5); }).join();  // leaves its count in the lock
  EXPECT_FALSE(timed);
  EXPECT_TRUE(cs.Unlock());
  // The lock no longer takes the fast path; it must still be free, recursive and exclusive.
  EXPECT_TRUE(OtherThreadGetsLock(cs));
  EXPECT_TRUE(cs.Lock());
  EXPECT_TRUE(cs.Lock());
  EXPECT_FALSE(OtherThreadGetsLock(cs));
  cs.Unlock();
  EXPECT_FALSE(OtherThreadGetsLock(cs));
  cs.Unlock();
  EXPECT_TRUE(OtherThreadGetsLock(cs));
  HammerCounter(cs);
  EXPECT_TRUE(OtherThreadGetsLock(cs));
}

struct Thing {
  int value = 0;
};

TEST(CLiveObjectSetTest, OnlyAddedObjectsAreLiveAlsoUnderConcurrentUse) {
  CLiveObjectSet<Thing> live;
  Thing a;
  Thing b;
  EXPECT_FALSE(live.Contains(nullptr));
  EXPECT_FALSE(live.Contains(&a));
  live.Add(&a);
  live.Add(nullptr);
  EXPECT_TRUE(live.Contains(&a));
  EXPECT_FALSE(live.Contains(&b));
  EXPECT_FALSE(live.Contains(reinterpret_cast<const void*>(0x10)));  // never dereferenced
  live.Remove(&a);
  EXPECT_FALSE(live.Contains(&a));

  // Used from several threads at once.
  std::vector<Thing> things(64);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 200; ++round) {
        for (int i = t; i < 64; i += 4) {
          live.Add(&things[i]);
          EXPECT_TRUE(live.Contains(&things[i]));
          live.Remove(&things[i]);
        }
      }
    });
  }
  for (auto& th : threads) th.join();
  for (const auto& thing : things) EXPECT_FALSE(live.Contains(&thing));
}

}  // namespace
