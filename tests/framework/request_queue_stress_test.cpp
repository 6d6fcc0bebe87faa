// The request queue under concurrency (meant for the thread sanitizer): producers queueing while
// a worker completes and a line close fails what is left, and a response racing a line close on
// one request. Every request with a non-zero ID reaches TAPI exactly once, ID 0 never, and each
// request and record is freed exactly once.
#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <thread>
#include <vector>

#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

constexpr int kProducers = 4;
constexpr int kPerProducer = 150;

// Request type and ID of producer p's i-th request: now and then a drop, and every fifth one
// untracked by TAPI (ID 0).
WORD TypeFor(int i) {
  return (i % 9 == 4) ? REQUEST_LINEDROP : REQUEST_LINEDIAL;
}
DWORD IdFor(int p, int i) {
  return (i % 5 == 3) ? 0 : static_cast<DWORD>(p * 1000 + i + 1);
}

TEST_F(QueueTest, StressEveryIdReportedExactlyOnceWhileQueueingCompletingAndClosing) {
  std::atomic<int> producersLeft{kProducers};
  std::atomic<int> refused{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p) {
    threads.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        // A dial owns its record; a drop carries none here.
        CountedRecord* pRec = (TypeFor(i) == REQUEST_LINEDIAL) ? new CountedRecord : nullptr;
        if (line.QueueRequest(nullptr, callA, TypeFor(i), IdFor(p, i), pRec, 0) == nullptr) {
          ++refused;
          delete pRec;
        }
      }
      --producersLeft;
    });
  }
  // The worker answers whatever is at the head, started or not (a line close may have left the
  // queue without a started request).
  threads.emplace_back([&] {
    for (;;) {
      CTSPIRequest* pReq = line.HoldHead();
      if (pReq == nullptr) {
        if (producersLeft == 0) return;
        std::this_thread::yield();
        continue;
      }
      line.CompleteRequest(pReq, 0);
      pReq->Release();
    }
  });
  // Line closes now and then.
  threads.emplace_back([&] {
    for (int n = 0; n < 20; ++n) {
      line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);
      std::this_thread::yield();
    }
  });
  for (auto& t : threads) t.join();
  line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);

  EXPECT_EQ(refused, 0);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(line.overlaps, 0);
  EXPECT_EQ(CountedRecord::s_live, 0);
  EXPECT_EQ(callA->GetRefCount(), 1);
  const auto all = TapiLog::Get().Results();
  EXPECT_EQ(all.count(0), 0u);
  std::set<DWORD> expected;
  for (int p = 0; p < kProducers; ++p) {
    for (int i = 0; i < kPerProducer; ++i) {
      if (IdFor(p, i) != 0) expected.insert(IdFor(p, i));
    }
  }
  EXPECT_EQ(all.size(), expected.size());
  for (DWORD id : expected) {
    auto it = all.find(id);
    ASSERT_NE(it, all.end()) << "request " << id << " never reported";
    EXPECT_EQ(it->second.size(), 1u) << "request " << id;
  }
}

// A response and a line close reach the same request at once: one of them reports it, and the
// request and its record are freed once.
TEST_F(QueueTest, StressResponseRacingLineCloseReportsAndFreesOnce) {
  constexpr int kRounds = 300;
  for (int n = 0; n < kRounds; ++n) {
    const DWORD dwID = static_cast<DWORD>(n + 1);
    const BOOL bEarly = (n % 2) ? TRUE : FALSE;  // the make-call report at the call's first state
    CTSPIRequest* pReq =
        line.QueueRequest(nullptr, callA, REQUEST_LINEMAKECALL, dwID, new CountedRecord, 0);
    ASSERT_NE(pReq, nullptr);
    std::atomic<int> ready{0};
    std::thread response([&] {
      ++ready;
      while (ready < 2) {
      }
      // Only the pointer is passed: the completion must not touch it unless still queued.
      line.CompleteRequest(pReq, 0, TRUE, bEarly ? FALSE : TRUE);
    });
    std::thread close([&] {
      ++ready;
      while (ready < 2) {
      }
      line.CompleteMatchingRequests(callA, REQUEST_ANY, LINEERR_OPERATIONFAILED);
    });
    response.join();
    close.join();
    line.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);
    ASSERT_EQ(TapiLog::Get().ResultsFor(dwID).size(), 1u) << "round " << n;
    ASSERT_EQ(CountedRecord::s_live, 0) << "round " << n;
    ASSERT_EQ(callA->GetRefCount(), 1) << "round " << n;
  }
}

}  // namespace
}  // namespace fw_test
