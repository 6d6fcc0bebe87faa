// The timer thread's passes over the calls with timers: a pass and a thread that holds a line
// lock while it frees a call never wait for each other, a pass keeps each call alive while it
// serves it, and it removes only the calls that asked to leave.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "framework/base_object.h"
#include "framework/provider_seams.h"
#include "framework/request_seams.h"
#include "tests/framework/framework_doubles.h"

namespace {

using fw_test::WaitUntil;

// Far longer than any pass needs; it only ends a wait that would otherwise never end.
constexpr DWORD kDeadlockBreakMsec = 5000;

// A call as the timer thread sees it: counted references, the last release frees it (marks it
// freed; the memory stays for the checks), and its timer service runs onServe (default: nothing
// left to time).
struct TimedCall {
  static constexpr int kAlive = 0x7117;
  int canary = kAlive;
  std::atomic<int> refs{1};  // the address's
  std::atomic<int> frees{0};
  std::atomic<int> served{0};
  std::atomic<int> servedWhenFreed{0};
  std::function<BOOL()> onServe;

  CTSPICallAppearance* Ptr() { return reinterpret_cast<CTSPICallAppearance*>(this); }
  static TimedCall* From(CTSPICallAppearance* p) { return reinterpret_cast<TimedCall*>(p); }

  static void AddRef(CTSPICallAppearance* p) { ++From(p)->refs; }
  static void Release(CTSPICallAppearance* p) {
    TimedCall* pCall = From(p);
    if (--pCall->refs != 0) return;
    ++pCall->frees;
    pCall->canary = 0;
  }
  static BOOL Serve(CTSPICallAppearance* p) {
    TimedCall* pCall = From(p);
    ++pCall->served;
    const BOOL bDone = pCall->onServe ? pCall->onServe() : TRUE;
    if (pCall->frees.load() != 0 || pCall->canary != kAlive) ++pCall->servedWhenFreed;
    return bDone;
  }
};

// The provider with its timer pass in reach of the test.
class PassProvider : public fw_test::TestProvider {
 public:
  using CServiceProvider::ServiceTimedCalls;
};

class TimedCallsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GetTSPIRequestSeams().pfnCallAddRef = &TimedCall::AddRef;
    GetTSPIRequestSeams().pfnCallRelease = &TimedCall::Release;
    GetTSPIProviderSeams().pfnServiceCallTimers = &TimedCall::Serve;
  }
  void TearDown() override {
    GetTSPIRequestSeams() = TSPIRequestSeams{};
    GetTSPIProviderSeams() = TSPIProviderSeams{};
  }

  PassProvider sp;
};

TEST_F(TimedCallsTest, APassAndALineHolderThatFreesACallNeverWaitForEachOther) {
  CTSPIBaseObject line;  // the line whose lock the call's line event needs
  TimedCall call;
  std::atomic<bool> serving{false};
  std::atomic<int> gotLine{-1};
  call.onServe = [&] {
    serving = true;
    CSingleLock lock(line.GetSyncObject());
    gotLine = lock.Lock(kDeadlockBreakMsec) ? 1 : 0;
    return TRUE;
  };
  sp.RegisterTimedCall(call.Ptr());

  CSingleLock lineLock(line.GetSyncObject(), TRUE);
  std::thread timer([&] { sp.ServiceTimedCalls(); });
  EXPECT_TRUE(WaitUntil([&] { return serving.load(); }));
  // Holding the line, this thread frees the call: it leaves the list and loses its last
  // reference but the pass's.
  sp.UnregisterTimedCall(call.Ptr());
  TimedCall::Release(call.Ptr());
  EXPECT_EQ(call.frees.load(), 0) << "freed while the pass serves it";
  lineLock.Unlock();
  timer.join();

  EXPECT_EQ(gotLine.load(), 1) << "the pass and the line holder waited for each other";
  EXPECT_EQ(call.servedWhenFreed.load(), 0);
  EXPECT_EQ(call.frees.load(), 1);  // the pass let go last
  EXPECT_FALSE(sp.IsTimedCall(call.Ptr()));
}

