// The thread sanitizer sees the framework's and the platform's locks as what they are: it reports
// two locks taken in both orders, accepts a lock taken against the order when it is only tried,
// and orders memory through the lock without false reports. Each scenario runs in a child process
// of its own, whose sanitizer report the test reads. Meaningful only in the thread-sanitizer build.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "framework/int_critical_section.h"
#include "platform/afxmt.h"
#include "platform/tsan_annotations.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Takes first and then second, in a thread of its own, and lets both go again.
void TakeInOrder(CSyncObject& first, CSyncObject& second, DWORD dwSecondTimeout = INFINITE) {
  std::thread([&] {
    CSingleLock lockFirst(&first, TRUE);
    CSingleLock lockSecond(&second);
    lockSecond.Lock(dwSecondTimeout);
  }).join();
}

using Framework = CIntCriticalSection;
using Platform = CCriticalSection;

// Two locks taken in both orders.
template <class First, class Second>
void Invert() {
  First first;
  Second second;
  TakeInOrder(first, second);
  TakeInOrder(second, first);
}

// A call lock and a line lock in the order, then against it with a wait of dwTimeout.
template <DWORD dwTimeout>
void AgainstTheOrder() {
  CIntCriticalSection call;
  CIntCriticalSection line;
  TakeInOrder(call, line);
  TakeInOrder(line, call, dwTimeout);
}

// Three threads add to a plain counter, one waiting, one trying, one with bounded waits, each
// with a recursive level inside; a waiter that timed out first leaves the lock on its slow path.
void CountUnder(CIntCriticalSection* pLock) {
  long counter = 0;
  if (pLock != nullptr) {
    CSingleLock holder(pLock, TRUE);
    std::thread([&] { pLock->Lock(5); }).join();  // times out
  }
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 300; ++i) {
        CSingleLock lock(pLock);
        if (pLock != nullptr) {
          if (t == 0) lock.Lock(INFINITE);
          while (t == 1 && !lock.Lock(0)) std::this_thread::yield();
          while (t == 2 && !lock.Lock(1)) {
          }
        }
        CSingleLock inner(pLock, pLock != nullptr);
        const long seen = counter;
        if (i % 16 == 0) std::this_thread::yield();
        counter = seen + 1;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  if (pLock != nullptr && counter != 900) std::abort();
}

void GuardedCounter() {
  CIntCriticalSection lock;
  CountUnder(&lock);
}

void UnguardedCounter() {
  CountUnder(nullptr);
}

struct Scenario {
  const char* name;
  void (*run)();
  const char* report;  // what the sanitizer must say, or nullptr for nothing at all
};

const Scenario kScenarios[] = {
    {"two framework locks in both orders", Invert<Framework, Framework>, "lock-order-inversion"},
    {"two critical sections in both orders", Invert<Platform, Platform>, "lock-order-inversion"},
    {"a framework lock and a critical section", Invert<Framework, Platform>,
     "lock-order-inversion"},
    {"against the order only tried", AgainstTheOrder<0>, nullptr},
    {"against the order with a bounded wait", AgainstTheOrder<50>, nullptr},
    {"data guarded by a framework lock", GuardedCounter, nullptr},
    {"the same data unguarded", UnguardedCounter, "data race"},
};

class LockSanitizerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ombix::tsan::kEnabled) GTEST_SKIP() << "only the thread-sanitizer build checks locks";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The children report every finding, deadlocks included, and go on to the end.
    const char* pszOld = std::getenv("TSAN_OPTIONS");
    if (pszOld != nullptr) m_strOldOptions = pszOld;
    m_bHadOptions = pszOld != nullptr;
    setenv("TSAN_OPTIONS", (m_strOldOptions + ":detect_deadlocks=1:halt_on_error=0").c_str(), 1);
  }
  void TearDown() override {
    if (!ombix::tsan::kEnabled) return;
    if (m_bHadOptions) {
      setenv("TSAN_OPTIONS", m_strOldOptions.c_str(), 1);
    } else {
      unsetenv("TSAN_OPTIONS");
    }
  }

  std::string m_strOldOptions;
  bool m_bHadOptions = false;
};

TEST_F(LockSanitizerTest, ReportsWhatIsWrongAndNothingElse) {
  for (const Scenario& scenario : kScenarios) {
    SCOPED_TRACE(scenario.name);
    // A clean scenario must also end normally; a reported one may end as the sanitizer likes.
    const bool bClean = scenario.report == nullptr;
    using Said = ::testing::Matcher<const std::string&>;
    const Said said =
        bClean ? Said(Not(HasSubstr("ThreadSanitizer"))) : Said(HasSubstr(scenario.report));
    EXPECT_EXIT(
        {
          scenario.run();
          _exit(0);
        },
        [bClean](int status) { return !bClean || ::testing::ExitedWithCode(0)(status); }, said);
  }
}

}  // namespace
