// No event after a close: a delivery that is still running when lineClose or lineCloseCall is
// called keeps the close waiting, and nothing is delivered once it has returned; a handle TAPI
// writes in LINE_NEWCALL is not kept when the call was closed meanwhile; a callback may close
// without deadlocking. Each case runs in a child process with a deadline (child_process.h).
#include <gtest/gtest.h>

#include "platform/tspi.h"
#include "tests/framework/call_doubles.h"
#include "tests/framework/child_process.h"

namespace fw_test {
namespace {

// How long a close that must keep waiting is given to return wrongly.
constexpr auto kGrace = std::chrono::milliseconds(100);

template <typename Pred>
bool HappensWithin(std::chrono::milliseconds limit, Pred pred) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// What TAPI's callback does, on the delivering thread, with the first event dwMsg (of the call
// htCall when set, with param1 dwParam1 when set).
struct Hook {
  static inline std::atomic<DWORD> dwMsg{0};
  static inline std::atomic<HTAPICALL> htCall{nullptr};
  static inline std::atomic<DWORD_PTR> dwParam1{kAny};
  static inline std::atomic<bool> fired{false};
  static inline std::function<void(DWORD_PTR dwParam1)> act;  // set before any event can come
  static void OnEvent(HTAPICALL htEventCall, DWORD dwEventMsg, DWORD_PTR dwEventParam1) {
    if (dwEventMsg != dwMsg || (htCall != nullptr && htEventCall != htCall) ||
        (dwParam1 != kAny && dwEventParam1 != dwParam1) || fired.exchange(true)) {
      return;
    }
    act(dwEventParam1);
  }
  static void Set(DWORD dwOnMsg, HTAPICALL htOnCall, DWORD_PTR dwOnParam1,
                  std::function<void(DWORD_PTR)> onEvent) {
    dwMsg = dwOnMsg;
    htCall = htOnCall;
    dwParam1 = dwOnParam1;
    fired = false;
    act = std::move(onEvent);
    CallTapi::onEvent = &OnEvent;
  }
};

// The call tests' fixture, set up in the child.
class CloseTest : public CallTest {
 protected:
  void SetUp() override {}
  void TearDown() override {}
  template <typename Body>
  void InChild(Body body) {
    RunInChild([&] {
      CallTest::SetUp();
      if (line != nullptr && pAddr != nullptr) body();
      CallTest::TearDown();
    });
  }
  HDRVLINE LineHandle() const { return reinterpret_cast<HDRVLINE>(line); }
  // Events that would break the rule once the call (or its line) is closed: one of each kind.
  void TryEvents(TestCall* pCall) {
    pCall->ChangeCallState(LINECALLSTATE_ONHOLD);
    pCall->SetCallID(0x77);
    line->ReportLineDevState(LINEDEVSTATE_REINIT, 0, 0);
  }
  // The events TAPI received after the first n, of the call htCall when it is set.
  static std::vector<LineEvent> EventsSince(size_t n, HTAPICALL htCall = nullptr) {
    std::vector<LineEvent> events = TapiLog::Get().Events();
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(n));
    if (htCall != nullptr) {
      std::erase_if(events, [htCall](const LineEvent& event) { return event.htCall != htCall; });
    }
    return events;
  }
};

// A delivery blocks inside TAPI's callback while another thread closes: the close returns only
// after the delivery ended, and no event follows it.
TEST_F(CloseTest, ACloseWaitsForTheDeliveryInProgressAndNothingFollows) {
  struct Row {
    const char* name;
    bool bLineEvent;  // else the call's LINE_CALLSTATE
    bool bCloseLine;  // else the call
  };
  for (const Row& row : {Row{"a call's state, its call closed", false, false},
                         Row{"a call's state, the line closed", false, true},
                         Row{"a line state, the line closed", true, true}}) {
    SCOPED_TRACE(row.name);
    InChild([&] {
      TestCall* pCall = NewCall(0xA01, LINECALLSTATE_DIALING);
      ASSERT_NE(pCall, nullptr);
      std::atomic<bool> entered{false}, release{false}, closed{false};
      auto block = [&](DWORD_PTR) {
        entered = true;
        WaitUntil([&] { return release.load(); });
      };
      if (row.bLineEvent) {
        Hook::Set(LINE_LINEDEVSTATE, nullptr, LINEDEVSTATE_OTHER, block);
      } else {
        Hook::Set(LINE_CALLSTATE, Handle(0xA01), LINECALLSTATE_CONNECTED, block);
      }
      std::thread deliverer([&] {
        if (row.bLineEvent) {
          line->ReportLineDevState(LINEDEVSTATE_OTHER, 0, 0);
        } else {
          pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
        }
      });
      ASSERT_TRUE(WaitUntil([&] { return entered.load(); }));
      std::thread closer([&] {
        if (row.bCloseLine) {
          EXPECT_EQ(TSPI_lineClose(LineHandle()), 0);
        } else {
          EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(pCall)), 0);
        }
        closed = true;
      });
      // The close has forgotten TAPI's handle; it must not return before the delivery ends.
      EXPECT_TRUE(WaitUntil([&] {
        return row.bCloseLine ? !line->IsOpen() : pCall->GetCallHandle() == nullptr;
      }));
      EXPECT_FALSE(HappensWithin(kGrace, [&] { return closed.load(); }));
      release = true;
      closer.join();
      deliverer.join();
      const size_t nBefore = TapiLog::Get().Events().size();
      TryEvents(pCall);
      EXPECT_EQ(EventsSince(nBefore, row.bCloseLine ? nullptr : Handle(0xA01)).size(), 0u);
    });
  }
}

