// Exceptions at the edges of the library: a call class that throws at a chosen point, reached
// through the exported functions and through the timer thread. An export answers an error when
// it queued nothing, and its request ID when it did; TAPI then hears of that request exactly
// once. The timer thread goes on serving after a call's timers threw.
#include "framework/export_guard.h"

#include <new>

#include "framework/tspi_exports.h"
#include "platform/tspi.h"
#include "tests/framework/call_doubles.h"

namespace fw_test {

// Where the call throws, and what.
enum class ThrowAt { kNowhere, kBeforeQueue, kAfterQueue, kInfo, kTimers };
enum class Thrown { kBadAlloc, kRuntimeError, kInt };

class ThrowingCall : public TestCall {
  DECLARE_DYNCREATE(ThrowingCall)
 public:
  LONG Hold(DRV_REQUESTID dwRequestID) override {
    if (s_at == ThrowAt::kBeforeQueue) Throw();
    const LONG lResult = TestCall::Hold(dwRequestID);
    if (s_at == ThrowAt::kAfterQueue) Throw();
    return lResult;
  }
  LONG GetCallInfo(LPLINECALLINFO lpCallInfo) override {
    if (s_at == ThrowAt::kInfo) Throw();
    return TestCall::GetCallInfo(lpCallInfo);
  }
  // Throws the first two times it is served, then asks to leave the timer list.
  BOOL ServiceCallTimers() override {
    if (s_at != ThrowAt::kTimers) return TestCall::ServiceCallTimers();
    if (++s_served <= 2) Throw();
    return TRUE;
  }

  static inline std::atomic<ThrowAt> s_at{ThrowAt::kNowhere};
  static inline std::atomic<Thrown> s_what{Thrown::kRuntimeError};
  static inline std::atomic<int> s_served{0};

