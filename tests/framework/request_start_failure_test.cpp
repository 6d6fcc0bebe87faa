// A request whose start throws on a thread that is no exported function (the link's worker,
// completing the request ahead of it): TAPI hears of it once, and the queue goes on.
#include <gtest/gtest.h>

#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

// What a start does with the request it took.
enum class Start { kWaits, kThrows, kCompletesThenThrows };

struct FollowerRow {
  const char* name;
  std::map<DWORD, Start> followers;  // queued behind request 1, in ID order
  std::map<DWORD, std::vector<LONG>> reported;
  std::vector<DWORD> started;
  int nLeft;  // still queued afterwards
};

const FollowerRow kFollowerRows[] = {
    {"the follower's start throws",
     {{2, Start::kThrows}, {3, Start::kWaits}},
     {{1, {0}}, {2, {LINEERR_OPERATIONFAILED}}},
     {1, 2, 3},
     1},
    {"two followers in a row throw",
     {{2, Start::kThrows}, {3, Start::kThrows}, {4, Start::kWaits}},
     {{1, {0}}, {2, {LINEERR_OPERATIONFAILED}}, {3, {LINEERR_OPERATIONFAILED}}},
     {1, 2, 3, 4},
     1},
    {"the follower completed itself before it threw",
     {{2, Start::kCompletesThenThrows}, {3, Start::kWaits}},
     {{1, {0}}, {2, {0}}},
     {1, 2, 3},
     1},
};

std::vector<DWORD> StartedIDs(TestLine& line) {
  std::vector<DWORD> ids;
  for (const auto& start : line.Starts()) ids.push_back(start.dwRequestID);
  return ids;
}

TEST_F(QueueTest, AFollowerWhoseStartThrowsOnTheCompletingThreadFailsOnceAndTheNextStarts) {
  for (const FollowerRow& row : kFollowerRows) {
    SCOPED_TRACE(row.name);
    TestLine fresh;
    fresh.Init(&device, kDeviceID + 1, kLineIndex + 1);
    TapiLog::Get().Reset();
    fresh.onStart = [&row, &fresh](CTSPIRequest* pReq) {
      const auto it = row.followers.find(pReq->GetRequestID());
      if (it == row.followers.end() || it->second == Start::kWaits) return;
      if (it->second == Start::kCompletesThenThrows) fresh.CompleteRequest(pReq, 0);
      throw std::runtime_error("start failed");
    };
    CTSPIRequestPtr pFirst = fresh.QueueRequest(nullptr, nullptr, REQUEST_LINEHOLD, 1, nullptr, 0);
    ASSERT_TRUE(pFirst);
    for (const auto& [dwID, start] : row.followers) {
      ASSERT_TRUE(fresh.QueueRequest(nullptr, nullptr, REQUEST_LINEHOLD, dwID, nullptr, 0));
    }

    // The switch's answer to the first request, on a thread of its own.
    bool bThrown = false;
    std::thread worker([&] {
      try {
        fresh.CompleteRequest(pFirst.Get(), 0);
      } catch (const std::runtime_error&) {
        bThrown = true;
      }
    });
    worker.join();

    EXPECT_TRUE(bThrown);  // the thread's own boundary still sees it
    EXPECT_EQ(TapiLog::Get().Results(), row.reported);
    EXPECT_EQ(StartedIDs(fresh), row.started);
    EXPECT_EQ(fresh.GetRequestCount(), row.nLeft);
    EXPECT_EQ(fresh.overlaps, 0);
    fresh.CompleteMatchingRequests(nullptr, REQUEST_ANY, LINEERR_OPERATIONFAILED);
  }
}

// A drop starts beside a request that waits for the switch: its failed start fails the drop
// alone, and the waiting request still gets its answer.
TEST_F(QueueTest, ADropWhoseStartThrowsFailsAloneBesideTheRequestThatWaits) {
  line.onStart = [](CTSPIRequest* pReq) {
    if (pReq->GetType() == REQUEST_LINEDROP) throw std::runtime_error("drop failed");
  };
  CTSPIRequestPtr pCall = Queue(REQUEST_LINEMAKECALL, 31, callA);
  ASSERT_TRUE(pCall);
  ASSERT_TRUE(Queue(REQUEST_LINEHOLD, 32, callB));
  EXPECT_THROW(Queue(REQUEST_LINEDROP, 33, callA), std::runtime_error);

  EXPECT_EQ(TapiLog::Get().Results(),
            (std::map<DWORD, std::vector<LONG>>{{33, {LINEERR_OPERATIONFAILED}}}));
  EXPECT_EQ(StartedIDs(line), (std::vector<DWORD>{31, 33}));
  EXPECT_TRUE(line.IsRequestQueued(pCall.Get()));

  line.CompleteRequest(pCall.Get(), 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(31), std::vector<LONG>{0});
  EXPECT_EQ(StartedIDs(line), (std::vector<DWORD>{31, 33, 32}));
}

}  // namespace
}  // namespace fw_test
