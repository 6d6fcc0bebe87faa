// The links between calls: a call linked to a new partner lets go of the old one both ways, a call
// that goes leaves no call pointing at it, and a refused or failed add to a conference leaves the
// call free to be added again.
#include <gtest/gtest.h>

#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

// A second transfer set-up on one call: the first consultation call loses its partner (and says
// so), becomes a normal call, and outlives the call it was made for without reading it.
TEST_F(CallTest, ASecondConsultationCallUnlinksTheFirstBothWays) {
  line->Answer(REQUEST_LINESETUPTRANSFER,
               [](Line& l, CTSPIRequest* pReq) { l.CompleteRequest(pReq, 0); });
  TestCall* pCall = NewCall(0xB01, LINECALLSTATE_CONNECTED);
  pCall->SetCallID(0x51);
  auto setUp = [&](DRV_REQUESTID dwID) -> CTSPICallAppearance* {
    auto* pRec = new TSPITRANSFER;
    pRec->pCall = pCall;
    CTSPICallAppearance* pConsult = nullptr;
    EXPECT_EQ(pAddr->SetupTransfer(dwID, pRec, nullptr, &pConsult), static_cast<LONG>(dwID));
    return pConsult;
  };
  CTSPICallAppearance* pFirst = setUp(31);
  ASSERT_NE(pFirst, nullptr);
  pFirst->ChangeCallState(LINECALLSTATE_CONNECTED);
  ASSERT_EQ(pFirst->GetCallInfoCopy().dwRelatedCallID, 0x51u);
  ASSERT_EQ(pFirst->GetCallFeatures() & LINECALLFEATURE_SETUPCONF, 0u);
  CTSPICallAppearance* pSecond = setUp(32);
  ASSERT_NE(pSecond, nullptr);

  EXPECT_EQ(pCall->GetRelatedCall(), pSecond);
  EXPECT_EQ(pSecond->GetRelatedCall(), pCall);
  EXPECT_EQ(pFirst->GetRelatedCall(), nullptr);
  EXPECT_EQ(pFirst->GetCallInfoCopy().dwRelatedCallID, 0u);
  // Reported once: the link itself was made before TAPI knew the call.
  const std::vector<CallEvent> events = EventsOf(pFirst->GetCallHandle());
  EXPECT_EQ(
      std::ranges::count(events, CallEvent{LINE_CALLINFO, LINECALLINFOSTATE_RELATEDCALLID, 0}), 1);
  EXPECT_EQ(pFirst->GetCallType(), CALLTYPE_NORMAL);
  EXPECT_NE(pFirst->GetCallFeatures() & LINECALLFEATURE_SETUPCONF, 0u);
  EXPECT_EQ(pSecond->GetCallType(), CALLTYPE_CONSULTATION);

  // The call goes for good; the first consultation call changes state afterwards.
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  pCall->CloseCall();
  ASSERT_TRUE(TestCall::WasDestroyed(pCall));
  pFirst->ChangeCallState(LINECALLSTATE_DISCONNECTED);
  EXPECT_EQ(pFirst->GetCallState(), static_cast<DWORD>(LINECALLSTATE_DISCONNECTED));
  EXPECT_EQ(pSecond->GetRelatedCall(), nullptr);  // its partner went: a normal call now
  EXPECT_EQ(pSecond->GetCallType(), CALLTYPE_NORMAL);
  TestCall::ForgetDestroyed();
}

// A call still pointing at a call that is removed (a one-way link) is cleared by the removal, and
// no call links to a removed call afterwards.
TEST_F(CallTest, ARemovedCallLeavesNoCallPointingAtIt) {
  TestCall* pGoing = NewCall(0xB11, LINECALLSTATE_CONNECTED);
  TestCall* pOther = NewCall(0xB12, LINECALLSTATE_CONNECTED);
  TestCall* pThird = NewCall(0xB13, LINECALLSTATE_CONNECTED);
  pGoing->SetCallID(0x61);
  pOther->SetRelatedCall(pGoing);
  pThird->SetRelatedCall(pGoing);
  ASSERT_EQ(pOther->GetCallInfoCopy().dwRelatedCallID, 0x61u);

  // Found with a reference of the caller's own.
  const LONG lRefs = pOther->GetRefCount();
  CTSPICallAppearance* pFound = pAddr->FindCallByRelatedCall(pGoing);
  EXPECT_EQ(pFound, pOther);
  EXPECT_EQ(pOther->GetRefCount(), lRefs + 1);
  if (pFound != nullptr) pFound->Release();

  pGoing->AddRef();  // kept, as a request would keep it
  pGoing->ChangeCallState(LINECALLSTATE_IDLE);
  pGoing->CloseCall();
  ASSERT_TRUE(pGoing->IsDeleted());
  for (TestCall* pCall : {pOther, pThird}) {
    EXPECT_EQ(pCall->GetRelatedCall(), nullptr);
    EXPECT_EQ(pCall->GetCallInfoCopy().dwRelatedCallID, 0u);
  }
  pOther->SetRelatedCall(pGoing);
  pGoing->SetRelatedCall(pOther);
  EXPECT_EQ(pOther->GetRelatedCall(), nullptr);
  EXPECT_EQ(pGoing->GetRelatedCall(), nullptr);
  pGoing->Release();
}
// A call is marked deleted before its links are cleared, whichever way it goes (removed from
// its address, or ended with it), so that a link made meanwhile to it is refused.
TEST_F(CallTest, ACallIsMarkedDeletedBeforeItsLinksAreCleared) {
  static std::vector<bool> s_deletedAtDetach;
  s_deletedAtDetach.clear();
  TestCall::s_onDetach = [](CTSPICallAppearance* p) {
    s_deletedAtDetach.push_back(p->IsDeleted());
  };
  TestCall* pRemoved = NewCall(0xB61, LINECALLSTATE_CONNECTED);
  NewCall(0xB62, LINECALLSTATE_CONNECTED);  // still listed when its address ends
  pAddr->RemoveCall(pRemoved);
  sp.providerShutdown(0x00020001, sp.FindDeviceByProviderID(kProviderID));
  EXPECT_EQ(s_deletedAtDetach, (std::vector<bool>{true, true}));
}

