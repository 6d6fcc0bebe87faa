// Steps that another thread may come between: a make-call's check and its queueing (a second
// make-call between them is refused as if the first were queued), and the timer pass's finding
// that a gather timed out and its ending it (a gather started between them goes on).
#include <gtest/gtest.h>

#include "framework/alloc_buffer.h"
#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

// A call whose make-call runs the test's hook first, as a thread that comes in between would.
class InterruptedCall : public TestCall {
  DECLARE_DYNCREATE(InterruptedCall)
 public:
  LONG MakeCall(DRV_REQUESTID dwRequestID, TSPIMAKECALL* pMakeCall) override {
    if (void (*hook)() = s_beforeMakeCall.exchange(nullptr)) hook();
    return TestCall::MakeCall(dwRequestID, pMakeCall);
  }
  static inline std::atomic<void (*)()> s_beforeMakeCall{nullptr};
};
IMPLEMENT_DYNCREATE(InterruptedCall, TestCall)

class MakeCallTest : public CallTest {
 protected:
  void SetUp() override {
    CallTest::SetUp();
    sp.SetObjectClasses(nullptr, nullptr, nullptr, nullptr, RUNTIME_CLASS(InterruptedCall), nullptr,
                        nullptr);
    s_line = line;
  }
  void TearDown() override {
    InterruptedCall::s_beforeMakeCall = nullptr;
    CallTest::TearDown();
  }
  static LONG MakeOne(DRV_REQUESTID dwID, TSPIMAKECALL* pRec = nullptr) {
    if (pRec == nullptr) pRec = new TSPIMAKECALL;
    CTSPICallAppearance* pCall = nullptr;
    const LONG lResult = s_line->MakeCall(dwID, nullptr, &pCall, pRec);
    if (lResult < 0) delete pRec;  // a refused record stays the caller's
    return lResult;
  }
  static int QueuedMakeCalls() {
    int n = 0;
    for (int i = 0; CTSPIRequestPtr pReq = s_line->GetRequest(i); ++i) {
      n += pReq->GetType() == REQUEST_LINEMAKECALL;
    }
    return n;
  }
  static inline AnsweringLine* s_line = nullptr;
  static inline LONG s_lInner = 0;
};

TEST_F(MakeCallTest, AMakeCallBetweenAnotherOnesCheckAndItsQueueingIsRefused) {
  s_lInner = 0;
  InterruptedCall::s_beforeMakeCall = [] { s_lInner = MakeOne(2); };
  EXPECT_EQ(MakeOne(1), 1);
  EXPECT_EQ(s_lInner, LINEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(MakeOne(3), LINEERR_RESOURCEUNAVAIL);  // and after its queueing
  EXPECT_EQ(QueuedMakeCalls(), 1);
  EXPECT_EQ(pAddr->GetCallCount(), 1);
}

// Every way a make-call can fail after its check lets the next one through.
TEST_F(MakeCallTest, AFailedMakeCallLetsTheNextOneThrough) {
  // A record whose call parameters name an address by the given mode.
  auto withParams = [](DWORD dwMode, DWORD dwAddressID) {
    auto* pRec = new TSPIMAKECALL;
    pRec->lpCallParams = static_cast<LPLINECALLPARAMS>(AllocBuffer(sizeof(LINECALLPARAMS)));
    *pRec->lpCallParams = LINECALLPARAMS{};
    pRec->lpCallParams->dwTotalSize = sizeof(LINECALLPARAMS);
    pRec->lpCallParams->dwAddressMode = dwMode;
    pRec->lpCallParams->dwAddressID = dwAddressID;
    return pRec;
  };
  struct Row {
    const char* name;
    LONG lExpected;
    std::function<LONG(DRV_REQUESTID)> fail;
  };
  const Row rows[] = {
      {"unknown address", LINEERR_INVALADDRESSID,
       [&](DRV_REQUESTID dwID) { return MakeOne(dwID, withParams(LINEADDRESSMODE_ADDRESSID, 7)); }},
      {"no originating address", LINEERR_INVALADDRESS,
       [&](DRV_REQUESTID dwID) {
         return MakeOne(dwID, withParams(LINEADDRESSMODE_DIALABLEADDR, 0));
       }},
      {"queue refused", LINEERR_OPERATIONFAILED,
       [&](DRV_REQUESTID dwID) {
         sp.refuseRequests = true;
         const LONG lResult = MakeOne(dwID);
         sp.refuseRequests = false;
         return lResult;
       }},
  };
  DRV_REQUESTID dwID = 10;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.fail(++dwID), row.lExpected);
    EXPECT_EQ(QueuedMakeCalls(), 0);
    EXPECT_EQ(pAddr->GetCallCount(), 0);
    ++dwID;
    EXPECT_EQ(MakeOne(dwID), static_cast<LONG>(dwID));
    ASSERT_EQ(QueuedMakeCalls(), 1);
    line->CompleteRequest(line->GetRequest(0).Get(), LINEERR_OPERATIONFAILED);
    ASSERT_EQ(QueuedMakeCalls(), 0);
  }
}

// The timer pass ends a gather that timed out while another thread starts a new one with a
// first-digit time-out it cannot reach: only the old gather may be reported as timed out.
// Repeated with the second thread's start shifted a little each round.
TEST_F(CallTest, TheTimerEndsOnlyTheGatherThatTimedOut) {
  AllowGathers(10000000);
  TestCall* pCall = NewCall(0xE01, LINECALLSTATE_CONNECTED);
  WCHAR digits[8] = {};
  constexpr int kRounds = 3000;
  constexpr DWORD kLongGather = 0x80000000;  // end-to-end IDs of the gathers that must go on
  std::atomic<int> round{-1};
  std::atomic<int> ready{0};
  std::atomic<int> spun{0};  // the shift of the second thread's start
  std::thread starter([&] {
    for (int i = 0; i < kRounds; ++i) {
      while (round.load() != i) std::this_thread::yield();
      ++ready;
      while (ready.load() < 2) {
      }
      for (int spin = 0; spin < (i % 64) * 8; ++spin) spun.fetch_add(1, std::memory_order_relaxed);
      Gather(pCall, digits, 10000000, kLongGather | static_cast<DWORD>(i));
      ++ready;
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    // A time-out of a minute, which the provider's own timer thread cannot see run out before
    // this thread makes the gather due at once by moving its start back.
    ASSERT_EQ(Gather(pCall, digits, 60000, static_cast<DWORD>(i)), 0);
    {
      CSingleLock lock(pCall->GetSyncObject(), TRUE);
      pCall->GetDigitGather()->dwLastTime -= 120000;
    }
    ready = 0;
    round = i;
    ++ready;
    while (ready.load() < 2) {
    }
    pCall->ServiceCallTimers();
    while (ready.load() < 3) std::this_thread::yield();
  }
  starter.join();
  int nLongEnded = 0;
  for (const auto& event : TapiLog::Get().Events()) {
    if (event.dwMsg == LINE_GATHERDIGITS && (event.dwParam2 & kLongGather) != 0 &&
        event.dwParam1 == LINEGATHERTERM_FIRSTTIMEOUT) {
      ++nLongEnded;
    }
  }
  EXPECT_EQ(nLongEnded, 0);
  ASSERT_NE(pCall->GetDigitGather(), nullptr);
  EXPECT_EQ(pCall->GetDigitGather()->dwEndToEndID, kLongGather | (kRounds - 1));
}

}  // namespace
}  // namespace fw_test
