// Calls made, held, transferred and conferenced through the framework's classes, with a line
// that answers its requests as a switch would; every event TAPI receives for a call is checked.
#include <gtest/gtest.h>

#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

constexpr DWORD kState = LINE_CALLSTATE;
constexpr DWORD kInfo = LINE_CALLINFO;

// The states TAPI was told, a repeat (new features in the same state) counted once.
std::vector<DWORD_PTR> StatesOf(HTAPICALL htCall) {
  std::vector<DWORD_PTR> states;
  for (const CallEvent& event : EventsOf(htCall)) {
    if (event.dwMsg == kState && (states.empty() || states.back() != event.dwParam1)) {
      states.push_back(event.dwParam1);
    }
  }
  return states;
}

CString CallerOf(CTSPICallAppearance* pCall) {
  return pCall->GetCallerIDInfo().strPartyId + "/" + pCall->GetCallerIDInfo().strPartyName;
}

TEST_F(CallTest, AMadeCallGoesThroughItsStatesAndTapiHearsEveryStep) {
  line->Answer(REQUEST_LINEMAKECALL, MoveTo(LINECALLSTATE_DIALING));
  line->Answer(REQUEST_LINEHOLD, MoveTo(LINECALLSTATE_ONHOLD));
  line->Answer(REQUEST_LINEUNHOLD, MoveTo(LINECALLSTATE_CONNECTED));
  line->Answer(REQUEST_LINEDROP, MoveTo(LINECALLSTATE_IDLE));
  const HTAPICALL htExpected = Handle(CallTapi::nextHandle.load());

  auto* pMake = new TSPIMAKECALL;
  ASSERT_EQ(ParseDialableAddressList(std::nullopt, std::nullopt, "2000", pMake->arrAddresses), 0);
  CTSPICallAppearance* pCall = nullptr;
  ASSERT_EQ(line->MakeCall(7, nullptr, &pCall, pMake), 7);
  ASSERT_NE(pCall, nullptr);
  // Announced once, complete, and with TAPI's whole 64-bit handle.
  EXPECT_EQ(CountEvents(LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(pCall)), 1);
  EXPECT_EQ(CallTapi::announcedUninitialised, 0);
  EXPECT_EQ(pCall->GetCallHandle(), htExpected);
  // lineMakeCall succeeded at the first state, once, although the line completed it again.
  EXPECT_EQ(TapiLog::Get().ResultsFor(7), std::vector<LONG>{0});

  pCall->ChangeCallState(LINECALLSTATE_PROCEEDING);
  pCall->ChangeCallState(LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE);
  EXPECT_EQ(pCall->Hold(8), 8);
  EXPECT_EQ(pCall->Unhold(9), 9);
  EXPECT_EQ(pCall->Drop(10, nullptr, 0), 10);
  for (DWORD dwID : {8u, 9u, 10u}) EXPECT_EQ(TapiLog::Get().ResultsFor(dwID), std::vector<LONG>{0});

  const std::vector<CallEvent> expected = {
      {kInfo, LINECALLINFOSTATE_CALLERID, 0},
      {kInfo, LINECALLINFOSTATE_CALLEDID, 0},
      {kState, LINECALLSTATE_DIALING, 0},
      {kState, LINECALLSTATE_PROCEEDING, 0},
      {kState, LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE},
      {kState, LINECALLSTATE_ONHOLD, 0},
      {kState, LINECALLSTATE_CONNECTED, 0},
      {kState, LINECALLSTATE_IDLE, 0},
  };
  EXPECT_EQ(EventsOf(htExpected), expected);
  EXPECT_EQ(CallerOf(pCall), CString("1000/Desk"));
  EXPECT_EQ(pCall->GetCalledIDInfo().strPartyId, CString("2000"));
  const LINECALLINFO info = pCall->GetCallInfoCopy();
  EXPECT_EQ(info.dwOrigin, static_cast<DWORD>(LINECALLORIGIN_OUTBOUND));
  EXPECT_EQ(info.dwMediaMode, static_cast<DWORD>(LINEMEDIAMODE_INTERACTIVEVOICE));
  EXPECT_NE(info.dwCallParamFlags & LINECALLPARAMFLAGS_ORIGOFFHOOK, 0u);
  EXPECT_EQ(pCall->GetCallFeatures(), 0u);

  // An IDLE call TAPI still holds stays until TAPI closes it; then its handle names nothing.
  EXPECT_EQ(pAddr->GetCallCount(), 1);
  EXPECT_EQ(pCall->CloseCall(), 0);
  EXPECT_EQ(pAddr->GetCallCount(), 0);
  EXPECT_FALSE(GetTSPILiveCalls().Contains(pCall));
  const LINEADDRESSSTATUS status = pAddr->GetAddressStatusCopy();
  EXPECT_EQ(status.dwNumActiveCalls + status.dwNumOnHoldCalls + status.dwNumInUse, 0u);
  EXPECT_NE(status.dwAddressFeatures & LINEADDRFEATURE_MAKECALL, 0u);
}

