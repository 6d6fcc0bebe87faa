// What TAPI sees of a state change: one LINE_CALLSTATE per change, sent once the features of the
// new state are stored (also when the address or line was busy, and for a member that its
// conference takes in), in the order of the changes; and the "changing state" mark, which stays
// set while any change of the call is in progress.
#include <gtest/gtest.h>

#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

// The call whose LINE_CALLSTATE events the callback looks at, and what it saw.
struct Watch {
  static inline CTSPICallAppearance* pCall = nullptr;
  static inline std::vector<std::pair<DWORD_PTR, DWORD>> seen;  // state, features at the event
  static void OnEvent(HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1) {
    if (pCall == nullptr || htCall != pCall->GetCallHandle() || dwMsg != LINE_CALLSTATE) return;
    seen.emplace_back(dwParam1, pCall->GetCallFeatures());
  }
  static void Start(CTSPICallAppearance* pWatched) {
    pCall = pWatched;
    seen.clear();
    CallTapi::onEvent = &OnEvent;
  }
};

std::vector<DWORD_PTR> StatesSeen() {
  std::vector<DWORD_PTR> states;
  for (const auto& [dwState, dwFeatures] : Watch::seen) states.push_back(dwState);
  return states;
}

// The line's lock is held by another thread while an offered call is answered: the change only
// tries it, so CONNECTED's features wait for it; TAPI hears CONNECTED once, after they are stored.
TEST_F(CallTest, AStateIsReportedOnceWithItsOwnFeaturesWhenTheLineWasBusy) {
  TestCall* pCall = NewCall(0xD01, LINECALLSTATE_OFFERING);
  ASSERT_NE(pCall->GetCallFeatures() & LINECALLFEATURE_ANSWER, 0u);
  Watch::Start(pCall);
  LockHolder busyLine(line->GetSyncObject());
  auto change =
      std::async(std::launch::async, [&] { pCall->ChangeCallState(LINECALLSTATE_CONNECTED); });
  ASSERT_TRUE(WaitUntil([&] { return StateStoredAndCallFree(pCall, LINECALLSTATE_CONNECTED); }));
  busyLine.Release();
  change.get();

  const DWORD dwFeatures = pCall->GetCallFeatures();
  EXPECT_EQ(dwFeatures & LINECALLFEATURE_ANSWER, 0u);
  EXPECT_NE(dwFeatures & LINECALLFEATURE_SETUPCONF, 0u);
  ASSERT_EQ(StatesSeen(), std::vector<DWORD_PTR>{LINECALLSTATE_CONNECTED});
  EXPECT_EQ(Watch::seen[0].second, dwFeatures);
}

// Two changes of one call on two threads while the line is busy: each is told once, in the order
// they were made, and the call ends with the features of its last state.
TEST_F(CallTest, ChangesHeldBackByABusyLineAreToldOnceInTheirOrder) {
  TestCall* pCall = NewCall(0xD05, LINECALLSTATE_OFFERING);
  Watch::Start(pCall);
  LockHolder busyLine(line->GetSyncObject());
  std::vector<std::future<void>> changes;
  for (DWORD dwState : {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}) {
    changes.push_back(
        std::async(std::launch::async, [pCall, dwState] { pCall->ChangeCallState(dwState); }));
    ASSERT_TRUE(WaitUntil([&] { return StateStoredAndCallFree(pCall, dwState); }));
  }
  busyLine.Release();
  for (auto& change : changes) change.get();

  EXPECT_EQ(StatesSeen(), (std::vector<DWORD_PTR>{LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}));
  const DWORD dwFeatures = pCall->GetCallFeatures();
  EXPECT_NE(dwFeatures & LINECALLFEATURE_UNHOLD, 0u);
  EXPECT_EQ(dwFeatures & LINECALLFEATURE_ANSWER, 0u);
  EXPECT_EQ(pCall->GetFlags() & CALLFLAG_INSTATECHANGE, 0u);
}

// A consultation call that its conference takes in: its CONFERENCED goes out after the conference
// listed it, so it already offers REMOVEFROMCONF.
TEST_F(CallTest, AJoiningMemberIsReportedWithTheFeaturesItsConferenceGaveIt) {
  pAddr->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
    caps.dwRemoveFromConfCaps = LINEREMOVEFROMCONF_ANY;
  });
  AnswerConferenceSetUps(LINECALLSTATE_CONNECTED);
  AnswerAddsByJoining();
  CTSPIConferenceCall* pConf = nullptr;
  CTSPICallAppearance* pConsult = nullptr;
  SetUpConference(51, NewCall(0xD11, LINECALLSTATE_CONNECTED), pConf, pConsult);
  if (HasFatalFailure()) return;

  Watch::Start(pConsult);
  ASSERT_EQ(AddToConference(52, pConf, pConsult), 52);
  ASSERT_TRUE(pConf->IsConferenceMember(pConsult));
  ASSERT_EQ(StatesSeen(), std::vector<DWORD_PTR>{LINECALLSTATE_CONFERENCED});
  EXPECT_NE(Watch::seen[0].second & LINECALLFEATURE_REMOVEFROMCONF, 0u);
  EXPECT_EQ(Watch::seen[0].second, pConsult->GetCallFeatures());
  EXPECT_EQ(EventsOf(pConsult->GetCallHandle()).back(),
            (CallEvent{LINE_CALLSTATE, LINECALLSTATE_CONFERENCED,
                       reinterpret_cast<DWORD_PTR>(pConf->GetCallHandle())}));
}

