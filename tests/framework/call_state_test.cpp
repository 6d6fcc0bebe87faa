// The call-state machine: features per state, IDLE, notifications, the call counters of the
// address and line (also while their locks are busy) and the related-call links.
#include <gtest/gtest.h>

#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

constexpr DWORD kBase = 0xE0687080;  // what every live call may do
constexpr DWORD kMedia = 0x700;      // gather, generate digits and tones
constexpr DWORD kDial = LINECALLFEATURE_DIAL;

struct FeatureRow {
  const char* name;
  DWORD dwState;
  DWORD dwFeatures;  // of a lone call on an address that offers every feature
};

const FeatureRow kFeatureRows[] = {
    {"offering", LINECALLSTATE_OFFERING, kBase | 0x120001 | LINECALLFEATURE_ANSWER},
    {"accepted", LINECALLSTATE_ACCEPTED, kBase | 0x120000 | LINECALLFEATURE_ANSWER},
    {"dialtone", LINECALLSTATE_DIALTONE, kBase | kMedia | kDial},
    {"dialing", LINECALLSTATE_DIALING, kBase | kMedia | kDial},
    {"ringback", LINECALLSTATE_RINGBACK, kBase | kMedia | kDial | 0x100010},
    {"busy", LINECALLSTATE_BUSY, kBase | kMedia | kDial | LINECALLFEATURE_COMPLETECALL},
    {"connected", LINECALLSTATE_CONNECTED,
     kBase | kMedia | kDial | 0x100808 | LINECALLFEATURE_PARK | LINECALLFEATURE_SETUPCONF |
         LINECALLFEATURE_SETUPTRANSFER},
    {"proceeding", LINECALLSTATE_PROCEEDING, kBase | kMedia | kDial | LINECALLFEATURE_HOLD},
    {"onhold", LINECALLSTATE_ONHOLD, kBase | LINECALLFEATURE_UNHOLD},
    {"conferenced", LINECALLSTATE_CONFERENCED, kBase},
    {"onholdpendconf", LINECALLSTATE_ONHOLDPENDCONF, kBase | LINECALLFEATURE_UNHOLD},
    {"onholdpendtransfer", LINECALLSTATE_ONHOLDPENDTRANSFER, kBase | LINECALLFEATURE_UNHOLD},
    {"specialinfo", LINECALLSTATE_SPECIALINFO, kBase},
    {"disconnected", LINECALLSTATE_DISCONNECTED, LINECALLFEATURE_DROP},
    {"idle", LINECALLSTATE_IDLE, 0},
};

TEST_F(CallTest, EachStateOffersItsFeatures) {
  for (const FeatureRow& row : kFeatureRows) {
    SCOPED_TRACE(row.name);
    TestCall* pCall = NewCall(0x700 + row.dwState, row.dwState);
    EXPECT_EQ(pCall->GetCallFeatures(), row.dwFeatures);
    EXPECT_EQ(pCall->GetCallStatusCopy().dwCallFeatures, row.dwFeatures);
    pCall->ChangeCallState(LINECALLSTATE_IDLE);
    pCall->CloseCall();
  }
}

// Features that depend on the line's other calls and the address's capabilities.
struct ContextRow {
  const char* name;
  DWORD dwOtherState;  // another call on the address (0: none)
  DWORD dwCapFlags;    // added to dwAddrCapFlags
  DWORD dwState;
  DWORD dwPresent;  // must be offered
  DWORD dwAbsent;   // must not be
};

const ContextRow kContextRows[] = {
    {"a held call makes a connected one swap", LINECALLSTATE_ONHOLD, 0, LINECALLSTATE_CONNECTED,
     LINECALLFEATURE_SWAPHOLD, LINECALLFEATURE_COMPLETETRANSF},
    {"a call pending transfer lets a connected one complete it", LINECALLSTATE_ONHOLDPENDTRANSFER,
     0, LINECALLSTATE_CONNECTED, LINECALLFEATURE_COMPLETETRANSF | LINECALLFEATURE_SWAPHOLD, 0},
    {"a held call completes a transfer only with TRANSFERHELD", LINECALLSTATE_ONHOLD,
     LINEADDRCAPFLAGS_TRANSFERHELD, LINECALLSTATE_CONNECTED, LINECALLFEATURE_COMPLETETRANSF, 0},
    {"with a call on hold there is no room to set up a transfer", LINECALLSTATE_ONHOLD, 0,
     LINECALLSTATE_CONNECTED, 0, LINECALLFEATURE_SETUPTRANSFER},
    {"an active call lets a held one swap", LINECALLSTATE_CONNECTED, 0, LINECALLSTATE_ONHOLD,
     LINECALLFEATURE_SWAPHOLD, 0},
    {"an active call lets one pending conference add to it", LINECALLSTATE_DIALTONE, 0,
     LINECALLSTATE_ONHOLDPENDCONF, LINECALLFEATURE_SWAPHOLD | LINECALLFEATURE_ADDTOCONF, 0},
    {"a lone held call swaps with nothing", 0, 0, LINECALLSTATE_ONHOLD, 0,
     LINECALLFEATURE_SWAPHOLD},
};