 private:
  static void Throw() {
    switch (s_what.load()) {
      case Thrown::kBadAlloc:
        throw std::bad_alloc();
      case Thrown::kRuntimeError:
        throw std::runtime_error("chosen failure");
      case Thrown::kInt:
        throw 42;
    }
  }
};
IMPLEMENT_DYNCREATE(ThrowingCall, TestCall)

namespace {

HDRVCALL H(CTSPICallAppearance* pCall) {
  return reinterpret_cast<HDRVCALL>(pCall);
}

class ExportGuardTest : public CallTest {
 protected:
  ExportGuardTest() { timerTick = 10; }
  void SetUp() override {
    CallTest::SetUp();
    sp.SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(AnsweringLine), RUNTIME_CLASS(TestAddress),
                        RUNTIME_CLASS(ThrowingCall), nullptr, nullptr);
    ThrowingCall::s_at = ThrowAt::kNowhere;
    ThrowingCall::s_served = 0;
    pCall = NewCall(0x901, LINECALLSTATE_CONNECTED);
    ASSERT_NE(dynamic_cast<ThrowingCall*>(pCall), nullptr);
  }
  void TearDown() override {
    ThrowingCall::s_at = ThrowAt::kNowhere;
    CallTest::TearDown();
  }
  TestCall* pCall = nullptr;
};

// How the line's switch answers a started hold.
enum class SwitchDoes { kNothing, kCompletes, kThrows };

struct HoldRow {
  const char* name;
  ThrowAt at;
  Thrown what;
  SwitchDoes start;
  LONG lAnswer;                // kID: the request ID
  std::vector<LONG> reported;  // what TAPI's completion callback heard for it
};

constexpr LONG kID = 61;

using enum ThrowAt;
using enum Thrown;
using enum SwitchDoes;
constexpr LONG kFailed = LINEERR_OPERATIONFAILED;
const HoldRow kHoldRows[] = {
    {"no memory before queueing", kBeforeQueue, kBadAlloc, kCompletes, LINEERR_NOMEM, {}},
    {"a failure before queueing", kBeforeQueue, kRuntimeError, kCompletes, kFailed, {}},
    {"no standard exception before queueing", kBeforeQueue, kInt, kCompletes, kFailed, {}},
    {"after the switch completed it", kAfterQueue, kRuntimeError, kCompletes, kID, {0}},
    {"while the switch still works on it", kAfterQueue, kBadAlloc, kNothing, kID, {LINEERR_NOMEM}},
    {"in the start, as the switch line sends it", kNowhere, kRuntimeError, kThrows, kID, {kFailed}},
};

TEST_F(ExportGuardTest, AnExportAnswersAnErrorOrItsRequestAndTapiHearsOfItOnce) {
  for (const HoldRow& row : kHoldRows) {
    SCOPED_TRACE(row.name);
    TapiLog::Get().Reset();
    line->Answer(REQUEST_LINEHOLD, [&row](AnsweringLine& l, CTSPIRequest* pReq) {
      if (row.start == SwitchDoes::kThrows) throw std::runtime_error("start failed");
      if (row.start == SwitchDoes::kCompletes) l.CompleteRequest(pReq, 0);
    });
    ThrowingCall::s_at = row.at;
    ThrowingCall::s_what = row.what;
    EXPECT_EQ(TSPI_lineHold(kID, H(pCall)), row.lAnswer);
    ThrowingCall::s_at = ThrowAt::kNowhere;
    EXPECT_EQ(TapiLog::Get().ResultsFor(kID), row.reported);
    EXPECT_EQ(line->GetRequestCount(), 0);

    // The queue was left able to start the next request.
    line->Answer(REQUEST_LINEHOLD,
                 [](AnsweringLine& l, CTSPIRequest* pReq) { l.CompleteRequest(pReq, 0); });
    EXPECT_EQ(TSPI_lineHold(kID + 1, H(pCall)), kID + 1);
    EXPECT_EQ(TapiLog::Get().ResultsFor(kID + 1), std::vector<LONG>{0});
  }
}

TEST_F(ExportGuardTest, ExportsWithoutARequestAnswerTheErrorOfWhatWasThrown) {
  LINECALLINFO info{};
  info.dwTotalSize = sizeof(info);
  ThrowingCall::s_at = ThrowAt::kInfo;
  ThrowingCall::s_what = Thrown::kBadAlloc;
  EXPECT_EQ(TSPI_lineGetCallInfo(H(pCall), &info), LINEERR_NOMEM);
  ThrowingCall::s_what = Thrown::kRuntimeError;
  EXPECT_EQ(TSPI_lineGetCallInfo(H(pCall), &info), LINEERR_OPERATIONFAILED);
  ThrowingCall::s_at = ThrowAt::kNowhere;
  EXPECT_EQ(TSPI_lineGetCallInfo(H(pCall), &info), 0);
  EXPECT_TRUE(TapiLog::Get().Results().empty());
}

// The phone family answers in its own codes; a normal answer passes the guard untouched.
TEST(ExportGuard, EachFamilyAnswersInItsOwnCodes) {
  struct Row {
    ExportFamily family;
    std::function<LONG()> body;
    LONG lAnswer;
  };
  const Row rows[] = {
      {ExportFamily::kPhone, []() -> LONG { throw std::bad_alloc(); }, PHONEERR_NOMEM},
      {ExportFamily::kPhone, []() -> LONG { throw std::logic_error("x"); },
       PHONEERR_OPERATIONFAILED},
      {ExportFamily::kPhone, []() -> LONG { return PHONEERR_INVALPHONEHANDLE; },
       PHONEERR_INVALPHONEHANDLE},
  };
  for (const Row& row : rows) EXPECT_EQ(GuardExport("test", row.family, 5, row.body), row.lAnswer);
}

TEST_F(ExportGuardTest, TheTimerThreadGoesOnAfterACallsTimersThrew) {
  ThrowingCall::s_what = Thrown::kRuntimeError;
  ThrowingCall::s_at = ThrowAt::kTimers;
  sp.RegisterTimedCall(pCall);
  // Served three times: twice it threw and stayed, the third time it asked to leave.
  ASSERT_TRUE(WaitUntil([&] { return !sp.IsTimedCall(pCall); }));
  EXPECT_EQ(ThrowingCall::s_served, 3);
  EXPECT_TRUE(sp.IsTimerThreadRunning());
}

}  // namespace
}  // namespace fw_test