TEST_F(CallTest, ATransferHandsTheCallToTheConsultationCall) {
  pAddr->ChangeAddressCaps(
      [](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) { caps.dwTransferModes = 0x1; });
  line->Answer(REQUEST_LINESETUPTRANSFER, [](Line& l, CTSPIRequest* pReq) {
    auto* pRec = static_cast<TSPITRANSFER*>(pReq->GetRecordObject());
    pRec->pCall->ChangeCallState(LINECALLSTATE_ONHOLDPENDTRANSFER);
    pRec->pConsult->ChangeCallState(LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
    l.CompleteRequest(pReq, 0);
  });
  line->Answer(REQUEST_LINEDIAL, MoveTo(LINECALLSTATE_CONNECTED));
  line->Answer(REQUEST_LINECOMPLETETRANSFER, &TransferCompletes);
  TestCall* pCall = NewCall(0x501, LINECALLSTATE_CONNECTED);

  auto* pSetup = new TSPITRANSFER;
  pSetup->pCall = pCall;
  CTSPICallAppearance* pConsult = nullptr;
  ASSERT_EQ(pAddr->SetupTransfer(11, pSetup, nullptr, &pConsult), 11);
  ASSERT_NE(pConsult, nullptr);
  EXPECT_EQ(pConsult->GetCallType(), CALLTYPE_CONSULTATION);
  EXPECT_EQ(pConsult->GetRelatedCall(), pCall);
  // A consultation call may not start a transfer or conference of its own.
  EXPECT_EQ(
      pConsult->GetCallFeatures() & (LINECALLFEATURE_SETUPCONF | LINECALLFEATURE_SETUPTRANSFER),
      0u);
  ASSERT_EQ(pConsult->Dial(12, DialList("3000"), 0), 12);
  EXPECT_EQ(pConsult->GetCalledIDInfo().strPartyId, CString("3000"));
  EXPECT_NE(pConsult->GetCallFeatures() & LINECALLFEATURE_COMPLETETRANSF, 0u);

  auto* pComplete = new TSPITRANSFER;
  pComplete->pCall = pCall;
  pComplete->pConsult = pConsult;
  pComplete->dwTransferMode = LINETRANSFERMODE_TRANSFER;
  ASSERT_EQ(pAddr->CompleteTransfer(13, pComplete, nullptr, nullptr), 13);
  for (DWORD dwID : {11u, 12u, 13u}) {
    EXPECT_EQ(TapiLog::Get().ResultsFor(dwID), std::vector<LONG>{0});
  }
  EXPECT_EQ(StatesOf(Handle(0x501)),
            (std::vector<DWORD_PTR>{LINECALLSTATE_CONNECTED, LINECALLSTATE_ONHOLDPENDTRANSFER,
                                    LINECALLSTATE_IDLE}));
  EXPECT_EQ(StatesOf(pConsult->GetCallHandle()),
            (std::vector<DWORD_PTR>{LINECALLSTATE_DIALTONE, LINECALLSTATE_CONNECTED,
                                    LINECALLSTATE_IDLE}));
  EXPECT_EQ(EventsOf(pConsult->GetCallHandle())[0],
            (CallEvent{kState, LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL}));
  // Both partners forgot each other when the pair ended.
  EXPECT_EQ(pCall->GetRelatedCall(), nullptr);
  EXPECT_EQ(pConsult->GetRelatedCall(), nullptr);
  EXPECT_EQ(pAddr->GetAddressStatusCopy().dwNumOnHoldPendCalls, 0u);
}

TEST_F(CallTest, AConferenceGrowsAndFallsApartWhenItsMembersLeave) {
  AnswerConferenceSetUps(LINECALLSTATE_DIALTONE);
  line->Answer(REQUEST_LINEDIAL, MoveTo(LINECALLSTATE_CONNECTED));
  AnswerAddsByJoining(0, LINECALLSTATE_CONNECTED);
  TestCall* pFirst = NewCall(0x601, LINECALLSTATE_CONNECTED);

  CTSPIConferenceCall* pConf = nullptr;
  CTSPICallAppearance* pConsult = nullptr;
  SetUpConference(21, pFirst, pConf, pConsult);
  if (HasFatalFailure()) return;
  EXPECT_EQ(pConf->GetMemberCount(), 1);
  EXPECT_EQ(pFirst->GetConferenceCall(), pConf);
  ASSERT_EQ(pConsult->Dial(22, DialList("4000"), 0), 22);
  ASSERT_NE(pConsult->GetCallFeatures() & LINECALLFEATURE_ADDTOCONF, 0u);

  ASSERT_EQ(AddToConference(23, pConf, pConsult), 23);
  EXPECT_EQ(pConf->GetMemberCount(), 2);
  EXPECT_EQ(pConsult->GetCallType(), CALLTYPE_NORMAL);  // it joined what it was made for
  EXPECT_EQ(pConf->GetRelatedCall(), nullptr);
  EXPECT_EQ(pConf->GetCallFeatures() & ~0x8C010882u, 0u);
  EXPECT_NE(pConf->GetCallFeatures() & LINECALLFEATURE_DROP, 0u);

  // The first member hangs up: the conference cannot stand on one member, so the last one is
  // back on its own, CONNECTED, and the conference ends.
  pFirst->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_EQ(pConf->GetMemberCount(), 0);
  EXPECT_EQ(pConf->GetCallState(), static_cast<DWORD>(LINECALLSTATE_IDLE));
  EXPECT_EQ(pConsult->GetCallState(), static_cast<DWORD>(LINECALLSTATE_CONNECTED));
  EXPECT_EQ(pConsult->GetConferenceCall(), nullptr);
  EXPECT_EQ(StatesOf(pConf->GetCallHandle()),
            (std::vector<DWORD_PTR>{LINECALLSTATE_ONHOLDPENDCONF, LINECALLSTATE_CONNECTED,
                                    LINECALLSTATE_IDLE}));
  EXPECT_EQ(StatesOf(pConsult->GetCallHandle()),
            (std::vector<DWORD_PTR>{LINECALLSTATE_DIALTONE, LINECALLSTATE_CONNECTED,
                                    LINECALLSTATE_CONFERENCED, LINECALLSTATE_CONNECTED}));
  for (DWORD dwID : {21u, 22u, 23u}) {
    EXPECT_EQ(TapiLog::Get().ResultsFor(dwID), std::vector<LONG>{0});
  }
}

}  // namespace
}  // namespace fw_test