TEST_F(CallTest, FeaturesFollowTheOtherCallsAndTheCapabilities) {
  for (const ContextRow& row : kContextRows) {
    SCOPED_TRACE(row.name);
    pAddr->ChangeAddressCaps([&](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
      caps.dwAddrCapFlags = (0x860 | row.dwCapFlags);
    });
    TestCall* pOther = row.dwOtherState != 0 ? NewCall(0x801, row.dwOtherState) : nullptr;
    TestCall* pCall = NewCall(0x802, row.dwState);
    EXPECT_EQ(pCall->GetCallFeatures() & row.dwPresent, row.dwPresent);
    EXPECT_EQ(pCall->GetCallFeatures() & row.dwAbsent, 0u);
    for (TestCall* p : {pOther, pCall}) {
      if (p == nullptr) continue;
      p->ChangeCallState(LINECALLSTATE_IDLE);
      p->CloseCall();
    }
  }
}

TEST_F(CallTest, AnotherCallsChangeReachesTapiAsARepeatedCallState) {
  // (The features themselves: FeaturesFollowTheOtherCallsAndTheCapabilities.)
  TestCall* pHeld = NewCall(0x811, LINECALLSTATE_ONHOLD);
  TestCall* pActive = NewCall(0x812, LINECALLSTATE_CONNECTED);
  EXPECT_EQ(EventsOf(Handle(0x811)),
            (std::vector<CallEvent>{{LINE_CALLSTATE, LINECALLSTATE_ONHOLD, 0},
                                    {LINE_CALLSTATE, LINECALLSTATE_ONHOLD, 0}}));
  pActive->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_EQ(pHeld->GetCallFeatures() & LINECALLFEATURE_SWAPHOLD, 0u);
}

TEST_F(CallTest, IdleIsFinalAndARepeatWithoutModeSendsNothing) {
  TestCall* pCall = NewCall(0x821, LINECALLSTATE_DIALTONE);
  pCall->ChangeCallState(LINECALLSTATE_DIALTONE);  // nothing new
  pCall->ChangeCallState(LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_SPECIAL);
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_EQ(pCall->GetCallState(), static_cast<DWORD>(LINECALLSTATE_IDLE));
  EXPECT_EQ(
      EventsOf(Handle(0x821)),
      (std::vector<CallEvent>{{LINE_CALLSTATE, LINECALLSTATE_DIALTONE, 0},
                              {LINE_CALLSTATE, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_SPECIAL},
                              {LINE_CALLSTATE, LINECALLSTATE_IDLE, 0}}));
}