// LINE_NEWCALL is an event of the new call: a close of that call made while TAPI's callback runs
// (inside it, or on another thread meanwhile), or of its line, wins over the handle TAPI writes,
// which is never stored, and no event of the call follows.
TEST_F(CloseTest, AHandleWrittenInLineNewCallIsNotKeptWhenTheCallWasClosedMeanwhile) {
  struct Row {
    const char* name;
    bool bConsultation;  // else an address's new call
    bool bFromInside;    // else from another thread
    bool bCloseLine;     // else the call
  };
  for (const Row& row : {Row{"a new call, closed inside", false, true, false},
                         Row{"a new call, closed meanwhile", false, false, false},
                         Row{"a new call, its line closed meanwhile", false, false, true},
                         Row{"a consultation call, closed inside", true, true, false},
                         Row{"a consultation call, closed meanwhile", true, false, false}}) {
    SCOPED_TRACE(row.name);
    InChild([&] {
      TestCall* pBase = row.bConsultation ? NewCall(0xB01, LINECALLSTATE_CONNECTED) : nullptr;
      const HTAPICALL htWritten = Handle(CallTapi::nextHandle.load());
      std::atomic<bool> entered{false}, closed{false};
      std::atomic<DWORD_PTR> hdCall{0};
      Hook::Set(LINE_NEWCALL, nullptr, kAny, [&](DWORD_PTR dwCall) {
        if (row.bFromInside) {
          EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(dwCall)), 0);
          return;
        }
        hdCall = dwCall;
        entered = true;
        // The close from the other thread must not end while this delivery runs.
        EXPECT_FALSE(HappensWithin(kGrace, [&] { return closed.load(); }));
      });
      std::thread closer([&] {
        if (row.bFromInside) return;
        WaitUntil([&] { return entered.load(); });
        if (row.bCloseLine) {
          EXPECT_EQ(TSPI_lineClose(LineHandle()), 0);
        } else {
          EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(hdCall.load())), 0);
        }
        closed = true;
      });
      CTSPICallAppearance* pCall =
          row.bConsultation ? pBase->MakeConsultationCall(nullptr, 0)
                            : pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_INBOUND,
                                                      LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
      closer.join();
      ASSERT_NE(pCall, nullptr);
      EXPECT_TRUE(Hook::fired);
      EXPECT_EQ(pCall->GetCallHandle(), nullptr);
      pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
      pCall->SetCallID(0x78);
      EXPECT_EQ(EventsOf(htWritten), std::vector<CallEvent>{});
    });
  }
}

// TAPI's callback closes what its event is about, on the delivering thread: the close does not
// wait for the delivery it runs in (no deadlock), and nothing follows once it returned.
TEST_F(CloseTest, ACallbackThatClosesDoesNotWaitForItselfAndNothingFollows) {
  for (const bool bCloseLine : {false, true}) {
    SCOPED_TRACE(bCloseLine ? "the line, from a line state" : "the call, from its state");
    InChild([&] {
      TestCall* pCall = NewCall(0xC01, LINECALLSTATE_DIALING);
      ASSERT_NE(pCall, nullptr);
      if (bCloseLine) {
        Hook::Set(LINE_LINEDEVSTATE, nullptr, LINEDEVSTATE_OTHER, [this](DWORD_PTR) {
          EXPECT_EQ(TSPI_lineClose(LineHandle()), 0);
        });
        line->ReportLineDevState(LINEDEVSTATE_OTHER, 0, 0);
        EXPECT_FALSE(line->IsOpen());
      } else {
        Hook::Set(LINE_CALLSTATE, Handle(0xC01), LINECALLSTATE_CONNECTED, [pCall](DWORD_PTR) {
          EXPECT_EQ(TSPI_lineCloseCall(reinterpret_cast<HDRVCALL>(pCall)), 0);
        });
        pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
        EXPECT_EQ(pCall->GetCallHandle(), nullptr);
      }
      EXPECT_TRUE(Hook::fired);
      const size_t nBefore = TapiLog::Get().Events().size();
      TryEvents(pCall);
      EXPECT_EQ(EventsSince(nBefore, bCloseLine ? nullptr : Handle(0xC01)).size(), 0u);
    });
  }
}

// A call's event is never sent without the call's handle (a handle read once, not checked first
// and read again).
TEST_F(CallTest, ACallsEventIsNotSentWithoutItsHandle) {
  CallTapi::refuseNewCalls = true;  // TAPI takes no interest: the call has no handle
  CTSPICallAppearance* pCall = pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_INBOUND,
                                                       LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
  ASSERT_NE(pCall, nullptr);
  ASSERT_EQ(pCall->GetCallHandle(), nullptr);
  const size_t nBefore = TapiLog::Get().Events().size();
  line->SendLineEvent(pCall, LINE_CALLSTATE, LINECALLSTATE_OFFERING, 0, 0);
  line->SendLineEvent(pCall, LINE_CALLINFO, LINECALLINFOSTATE_CALLID, 0, 0);
  EXPECT_EQ(TapiLog::Get().Events().size(), nBefore);
}

}  // namespace
}  // namespace fw_test
