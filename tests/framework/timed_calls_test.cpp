// The timer thread's passes over the calls with timers: a pass and a thread that holds a line
// lock while it frees a call never wait for each other, a pass keeps each call alive while it
// serves it, and it removes only the calls that asked to leave. The calls are a subclass whose
// timer service the tests script.
#include <gtest/gtest.h>

#include <memory>

#include "framework/base_object.h"
#include "tests/framework/framework_doubles.h"

namespace {

using fw_test::WaitUntil;

// Far longer than any pass needs; it only ends a wait that would otherwise never end.
constexpr DWORD kDeadlockBreakMsec = 5000;

// What a test sees of a call, also after the call is gone.
struct CallState {
  std::atomic<int> served{0};
  std::atomic<int> frees{0};
  std::function<BOOL()> onServe;  // default: nothing left to time
};

// A call whose timer service runs its state's onServe and counts, and whose destruction is seen.
class TimedCall : public CTSPICallAppearance {
  DECLARE_DYNCREATE(TimedCall)
 public:
  ~TimedCall() override { ++state->frees; }
  BOOL ServiceCallTimers() override {
    ++state->served;
    return state->onServe ? state->onServe() : TRUE;
  }
  std::shared_ptr<CallState> state = std::make_shared<CallState>();
};
IMPLEMENT_DYNCREATE(TimedCall, CTSPICallAppearance)

TimedCall* NewTimedCall() {
  return static_cast<TimedCall*>(RUNTIME_CLASS(TimedCall)->CreateObject());
}

// The provider with its timer pass in reach of the test.
class PassProvider : public fw_test::TestProvider {
 public:
  using CServiceProvider::ServiceTimedCalls;
};

class TimedCallsTest : public ::testing::Test {
 protected:
  PassProvider sp;
};

TEST_F(TimedCallsTest, APassAndALineHolderThatFreesACallNeverWaitForEachOther) {
  CTSPIBaseObject line;  // the line whose lock the call's line event needs
  TimedCall* pCall = NewTimedCall();
  std::shared_ptr<CallState> state = pCall->state;
  std::atomic<bool> serving{false};
  std::atomic<int> gotLine{-1};
  state->onServe = [&] {
    serving = true;
    CSingleLock lock(line.GetSyncObject());
    gotLine = lock.Lock(kDeadlockBreakMsec) ? 1 : 0;
    return TRUE;
  };
  sp.RegisterTimedCall(pCall);

  CSingleLock lineLock(line.GetSyncObject(), TRUE);
  std::thread timer([&] { sp.ServiceTimedCalls(); });
  EXPECT_TRUE(WaitUntil([&] { return serving.load(); }));
  // Holding the line, this thread frees the call: it leaves the list and loses its last
  // reference but the pass's.
  sp.UnregisterTimedCall(pCall);
  pCall->Release();
  EXPECT_EQ(state->frees.load(), 0) << "freed while the pass serves it";
  lineLock.Unlock();
  timer.join();

  EXPECT_EQ(gotLine.load(), 1) << "the pass and the line holder waited for each other";
  EXPECT_EQ(state->frees.load(), 1);  // the pass let go last
  EXPECT_EQ(sp.GetTimedCallCount(), 0);
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
    TimedCall* before = NewTimedCall();  // served ahead of the call, stays
    TimedCall* call = NewTimedCall();
    TimedCall* after = NewTimedCall();  // served after it, stays
    TimedCall* newcomer = NewTimedCall();
    before->state->onServe = after->state->onServe = [] { return FALSE; };
    call->state->onServe = [&] {
      switch (c.action) {
        case WhileServed::kNothing:
          break;
        case WhileServed::kRegister:
          sp.RegisterTimedCall(call);
          break;
        case WhileServed::kLeaveAndComeBack:
          sp.UnregisterTimedCall(call);
          sp.RegisterTimedCall(call);
          break;
        case WhileServed::kLeave:
          sp.UnregisterTimedCall(call);
          break;
        case WhileServed::kAnotherRegisters:
          sp.RegisterTimedCall(newcomer);
          break;
      }
      return c.bDone;
    };
    sp.UnregisterTimedCall(newcomer);  // not in the list: nothing happens
    sp.RegisterTimedCall(before);
    sp.RegisterTimedCall(call);
    sp.RegisterTimedCall(call);  // one entry: a single leave ends it
    sp.RegisterTimedCall(after);

    sp.ServiceTimedCalls();
    EXPECT_EQ(sp.GetTimedCallCount(),
              2 + c.bStaysRegistered + (c.action == WhileServed::kAnotherRegisters));

    EXPECT_EQ(sp.IsTimedCall(call) != FALSE, c.bStaysRegistered);
    EXPECT_TRUE(sp.IsTimedCall(before));
    EXPECT_TRUE(sp.IsTimedCall(after));
    EXPECT_EQ(sp.IsTimedCall(newcomer) != FALSE, c.action == WhileServed::kAnotherRegisters);
    EXPECT_EQ(before->state->served + call->state->served + after->state->served, 3);
    for (TimedCall* p : {before, call, after, newcomer}) {
      EXPECT_EQ(p->GetRefCount(), 1) << "a reference of the pass was kept or lost";
      p->Release();  // a call that goes leaves the list
    }
    EXPECT_EQ(sp.GetTimedCallCount(), 0);
  }
}

TEST_F(TimedCallsTest, ACallFreedAtOnceAfterLeavingIsNeverServedAfterwards) {
  sp.SetTimerTick(1);
  DWORD dwOptions = 0;
  ASSERT_EQ(sp.providerInit(0x00020001, 1, 0, 0, 1, 0, nullptr, &dwOptions), 0);
  std::vector<std::shared_ptr<CallState>> states;
  for (int i = 0; i < 100; ++i) {
    TimedCall* pCall = NewTimedCall();
    states.push_back(pCall->state);
    pCall->state->onServe = [] {
      Sleep(1);  // the call is released while it is served, if ever
      return FALSE;
    };
    sp.RegisterTimedCall(pCall);
    CallState& state = *states.back();
    ASSERT_TRUE(WaitUntil([&] { return state.served.load() >= 1; }));
    sp.UnregisterTimedCall(pCall);
    pCall->Release();  // the last reference, unless a pass still serves it (ASan sees a misuse)
  }
  sp.providerShutdown(0x00020001, sp.FindDeviceByProviderID(1));
  for (const auto& state : states) EXPECT_EQ(state->frees.load(), 1);
}

}  // namespace