TEST_F(CallTest, ACallTapiDoesNotKnowIsNeverReportedAndGoesWhenIdle) {
  CallTapi::refuseNewCalls = true;
  CTSPICallAppearance* pCall = pAddr->FindOrCreateCall(nullptr, 0, LINECALLORIGIN_INBOUND,
                                                       LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
  ASSERT_NE(pCall, nullptr);
  EXPECT_EQ(pCall->GetCallHandle(), nullptr);
  EXPECT_NE(pCall->GetFlags() & CALLFLAG_NEWCALL, 0u);
  pCall->AddRef();
  pCall->ChangeCallState(LINECALLSTATE_OFFERING);
  pCall->SetCallerID(LINECALLPARTYID_ADDRESS, "2000", nullptr);
  EXPECT_EQ(EventsOf(nullptr).size(), 0u);
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_TRUE(pCall->IsDeleted());
  EXPECT_EQ(pAddr->GetCallCount(), 0);
  EXPECT_EQ(pCall->GetRefCount(), 1);  // only ours is left
  pCall->Release();
}

// The address and line counters after each step, and whether the step reported NUMCALLS.
struct CounterStep {
  DWORD dwState;
  DWORD dwActive, dwOnHold;
  bool bReportsNumCalls;
};

TEST_F(CallTest, CountersFollowEveryChangeAndIdleFreesTheAddress) {
  const CounterStep steps[] = {
      {LINECALLSTATE_OFFERING, 1, 0, true}, {LINECALLSTATE_CONNECTED, 1, 0, false},
      {LINECALLSTATE_ONHOLD, 0, 1, true},   {LINECALLSTATE_CONNECTED, 1, 0, true},
      {LINECALLSTATE_IDLE, 0, 0, true},
  };
  TestCall* pCall = NewCall(0x831);
  EXPECT_EQ(CountEvents(LINE_ADDRESSSTATE, 0), 1);  // INUSEONE
  for (const CounterStep& step : steps) {
    SCOPED_TRACE(step.dwState);
    TapiLog::Get().Reset();
    pCall->ChangeCallState(step.dwState);
    const LINEADDRESSSTATUS status = pAddr->GetAddressStatusCopy();
    EXPECT_EQ(status.dwNumActiveCalls, step.dwActive);
    EXPECT_EQ(status.dwNumOnHoldCalls, step.dwOnHold);
    const LINEDEVSTATUS lineStatus = line->GetLineDevStatus();
    EXPECT_EQ(lineStatus.dwNumActiveCalls, step.dwActive);
    EXPECT_EQ(lineStatus.dwNumOnHoldCalls, step.dwOnHold);
    EXPECT_EQ(CountEvents(LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_NUMCALLS),
              step.bReportsNumCalls ? 1 : 0);
  }
  EXPECT_EQ(pAddr->GetAddressStatusCopy().dwNumInUse, 0u);
  EXPECT_EQ(CountEvents(LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_INUSEZERO), 1);
}

// A state change only tries the address's and line's locks. One that finds them busy still
// counts the call once they are free, so that the address offers MAKECALL again afterwards.
TEST_F(CallTest, CountersAreAppliedLaterWhenTheAddressOrLineIsBusy) {
  TestCall* pCall = NewCall(0x841);
  for (CSyncObject* pBusy : {static_cast<CSyncObject*>(pAddr->GetSyncObject()),
                             static_cast<CSyncObject*>(line->GetSyncObject())}) {
    for (DWORD dwState : {LINECALLSTATE_DIALTONE, LINECALLSTATE_CONNECTED}) {
      TapiLog::Get().Reset();
      // Held until the state change has passed its part under the call's lock.
      LockHolder holder(pBusy);
      auto change = std::async(std::launch::async, [&] { pCall->ChangeCallState(dwState); });
      ASSERT_TRUE(WaitUntil([&] { return StateStoredAndCallFree(pCall, dwState); }));
      holder.Release();
      change.get();
      // Told once, when the busy lock was free.
      std::vector<DWORD_PTR> told;
      for (const CallEvent& event : EventsOf(Handle(0x841))) {
        if (event.dwMsg == LINE_CALLSTATE) told.push_back(event.dwParam1);
      }
      EXPECT_EQ(told, std::vector<DWORD_PTR>{dwState});
    }
    EXPECT_EQ(pAddr->GetAddressStatusCopy().dwNumActiveCalls, 1u);
    EXPECT_EQ(line->GetLineDevStatus().dwNumActiveCalls, 1u);
    pCall->ChangeCallState(LINECALLSTATE_ONHOLD);
    EXPECT_EQ(pAddr->GetAddressStatusCopy().dwNumActiveCalls, 0u);
  }
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  const LINEADDRESSSTATUS status = pAddr->GetAddressStatusCopy();
  EXPECT_EQ(status.dwNumActiveCalls + status.dwNumOnHoldCalls, 0u);
  EXPECT_EQ(line->GetActiveCallCount(), 0);
  EXPECT_NE(status.dwAddressFeatures & LINEADDRFEATURE_MAKECALL, 0u);
  EXPECT_NE(line->GetLineDevStatus().dwLineFeatures & LINEFEATURE_MAKECALL, 0u);
}

TEST_F(CallTest, PartyIdentificationsReportOnlyRealChanges) {
  TestCall* pCall = NewCall(0x861);
  pCall->SetCallerID(LINECALLPARTYID_ADDRESS, "5551234", nullptr);
  pCall->SetCallerID(LINECALLPARTYID_ADDRESS, "5551234", nullptr);
  pCall->SetCallerID(LINECALLPARTYID_ADDRESS, "2125551234", nullptr);
  pCall->SetCallerID(LINECALLPARTYID_ADDRESS, "2125551234", nullptr);  // stored formatted
  pCall->SetCalledID(LINECALLPARTYID_ADDRESS | LINECALLPARTYID_NAME, "", "Ann");
  const LINECALLINFO info = pCall->GetCallInfoCopy();
  EXPECT_EQ(info.dwCalledIDFlags, static_cast<DWORD>(LINECALLPARTYID_NAME));
  EXPECT_EQ(pCall->GetCallerIDInfo().strPartyId, CString("+1 (212) 5551234"));
  const std::vector<CallEvent> events = EventsOf(Handle(0x861));
  EXPECT_EQ(std::ranges::count(events, CallEvent{LINE_CALLINFO, LINECALLINFOSTATE_CALLERID, 0}), 3);
}

}  // namespace
}  // namespace fw_test