// A second change of the call starts while TAPI is being told of the first (here from TAPI's
// callback, as another thread could): the mark stays set until both are done, and TAPI hears the
// two states in the order they were made.
TEST_F(CallTest, TheChangingStateMarkCountsOverlappingChanges) {
  TestCall* pCall = NewCall(0xD21, LINECALLSTATE_DIALTONE);
  static DWORD s_dwMarkAfterInner;
  static bool s_bInnerDone;
  s_dwMarkAfterInner = 0;
  s_bInnerDone = false;
  Watch::Start(pCall);
  CallTapi::onEvent = [](HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1) {
    Watch::OnEvent(htCall, dwMsg, dwParam1);
    if (htCall != Watch::pCall->GetCallHandle() || dwMsg != LINE_CALLSTATE ||
        dwParam1 != LINECALLSTATE_CONNECTED || s_bInnerDone) {
      return;
    }
    s_bInnerDone = true;
    Watch::pCall->ChangeCallState(LINECALLSTATE_ONHOLD);
    s_dwMarkAfterInner = Watch::pCall->GetFlags() & CALLFLAG_INSTATECHANGE;
  };
  pCall->ChangeCallState(LINECALLSTATE_CONNECTED);

  ASSERT_TRUE(s_bInnerDone);
  EXPECT_EQ(s_dwMarkAfterInner, CALLFLAG_INSTATECHANGE);  // the outer change was still running
  EXPECT_EQ(pCall->GetFlags() & CALLFLAG_INSTATECHANGE, 0u);
  EXPECT_EQ(StatesSeen(), (std::vector<DWORD_PTR>{LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}));
  EXPECT_EQ(pCall->GetCallState(), static_cast<DWORD>(LINECALLSTATE_ONHOLD));
  // The held call's own features, as any later change will see them.
  EXPECT_NE(pCall->GetCallFeatures() & LINECALLFEATURE_UNHOLD, 0u);
}

// A hook that throws out of a state change (a partner's notice, TAPI's callback, a hook under the
// call's lock) leaves nothing held: the change's event still goes out, the mark is cleared, the
// references of the change and of the notice are let go and the call's next change is reported.
std::atomic<int> g_throws{0};
void ThrowOnce() {
  if (g_throws.exchange(0) != 0) throw std::runtime_error("hook");
}

TEST_F(CallTest, AStateChangeThatThrowsLetsGoOfWhatItHeld) {
  struct Case {
    const char* name;
    void (*arm)();
    DWORD dwThrowingState;
    std::vector<DWORD_PTR> expected;  // states TAPI hears through the next change
  };
  const Case cases[] = {
      {"partner's notice",
       [] { TestCall::s_onPartnerChange = [](CTSPICallAppearance*) { ThrowOnce(); }; },
       LINECALLSTATE_CONNECTED,
       {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}},
      {"TAPI's callback",
       [] {
         CallTapi::onEvent = [](HTAPICALL htCall, DWORD dwMsg, DWORD_PTR dwParam1) {
           Watch::OnEvent(htCall, dwMsg, dwParam1);
           if (htCall == Watch::pCall->GetCallHandle() && dwMsg == LINE_CALLSTATE) ThrowOnce();
         };
       },
       LINECALLSTATE_CONNECTED,
       {LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLD}},
      {"under the call's lock",
       [] { TestCall::s_onIdle = [](CTSPICallAppearance*) { ThrowOnce(); }; },
       LINECALLSTATE_IDLE,
       {}},
  };
  ULONGLONG ullHandle = 0xD31;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestCall* pCall = NewCall(ullHandle++, LINECALLSTATE_DIALTONE);
    TestCall* pPartner = NewCall(ullHandle++, LINECALLSTATE_ONHOLD);
    pCall->SetRelatedCall(pPartner);
    Watch::Start(pCall);
    c.arm();
    g_throws = 1;
    const LONG lRefs = pCall->GetRefCount();
    const LONG lPartnerRefs = pPartner->GetRefCount();
    EXPECT_THROW(pCall->ChangeCallState(c.dwThrowingState), std::runtime_error);
    EXPECT_EQ(g_throws.load(), 0);
    EXPECT_EQ(pCall->GetFlags() & CALLFLAG_INSTATECHANGE, 0u);
    EXPECT_EQ(pCall->GetRefCount(), lRefs);
    EXPECT_EQ(pPartner->GetRefCount(), lPartnerRefs);  // the notice's reference, too
    if (c.dwThrowingState != LINECALLSTATE_IDLE) pCall->ChangeCallState(LINECALLSTATE_ONHOLD);
    EXPECT_EQ(StatesSeen(), c.expected);
    EXPECT_EQ(pCall->GetFlags() & CALLFLAG_INSTATECHANGE, 0u);
    TestCall::s_onPartnerChange = nullptr;
    TestCall::s_onIdle = nullptr;
  }
}

}  // namespace
}  // namespace fw_test
