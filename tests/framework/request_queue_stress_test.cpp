// The request queue under concurrency (meant for the thread sanitizer): producers queueing while
// a switch worker answers, starts run on whichever thread completes, and TAPI closes and reopens
// the line; and a response racing a line close on one request. Every request with a non-zero ID
// reaches TAPI exactly once, ID 0 never, and each request and record is freed exactly once.
#include <gtest/gtest.h>

#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

constexpr int kProducers = 3;
constexpr int kPerProducer = 400;
constexpr int kCloses = 20;

// Producer p's i-th request: make-calls, dials and now and then a drop; every fifth one untracked
// by TAPI (ID 0).
WORD TypeFor(int i) {
  if (i % 9 == 4) return REQUEST_LINEDROP;
  return (i % 3 == 0) ? REQUEST_LINEMAKECALL : REQUEST_LINEDIAL;
}
DWORD IdFor(int p, int i) {
  return (i % 5 == 3) ? 0 : static_cast<DWORD>(p * 1000 + i + 1);
}

TEST_F(QueueTest, StressQueueStartCompleteAndCloseOnOneLine) {
  provider.SetDefaultRequestWait(5);  // a close does not wait long for a drop nobody answers
  ASSERT_EQ(Open(), 0);
  // A start that takes a moment, as one that sends to the switch.
  line.onStart = [](CTSPIRequest*) { std::this_thread::yield(); };

  std::atomic<int> producersLeft{kProducers};
  std::atomic<int> refused{0};
  std::atomic<int> closes{0};
  std::vector<std::thread> threads;
  for (int p = 0; p < kProducers; ++p) {
    threads.emplace_back([&, p] {
      for (int i = 0; i < kPerProducer; ++i) {
        // Closes come all along the run.
        while (closes < i * kCloses / kPerProducer) std::this_thread::yield();
        // A make-call or dial owns its record; a drop carries none here.
        CountedRecord* pRec = (TypeFor(i) != REQUEST_LINEDROP) ? new CountedRecord : nullptr;
        if (!line.QueueRequest(nullptr, callA, TypeFor(i), IdFor(p, i), pRec, 0)) {
          ++refused;
          delete pRec;
        }
      }
      --producersLeft;
    });
  }
  // The switch: answers drops first, else the head; a make-call now and then reported early.
  threads.emplace_back([&] {
    for (int n = 0;; ++n) {
      CTSPIRequestPtr pReq = line.FindRequest(nullptr, REQUEST_LINEDROP);
      if (!pReq) pReq = line.GetCurrentRequest();
      if (!pReq) {
        if (producersLeft == 0) return;
        std::this_thread::yield();
        continue;
      }
      if (pReq->GetType() == REQUEST_LINEMAKECALL && n % 2 == 0) {
        line.CompleteRequest(pReq.Get(), 0, TRUE, FALSE);
      }
      line.CompleteRequest(pReq.Get(), 0);
    }
  });
  // TAPI closes and reopens the line.
  threads.emplace_back([&] {
    for (int n = 0; n < kCloses; ++n) {
      EXPECT_EQ(line.CloseLine(), 0);
      EXPECT_EQ(Open(), 0);
      ++closes;
    }
  });
  for (auto& t : threads) t.join();
  EXPECT_EQ(line.CloseLine(), 0);

  EXPECT_EQ(refused, 0);
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(line.overlaps, 0);
  EXPECT_EQ(CountedRecord::s_live, 0);
  EXPECT_EQ(callA->GetRefCount(), 1);
  auto all = TapiLog::Get().Results();
  EXPECT_EQ(all.count(0), 0u);
  size_t nTracked = 0;
  for (int p = 0; p < kProducers; ++p) {
    for (int i = 0; i < kPerProducer; ++i) {
      if (IdFor(p, i) == 0) continue;
      ++nTracked;
      EXPECT_EQ(all[IdFor(p, i)].size(), 1u) << "request " << IdFor(p, i);
    }
  }
  EXPECT_EQ(all.size(), nTracked);
}

// A response and a line close reach the same request at once: one of them reports it, the
// request lives while the response holds it, and it and its record are freed once.
TEST_F(QueueTest, StressResponseRacingLineCloseReportsAndFreesOnce) {
  constexpr int kRounds = 200;
  for (int n = 0; n < kRounds; ++n) {
    const DWORD dwID = static_cast<DWORD>(n + 1);
    const BOOL bEarly = (n % 2) ? TRUE : FALSE;  // the make-call report at the call's first state
    ASSERT_TRUE(
        line.QueueRequest(nullptr, callA, REQUEST_LINEMAKECALL, dwID, new CountedRecord, 0));
    std::atomic<int> ready{0};
    std::thread response([&] {
      CTSPIRequestPtr pReq = line.FindRequest(callA, REQUEST_LINEMAKECALL);
      ++ready;
      while (ready < 2) {
      }
      if (pReq) line.CompleteRequest(pReq.Get(), 0, TRUE, bEarly ? FALSE : TRUE);
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
