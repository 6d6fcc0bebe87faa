// No event after a close: a delivery still running when lineClose or lineCloseCall is called
// keeps the close waiting, unless the close comes from inside it; nothing is delivered once the
// close returned; a handle TAPI writes in LINE_NEWCALL is not kept when the call was closed
// meanwhile. Each case runs in a child process, so that a deadlock fails it after a deadline.
#include <gtest/gtest.h>

#include "platform/tspi.h"
#include "tests/framework/call_doubles.h"
#include "tests/platform/registry_child_support.h"

namespace fw_test {
namespace {

// How long a close that must keep waiting is given to return wrongly.
constexpr auto kGrace = std::chrono::milliseconds(100);

bool TurnsTrueWithinGrace(const std::atomic<bool>& flag) {
  const auto end = std::chrono::steady_clock::now() + kGrace;
  while (!flag && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return flag;
}

struct Case {
  const char* name;
  DWORD dwMsg;         // LINE_CALLSTATE of a call, LINE_LINEDEVSTATE or LINE_NEWCALL of a new call
  bool bConsultation;  // the new call is a consultation call, else an address's
  bool bCloseLine;     // lineClose, else lineCloseCall of the event's call
};

class CloseTest : public CallTest {
 protected:
  void SetUp() override {}  // in the child: the fork must come before any thread
  void TearDown() override {}

  // The case in a child of its own; the child prints its own failures.
  void Run(const Case& c, bool bInside) {
    SCOPED_TRACE(c.name);
    // Only failures add parts; the child inherits the parent's.
    auto parts = [] {
      return ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    };
    std::fflush(nullptr);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      const int nBefore = parts();
      CallTest::SetUp();
      if (line != nullptr && pAddr != nullptr) RunInChild(c, bInside);
      CallTest::TearDown();
      std::fflush(nullptr);
      _exit(parts() > nBefore ? 1 : 0);
    }
    EXPECT_EQ(ombix::registry_test::WaitWithin(pid), 0) << "the child failed (above) or hung";
  }

  // TAPI's callback, on the delivering thread, closes (bInside), or lets another thread close
  // and sees that close not return before the delivery has ended. Nothing may follow the close.
  void RunInChild(const Case& c, bool bInside) {
    TestCall* pBase = NewCall(0xA01, LINECALLSTATE_CONNECTED);
    ASSERT_NE(pBase, nullptr);
    const bool bNewCall = c.dwMsg == LINE_NEWCALL;
    const HTAPICALL htCall = bNewCall ? Handle(CallTapi::nextHandle.load()) : Handle(0xA01);
    std::atomic<CTSPICallAppearance*> pClosing{nullptr};
    std::atomic<bool> closed{false};
    auto close = [&](CTSPICallAppearance* pCall) {
      EXPECT_EQ(c.bCloseLine ? TSPI_lineClose(reinterpret_cast<HDRVLINE>(line))
                             : TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(pCall)),
                0);
      closed = true;
    };
    s_act = [&](DWORD_PTR dwParam1) {
      auto* pCall = bNewCall ? reinterpret_cast<CTSPICallAppearance*>(dwParam1) : pBase;
      if (bInside) return close(pCall);
      pClosing = pCall;
      // Once the close has forgotten TAPI's handle, it is only waiting for this delivery.
      EXPECT_TRUE(WaitUntil(
          [&] { return c.bCloseLine ? !line->IsOpen() : pCall->GetCallHandle() == nullptr; }));
      EXPECT_FALSE(TurnsTrueWithinGrace(closed));
    };
    s_dwMsg = c.dwMsg;
    CallTapi::onEvent = &OnEvent;
    std::thread closer([&] {
      if (!bInside && WaitUntil([&] { return pClosing.load() != nullptr; })) close(pClosing);
    });
    CTSPICallAppearance* pCall = pBase;
    if (c.dwMsg == LINE_CALLSTATE) pBase->ChangeCallState(LINECALLSTATE_ONHOLD);
    if (c.dwMsg == LINE_LINEDEVSTATE) line->ReportLineDevState(LINEDEVSTATE_OTHER, 0, 0);
    if (bNewCall && c.bConsultation) pCall = pBase->MakeConsultationCall(nullptr, 0);
    if (bNewCall && !c.bConsultation) {
      pCall = pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_INBOUND, LINECALLREASON_DIRECT,
                                      0xFFFFFFFF, 0);
    }
    closer.join();
    ASSERT_NE(pCall, nullptr);
    ASSERT_TRUE(closed);
    if (!c.bCloseLine) {
      EXPECT_EQ(pCall->GetCallHandle(), nullptr);
    }
    // One event of each kind the close must have stopped.
    const size_t nBefore = TapiLog::Get().Events().size();
    pCall->ChangeCallState(LINECALLSTATE_PROCEEDING);
    pCall->SetCallID(0x77);
    line->ReportLineDevState(LINEDEVSTATE_REINIT, 0, 0);
    std::vector<LineEvent> after = TapiLog::Get().Events();
    after.erase(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(nBefore));
    std::erase_if(after, [&](const LineEvent& e) { return !c.bCloseLine && e.htCall != htCall; });
    EXPECT_EQ(after.size(), 0u);
  }

  static void OnEvent(HTAPICALL, DWORD dwMsg, DWORD_PTR dwParam1) {
    if (dwMsg == s_dwMsg && !s_bFired.exchange(true)) s_act(dwParam1);
  }
  // The callback's action on the first event s_dwMsg; set before any event can come.
  static inline std::atomic<DWORD> s_dwMsg{0};
  static inline std::atomic<bool> s_bFired{false};
  static inline std::function<void(DWORD_PTR dwParam1)> s_act;
};

TEST_F(CloseTest, ACloseWaitsForTheDeliveryInProgressAndNothingFollows) {
  for (const Case& c : {Case{"a call's state, its call closed", LINE_CALLSTATE, false, false},
                        Case{"a call's state, the line closed", LINE_CALLSTATE, false, true},
                        Case{"a line state, the line closed", LINE_LINEDEVSTATE, false, true},
                        Case{"a new call, closed", LINE_NEWCALL, false, false},
                        Case{"a new call, its line closed", LINE_NEWCALL, false, true},
                        Case{"a consultation call, closed", LINE_NEWCALL, true, false}}) {
    Run(c, false);
  }
}

TEST_F(CloseTest, ACloseFromInsideTheCallbackDoesNotWaitForItselfAndNothingFollows) {
  for (const Case& c : {Case{"a call's state, its call closed", LINE_CALLSTATE, false, false},
                        Case{"a line state, the line closed", LINE_LINEDEVSTATE, false, true},
                        Case{"a new call, closed", LINE_NEWCALL, false, false},
                        Case{"a consultation call, closed", LINE_NEWCALL, true, false}}) {
    Run(c, true);
  }
}

// A call's event is never sent without the call's handle (a handle read once, not checked first
// and read again).
TEST_F(CallTest, ACallsEventIsNotSentWithoutItsHandle) {
  CallTapi::refuseNewCalls = true;  // TAPI takes no interest: the call has no handle
  CTSPICallAppearance* pCall = pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_INBOUND,
                                                       LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
  ASSERT_NE(pCall, nullptr);
  const size_t nBefore = TapiLog::Get().Events().size();
  line->SendLineEvent(pCall, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, 0);
  line->SendLineEvent(pCall, LINE_CALLINFO, LINECALLINFOSTATE_CALLID, 0, 0);
  EXPECT_EQ(TapiLog::Get().Events().size(), nBefore);
}

}  // namespace
}  // namespace fw_test