// A partner link is cleared only where it still names the call letting go: a partner that has
// moved on to a third call keeps that link.
TEST_F(CallTest, LettingGoOfAPartnerKeepsThePartnersNewLink) {
  CTSPIConferenceCall* pConf = pAddr->FindOrCreateConferenceCall(Handle(0xB71));
  ASSERT_NE(pConf, nullptr);
  pConf->ChangeCallState(LINECALLSTATE_CONNECTED);
  struct Case {
    const char* name;
    bool bFromConference;
    void (*letGo)(CTSPICallAppearance* pFrom, CTSPICallAppearance* pPartner);
  };
  const Case cases[] = {
      {"consultation link cleared", false,
       [](CTSPICallAppearance* pFrom, CTSPICallAppearance*) {
         pFrom->SetConsultationCall(nullptr);
       }},
      {"conference takes its partner in", true,
       [](CTSPICallAppearance* pFrom, CTSPICallAppearance* pPartner) {
         static_cast<CTSPIConferenceCall*>(pFrom)->AddMember(pPartner);
       }},
      {"conference's partner goes idle", true,
       [](CTSPICallAppearance* pFrom, CTSPICallAppearance* pPartner) {
         pFrom->OnRelatedCallStateChange(pPartner, LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED);
       }},
  };
  ULONGLONG ullHandle = 0xB72;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CTSPICallAppearance* pFrom =
        c.bFromConference ? pConf : NewCall(ullHandle++, LINECALLSTATE_CONNECTED)->Ptr();
    TestCall* pPartner = NewCall(ullHandle++, LINECALLSTATE_CONFERENCED);
    TestCall* pThird = NewCall(ullHandle++, LINECALLSTATE_CONNECTED);
    pFrom->SetRelatedCall(pPartner);
    pPartner->SetRelatedCall(pThird);  // moved on
    c.letGo(pFrom, pPartner);
    EXPECT_EQ(pFrom->GetRelatedCall(), nullptr);
    EXPECT_EQ(pPartner->GetRelatedCall(), pThird);
  }
}

// A conference waiting for its consultation call, set up through the address.
class AddToConferenceTest : public CallTest {
 protected:
  void SetUp() override {
    CallTest::SetUp();
    AnswerConferenceSetUps(LINECALLSTATE_CONNECTED);
    pFirst = NewCall(0xC01, LINECALLSTATE_CONNECTED);
    SetUpConference(41, pFirst, pConf, pConsult);
  }
  LONG Add(DRV_REQUESTID dwID) { return AddToConference(dwID, pConf, pConsult); }
  DWORD ConsultFeatures() {
    // Recomputed as any other call's change would.
    pConsult->ComputeCallFeatures(pConsult->GetCallState(), 0, 0);
    return pConsult->GetCallFeatures();
  }

  TestCall* pFirst = nullptr;
  CTSPIConferenceCall* pConf = nullptr;
  CTSPICallAppearance* pConsult = nullptr;
};

TEST_F(AddToConferenceTest, ARefusedOrFailedAddLeavesTheCallFreeToBeAddedAgain) {
  ASSERT_NE(ConsultFeatures() & LINECALLFEATURE_ADDTOCONF, 0u);

  sp.refuseRequests = true;
  EXPECT_EQ(Add(42), LINEERR_OPERATIONFAILED);
  sp.refuseRequests = false;
  EXPECT_EQ(pConsult->GetConferenceCall(), nullptr);
  ASSERT_NE(ConsultFeatures() & LINECALLFEATURE_ADDTOCONF, 0u);

  line->Answer(REQUEST_LINEADDTOCONFERENCE, [](Line& l, CTSPIRequest* pReq) {
    l.CompleteRequest(pReq, LINEERR_OPERATIONFAILED);
  });
  EXPECT_EQ(Add(43), 43);
  EXPECT_EQ(TapiLog::Get().ResultsFor(43), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(pConsult->GetConferenceCall(), nullptr);
  ASSERT_NE(ConsultFeatures() & LINECALLFEATURE_ADDTOCONF, 0u);

  AnswerAddsByJoining();  // the switch joins it this time
  EXPECT_EQ(Add(44), 44);
  EXPECT_EQ(pConsult->GetConferenceCall(), pConf);
  EXPECT_TRUE(pConf->IsConferenceMember(pConsult));
}

// A failed add whose call has joined in the meantime (the switch reported it) keeps the link.
TEST_F(AddToConferenceTest, AFailedAddKeepsTheLinkOfACallThatJoinedAnyway) {
  AnswerAddsByJoining(LINEERR_OPERATIONFAILED);
  EXPECT_EQ(Add(45), 45);
  EXPECT_EQ(pConsult->GetConferenceCall(), pConf);
  EXPECT_TRUE(pConf->IsConferenceMember(pConsult));
}

}  // namespace
}  // namespace fw_test