enum class WhileServed { kNothing, kRegister, kLeaveAndComeBack, kLeave, kAnotherRegisters };

struct PassCase {
  const char* name;
  BOOL bDone;  // the service's answer: nothing left to time
  WhileServed action;
  bool bStaysRegistered;
};

const PassCase kPassCases[] = {
    {"nothing left", TRUE, WhileServed::kNothing, false},
    {"still timing", FALSE, WhileServed::kNothing, true},
    {"nothing left, but registered again while served", TRUE, WhileServed::kRegister, true},
    {"nothing left, left and came back while served", TRUE, WhileServed::kLeaveAndComeBack, true},
    {"still timing, but left while served", FALSE, WhileServed::kLeave, false},
    {"nothing left, while another call registers", TRUE, WhileServed::kAnotherRegisters, false},
};

TEST_F(TimedCallsTest, APassRemovesOnlyTheCallsThatAskedToLeave) {
  for (const PassCase& c : kPassCases) {
    SCOPED_TRACE(c.name);
    TimedCall before;  // served ahead of the call, stays
    TimedCall call;
    TimedCall after;  // served after it, stays
    TimedCall newcomer;
    before.onServe = after.onServe = [] { return FALSE; };
    call.onServe = [&] {
      switch (c.action) {
        case WhileServed::kNothing:
          break;
        case WhileServed::kRegister:
          sp.RegisterTimedCall(call.Ptr());
          break;
        case WhileServed::kLeaveAndComeBack:
          sp.UnregisterTimedCall(call.Ptr());
          sp.RegisterTimedCall(call.Ptr());
          break;
        case WhileServed::kLeave:
          sp.UnregisterTimedCall(call.Ptr());
          break;
        case WhileServed::kAnotherRegisters:
          sp.RegisterTimedCall(newcomer.Ptr());
          break;
      }
      return c.bDone;
    };
    sp.RegisterTimedCall(before.Ptr());
    sp.RegisterTimedCall(call.Ptr());
    sp.RegisterTimedCall(after.Ptr());

    sp.ServiceTimedCalls();

    EXPECT_EQ(sp.IsTimedCall(call.Ptr()) != FALSE, c.bStaysRegistered);
    EXPECT_TRUE(sp.IsTimedCall(before.Ptr()));
    EXPECT_TRUE(sp.IsTimedCall(after.Ptr()));
    EXPECT_EQ(sp.IsTimedCall(newcomer.Ptr()) != FALSE, c.action == WhileServed::kAnotherRegisters);
    EXPECT_EQ(before.served.load() + call.served.load() + after.served.load(), 3);
    for (TimedCall* p : {&before, &call, &after, &newcomer}) {
      EXPECT_EQ(p->refs.load(), 1) << "a reference of the pass was kept or lost";
      sp.UnregisterTimedCall(p->Ptr());
    }
  }
}

TEST_F(TimedCallsTest, ACallFreedAtOnceAfterLeavingIsNeverServedAfterwards) {
  sp.SetTimerTick(1);
  DWORD dwOptions = 0;
  ASSERT_EQ(sp.providerInit(0x00020001, 1, 0, 0, 1, 0, nullptr, &dwOptions), 0);
  std::vector<std::unique_ptr<TimedCall>> calls;
  for (int i = 0; i < 100; ++i) {
    calls.push_back(std::make_unique<TimedCall>());
    TimedCall* pCall = calls.back().get();
    pCall->onServe = [] {
      Sleep(1);  // the call is freed while it is served, if ever
      return FALSE;
    };
    sp.RegisterTimedCall(pCall->Ptr());
    ASSERT_TRUE(WaitUntil([&] { return pCall->served.load() >= 1; }));
    sp.UnregisterTimedCall(pCall->Ptr());
    TimedCall::Release(pCall->Ptr());  // the last reference, unless a pass still serves it
  }
  sp.providerShutdown(0x00020001, sp.FindDeviceByProviderID(1));
  for (const auto& pCall : calls) {
    EXPECT_EQ(pCall->servedWhenFreed.load(), 0);
    EXPECT_EQ(pCall->frees.load(), 1);
  }
}

}  // namespace
