// Calls and addresses where a careless implementation loses references, state or data: removal,
// records that name calls, drops, bounded waits, failure paths, TAPI's structures and timers.
#include <gtest/gtest.h>

#include <future>

#include "platform/tspi.h"
#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

bool DropPending(CTSPICallAppearance* pCall) {
  return (pCall->GetFlags() & CALLFLAG_DROPPENDING) != 0;
}

// LINECALLPARAMS followed by two UTF-16 texts (originating address, calling party ID).
class CallParams {
 public:
  CallParams(const std::u16string& origAddress, const std::u16string& callingParty) {
    const size_t nOrig = (origAddress.size() + 1) * 2;
    const size_t nCalling = (callingParty.size() + 1) * 2;
    m_words.assign((sizeof(LINECALLPARAMS) + nOrig + nCalling + 7) / 8, 0);
    auto* p = Get();
    p->dwTotalSize = static_cast<DWORD>(sizeof(LINECALLPARAMS) + nOrig + nCalling);
    p->dwBearerMode = LINEBEARERMODE_VOICE;
    p->dwMediaMode = LINEMEDIAMODE_INTERACTIVEVOICE;
    p->dwAddressMode = LINEADDRESSMODE_DIALABLEADDR;
    p->dwOrigAddressSize = static_cast<DWORD>(nOrig);
    p->dwOrigAddressOffset = sizeof(LINECALLPARAMS);
    p->dwCallingPartyIDSize = static_cast<DWORD>(nCalling);
    p->dwCallingPartyIDOffset = static_cast<DWORD>(sizeof(LINECALLPARAMS) + nOrig);
    auto* bytes = reinterpret_cast<BYTE*>(p);
    std::memcpy(bytes + p->dwOrigAddressOffset, origAddress.c_str(), nOrig);
    std::memcpy(bytes + p->dwCallingPartyIDOffset, callingParty.c_str(), nCalling);
  }
  LINECALLPARAMS* Get() { return reinterpret_cast<LINECALLPARAMS*>(m_words.data()); }
  TSPIMAKECALL* Record() {
    auto* pMake = new TSPIMAKECALL;
    EXPECT_EQ(CopyCallParams(Get(), &pMake->lpCallParams), 0);
    return pMake;
  }

 private:
  std::vector<uint64_t> m_words;
};

TEST_F(CallTest, TwoRemovalsOfOneCallReleaseTheListsReferenceOnce) {
  for (int round = 0; round < 50; ++round) {
    TestCall* pCall = NewCall(0x901, LINECALLSTATE_CONNECTED);
    pCall->AddRef();  // a thread of TAPI's still uses the call
    std::promise<void> go;
    std::shared_future<void> start = go.get_future().share();
    auto remove = [&] {
      start.wait();
      pAddr->RemoveCall(pCall);
    };
    std::thread first(remove), second(remove);
    go.set_value();
    first.join();
    second.join();
    ASSERT_EQ(pCall->GetRefCount(), 1);
    EXPECT_TRUE(pCall->IsDeleted());
    EXPECT_EQ(pCall->GetCallState(), static_cast<DWORD>(LINECALLSTATE_IDLE));
    pCall->Release();
    EXPECT_TRUE(TestCall::WasDestroyed(pCall));
    TestCall::ForgetDestroyed();
  }
}

TEST_F(CallTest, AnExportKeepsItsCallWhileAnotherThreadRemovesIt) {
  TestCall* pCall = NewCall(0x921, LINECALLSTATE_CONNECTED);
  static std::promise<void>* s_inside;
  static std::shared_future<void>* s_resume;
  std::promise<void> inside, resume;
  std::shared_future<void> resumed = resume.get_future().share();
  s_inside = &inside;
  s_resume = &resumed;
  TestCall::s_onGetStatus = [](CTSPICallAppearance*) {
    s_inside->set_value();
    s_resume->wait();
  };
  LONG lResult = -1;
  std::thread tapi([&] {
    LINECALLSTATUS status{};
    status.dwTotalSize = sizeof(status);
    lResult = TSPI_lineGetCallStatus(reinterpret_cast<HDRVCALL>(pCall), &status);
  });
  inside.get_future().wait();
  pAddr->RemoveCall(pCall);  // the address lets go while the export still reads the call
  EXPECT_FALSE(TestCall::WasDestroyed(pCall));
  resume.set_value();
  tapi.join();
  TestCall::s_onGetStatus = nullptr;
  EXPECT_EQ(lResult, 0);
  EXPECT_TRUE(TestCall::WasDestroyed(pCall));
  TestCall::ForgetDestroyed();
}

TEST_F(CallTest, RemovingACallEndsItsTimers) {
  AllowGathers(60000);
  TestCall* pCall = NewCall(0x911, LINECALLSTATE_CONNECTED);
  WCHAR digits[8] = {};
  ASSERT_EQ(Gather(pCall, digits, 60000), 0);
  ASSERT_TRUE(sp.IsTimedCall(pCall));
  pCall->AddRef();
  pAddr->RemoveCall(pCall);
  EXPECT_FALSE(sp.IsTimedCall(pCall));
  EXPECT_EQ(pCall->GetDigitGather(), nullptr);  // IDLE ended the gather
  pCall->Release();
}

TEST_F(CallTest, ASwapHoldKeepsTheOtherCallUntilItsRequestEnds) {
  TestCall* pHeld = NewCall(0x921, LINECALLSTATE_ONHOLD);
  TestCall* pActive = NewCall(0x922, LINECALLSTATE_CONNECTED);
  ASSERT_EQ(pActive->SwapHold(61, pHeld), 61);
  // The held call ends and TAPI closes it while the swap still waits for the switch.
  pHeld->ChangeCallState(LINECALLSTATE_IDLE);
  pHeld->CloseCall();
  EXPECT_FALSE(TestCall::WasDestroyed(pHeld));
  EXPECT_EQ(pHeld->GetRefCount(), 1);                   // the swap's record
  line->CompleteRequest(line->GetRequest(0).Get(), 0);  // reads the other call
  EXPECT_TRUE(TestCall::WasDestroyed(pHeld));
  EXPECT_EQ(pActive->GetRefCount(), 1);  // the request let go of its own call too
  EXPECT_EQ(pActive->GetCallType(), CALLTYPE_NORMAL);
}

TEST_F(CallTest, ACallHeldByTapiOutlivesItsLineAndDevice) {
  TestCall* pCall = NewCall(0x931, LINECALLSTATE_CONNECTED);
  pCall->AddRef();
  ASSERT_EQ(pCall->Hold(62), 62);  // pending: the line never answers
  ASSERT_EQ(line->CloseLine(), 0);  // fails the hold, whose record lets go of the call
  sp.providerShutdown(0x00020001, sp.FindDeviceByProviderID(kProviderID));
  EXPECT_FALSE(TestCall::WasDestroyed(pCall));
  EXPECT_EQ(pCall->GetCallState(), static_cast<DWORD>(LINECALLSTATE_CONNECTED));
  pCall->Release();
  EXPECT_TRUE(TestCall::WasDestroyed(pCall));
}

TEST_F(CallTest, ACallLinkedToAnEndedConferenceLetsItGo) {
  TestCall* pCall = NewCall(0x935, LINECALLSTATE_CONNECTED);
  CTSPIConferenceCall* pConf = pAddr->FindOrCreateConferenceCall(Handle(0x936));
  ASSERT_NE(pConf, nullptr);
  pCall->SetConferenceCall(pConf);  // about to be added, not a member yet
  pConf->ChangeCallState(LINECALLSTATE_IDLE);
  pConf->CloseCall();  // the address lets go; the link still holds the conference
  EXPECT_EQ(pCall->GetConferenceCall(), pConf);
  pCall->ChangeCallState(LINECALLSTATE_CONFERENCED);  // the switch reports it joined, too late
  EXPECT_EQ(pCall->GetConferenceCall(), nullptr);     // and the conference is gone now
  EXPECT_EQ(pCall->GetCallFeatures() & LINECALLFEATURE_REMOVEFROMCONF, 0u);
}

TEST_F(CallTest, ARefusedOrFailedDropLeavesTheCallFreeToBeDroppedAgain) {
  auto fail = [](Line& l, CTSPIRequest* pReq) { l.CompleteRequest(pReq, LINEERR_OPERATIONFAILED); };
  TestCall* pCall = NewCall(0x941, LINECALLSTATE_CONNECTED);
  CTSPIConferenceCall* pConf = pAddr->FindOrCreateConferenceCall(Handle(0x942));
  ASSERT_NE(pConf, nullptr);
  pConf->ChangeCallState(LINECALLSTATE_CONNECTED);
  DWORD dwID = 70;
  for (CTSPICallAppearance* p :
       {static_cast<CTSPICallAppearance*>(pCall), static_cast<CTSPICallAppearance*>(pConf)}) {
    SCOPED_TRACE(p == pCall ? "call" : "conference");
    sp.refuseRequests = true;
    EXPECT_EQ(p->Drop(++dwID, nullptr, 0), LINEERR_OPERATIONFAILED);
    EXPECT_FALSE(DropPending(p));
    sp.refuseRequests = false;
    line->Answer(REQUEST_LINEDROP, fail);
    ++dwID;
    EXPECT_EQ(p->Drop(dwID, nullptr, 0), static_cast<LONG>(dwID));
    EXPECT_EQ(TapiLog::Get().ResultsFor(dwID), std::vector<LONG>{LINEERR_OPERATIONFAILED});
    EXPECT_FALSE(DropPending(p));
    line->Answer(REQUEST_LINEDROP, nullptr);  // now the switch keeps it waiting
    ++dwID;
    EXPECT_EQ(p->Drop(dwID, nullptr, 0), static_cast<LONG>(dwID));
    EXPECT_TRUE(DropPending(p));
    EXPECT_EQ(p->Drop(++dwID, nullptr, 0), 0);  // one drop at a time
    line->CompleteRequest(line->FindRequest(p, REQUEST_LINEDROP).Get(), 0);
  }
}

TEST_F(CallTest, ClosingACallWaitsForItsDropOnlyAsLongAsTheProviderWaits) {
  sp.SetDefaultRequestWait(20);
  TestCall* pCall = NewCall(0x951, LINECALLSTATE_CONNECTED);
  ASSERT_EQ(pCall->Drop(81, nullptr, 0), 81);  // the switch never answers
  auto closed = std::async(std::launch::async, [&] { return pCall->CloseCall(); });
  ASSERT_EQ(closed.wait_for(std::chrono::seconds(30)), std::future_status::ready);
  EXPECT_EQ(closed.get(), 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(81), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(pCall->GetCallHandle(), nullptr);
  EXPECT_EQ(line->GetRequestCount(), 0);
}

// Refused, or a throw on the way to the queue: either way no call stays listed with TAPI's
// handle, and the calls the conference would have linked are let go.
TEST_F(CallTest, AMakeCallOrConferenceThatCannotBeQueuedRemovesItsCalls) {
  ULONGLONG ullHandle = 0x961;
  DWORD dwRequestID = 91;
  for (const bool bThrow : {false, true}) {
    SCOPED_TRACE(bThrow ? "throws" : "refused");
    sp.refuseRequests = !bThrow;
    sp.throwOnRequest = bThrow;
    auto attempt = [&](auto run) {
      if (!bThrow) return run();
      EXPECT_THROW(run(), std::runtime_error);
      return static_cast<LONG>(LINEERR_OPERATIONFAILED);
    };
    CallParams params(u"1000", u"");
    params.Get()->dwAddressMode = LINEADDRESSMODE_ADDRESSID;
    CTSPICallAppearance* pMade = reinterpret_cast<CTSPICallAppearance*>(1);
    TSPIMAKECALL* pMake = params.Record();
    EXPECT_EQ(attempt([&] { return line->MakeCall(++dwRequestID, nullptr, &pMade, pMake); }),
              LINEERR_OPERATIONFAILED);
    delete pMake;  // a failed entry frees its record
    EXPECT_EQ(pMade, nullptr);
    EXPECT_EQ(pAddr->GetCallCount(), 0);

    sp.refuseRequests = false;
    sp.throwOnRequest = false;
    TestCall* pCall = NewCall(ullHandle++, LINECALLSTATE_CONNECTED);
    sp.refuseRequests = !bThrow;
    sp.throwOnRequest = bThrow;
    auto* pSetup = new TSPICONFERENCE;
    pSetup->pCall = pCall;
    CTSPIConferenceCall* pConf = nullptr;
    CTSPICallAppearance* pConsult = nullptr;
    EXPECT_EQ(attempt([&] {
                return pAddr->SetupConference(++dwRequestID, pSetup, nullptr, &pConf, nullptr,
                                              &pConsult);
              }),
              LINEERR_OPERATIONFAILED);
    delete pSetup;
    EXPECT_EQ(pAddr->GetCallCount(), 1);
    EXPECT_EQ(pCall->GetConferenceCall(), nullptr);
    EXPECT_EQ(pConf, nullptr);
    EXPECT_EQ(pConsult, nullptr);
    sp.refuseRequests = false;
    sp.throwOnRequest = false;
    pAddr->RemoveCall(pCall);
  }
}

TEST_F(CallTest, UtfSixteenCallParametersChooseTheAddressAndNameTheCaller) {
  TestAddress* pSecond = AddAddress(*line, "1001", "Hall");
  CallParams params(u"1001", u"Reception");
  EXPECT_EQ(line->CheckCallParams(params.Get()), 0);
  CTSPICallAppearance* pCall = nullptr;
  ASSERT_EQ(line->MakeCall(101, nullptr, &pCall, params.Record()), 101);
  EXPECT_EQ(pCall->GetAddressOwner(), pSecond);
  EXPECT_EQ(pCall->GetCallerIDInfo().strPartyName, CString("Reception"));
  EXPECT_EQ(pCall->GetCallerIDInfo().strPartyId, CString("1001"));

  // Texts that reach past the structure, or a structure shorter than its fixed part, are
  // refused without being read.
  CallParams outside(u"1001", u"x");
  outside.Get()->dwOrigAddressOffset = outside.Get()->dwTotalSize - 2;
  EXPECT_EQ(line->CheckCallParams(outside.Get()), LINEERR_INVALCALLPARAMS);
  CallParams shortened(u"1001", u"x");
  shortened.Get()->dwTotalSize = sizeof(LINECALLPARAMS) - 4;
  EXPECT_EQ(line->CheckCallParams(shortened.Get()), LINEERR_INVALCALLPARAMS);
}

TEST_F(CallTest, DialogInstancesAndCompletionsBelongToTheirLine) {
  BYTE data[4] = {1, 2, 3, 4};
  EXPECT_EQ(line->OpenDialogInstance(5, data, sizeof(data)), CallTapi::kDialogHandle);
  {
    // Without a name of its own, the UI library is the module beside this code, named as the
    // loader here takes it.
    char szDir[512] = {};
    ASSERT_GT(GetSystemDirectoryA(szDir, sizeof(szDir)), 0u);
    std::string expected = std::string(szDir) + "/OMBIX.TSP";
    std::lock_guard<std::mutex> lock(CallTapi::uiLibraryMutex);
    EXPECT_EQ(std::string(CallTapi::uiLibrary.begin(), CallTapi::uiLibrary.end()), expected);
  }
  EXPECT_EQ(line->DialogInstanceCount(), 1);
  EXPECT_EQ(line->FreeDialogInstance(CallTapi::kDialogHandle), 0);
  EXPECT_EQ(line->DialogInstanceCount(), 0);
  // Another, freed by the driver's handle: looked for among the line's own entries, freed once.
  ASSERT_EQ(line->OpenDialogInstance(6, data, sizeof(data)), CallTapi::kDialogHandle);
  const HDRVDIALOGINSTANCE hdDlgInst = CallTapi::lastDlgInst.load();
  ASSERT_NE(line->FindDialogInstance(hdDlgInst), nullptr);
  auto* hdUnrelated = reinterpret_cast<HDRVDIALOGINSTANCE>(&data);
  for (HDRVDIALOGINSTANCE hd : {hdUnrelated, hdDlgInst}) {
    EXPECT_EQ(TSPI_providerGenericDialogData(reinterpret_cast<DWORD_PTR>(hd),
                                             TUISPIDLL_OBJECT_DIALOGINSTANCE, data, sizeof(data)),
              hd == hdDlgInst ? 0 : LINEERR_INVALPARAM);
  }
  EXPECT_EQ(sp.providerFreeDialogInstance(hdUnrelated), LINEERR_INVALPARAM);
  EXPECT_EQ(line->DialogInstanceCount(), 1);
  EXPECT_EQ(sp.providerFreeDialogInstance(hdDlgInst), 0);
  EXPECT_EQ(line->DialogInstanceCount(), 0);
  EXPECT_EQ(sp.providerFreeDialogInstance(hdDlgInst), LINEERR_INVALPARAM);

  auto* pOtherLine = static_cast<Line*>(sp.FindLineByDeviceID(kCallLineID + 1));
  TestAddress* pOtherAddr = AddAddress(*pOtherLine, "2000", nullptr);
  for (TestAddress* p : {pAddr, pOtherAddr}) {
    p->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
      caps.dwCallCompletionModes = LINECALLCOMPLMODE_CAMPON;
    });
  }
  auto complete = [](CTSPICallAppearance* pCall, DWORD dwRequestID) {
    auto* pRec = new TSPICOMPLETECALL;
    pRec->dwCompletionMode = LINECALLCOMPLMODE_CAMPON;
    DWORD dwCompletionID = 0;
    EXPECT_EQ(pCall->CompleteCall(dwRequestID, &dwCompletionID, pRec),
              static_cast<LONG>(dwRequestID));
    return dwCompletionID;
  };
  TestCall* pFirst = NewCall(0x971, LINECALLSTATE_BUSY);
  TestCall* pSecond = NewCall(0x972, LINECALLSTATE_BUSY);
  TestCall* pElsewhere = NewCall(0x973, LINECALLSTATE_BUSY, pOtherAddr);
  EXPECT_EQ(complete(pFirst, 111), 1u);
  line->CompleteRequest(line->GetRequest(0).Get(), 0);
  EXPECT_EQ(complete(pSecond, 112), 2u);
  EXPECT_EQ(complete(pElsewhere, 113), 1u);
  EXPECT_NE(line->FindCompletion(1), nullptr);
  EXPECT_EQ(line->FindCompletionByCall(pFirst)->dwCompletionID, 1u);
  EXPECT_EQ(line->GetLineDevStatus().dwNumCallCompletions, 1u);
}

TEST_F(CallTest, DialingNamesTheLocalCallerOnlyOnAnOutboundCall) {
  CTSPICallAppearance* pInbound = pAddr->FindOrCreateCall(Handle(0x981), 0, LINECALLORIGIN_INBOUND,
                                                          LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
  pInbound->SetCallerID(LINECALLPARTYID_ADDRESS, "5550100", nullptr);
  pInbound->ChangeCallState(LINECALLSTATE_DIALTONE);
  ASSERT_EQ(pInbound->Dial(121, DialList("7"), 0), 121);
  EXPECT_EQ(pInbound->GetCallerIDInfo().strPartyId, CString("5550100"));
  EXPECT_EQ(pInbound->GetCallerIDInfo().strPartyName, CString(""));

  TestCall* pOutbound = NewCall(0x982, LINECALLSTATE_DIALTONE);
  line->CompleteRequest(line->GetRequest(0).Get(), 0);
  ASSERT_EQ(pOutbound->Dial(122, DialList("55"), 0), 122);
  EXPECT_EQ(pOutbound->GetCallerIDInfo().strPartyId, CString("1000"));
  EXPECT_EQ(pOutbound->GetCallerIDInfo().strPartyName, CString("Desk"));
}

TEST_F(CallTest, GatherDeadlinesCountElapsedTicksAcrossTheWrap) {
  AllowGathers(0xFFFFFFFF);
  TestCall* pCall = NewCall(0x991, LINECALLSTATE_CONNECTED);
  WCHAR digits[8] = {};
  // A deadline whose start + period passes 2^32 is not due just because the sum wrapped.
  ASSERT_EQ(Gather(pCall, digits, 0xFFFFFF00, 1), 0);
  EXPECT_FALSE(pCall->ServiceCallTimers());
  EXPECT_EQ(CountEvents(LINE_GATHERDIGITS, LINEGATHERTERM_FIRSTTIMEOUT), 0);
  // Replaced without an event by one that ends by itself, served here or by the timer thread.
  ASSERT_EQ(Gather(pCall, digits, 5, 2), 0);
  ASSERT_TRUE(WaitUntil([&] {
    pCall->ServiceCallTimers();
    return CountEvents(LINE_GATHERDIGITS, LINEGATHERTERM_FIRSTTIMEOUT) == 1;
  }));
  EXPECT_EQ(CountEvents(LINE_GATHERDIGITS), CountEvents(LINE_GATHERDIGITS, kAny, 2));
  EXPECT_EQ(pCall->GetDigitGather(), nullptr);
}

// Two media actions and a gather fall due in one pass; one action, or the gather's report,
// throws: the others are still served and everything taken out is freed.
TEST_F(QuietTimerTest, OneDueTimerThatThrowsLeavesTheOthersServed) {
  AllowGathers(60000);
  const LINEMEDIACONTROLMEDIA entries[] = {{LINEMEDIAMODE_INTERACTIVEVOICE, 1, 5},
                                           {LINEMEDIAMODE_INTERACTIVEVOICE, 2, 6}};
  ULONGLONG ullHandle = 0x9A1;
  for (const bool bReportThrows : {false, true}) {
    SCOPED_TRACE(bReportThrows ? "the gather's report throws" : "a media action throws");
    TapiLog::Get().Reset();
    TestCall* pCall = NewCall(ullHandle++);
    auto* pMedia = new TSPIMEDIACONTROL;
    ASSERT_TRUE(AppendEntryCopies(pMedia->arrMedia, entries, 2));
    pCall->SetMediaControl(pMedia);
    pCall->ChangeCallState(LINECALLSTATE_CONNECTED, 0, LINEMEDIAMODE_INTERACTIVEVOICE);
    WCHAR digits[4] = {};
    ASSERT_EQ(Gather(pCall, digits, 1), 0);
    const DWORD dwStart = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return GetTickCount() - dwStart > 5; }));
    const int nActions = line->mediaActions;
    line->failingMediaActions = bReportThrows ? 0 : 1;
    if (bReportThrows) {
      CallTapi::onEvent = [](HTAPICALL, DWORD dwMsg, DWORD_PTR) {
        if (dwMsg == LINE_GATHERDIGITS) throw std::runtime_error("report");
      };
    }
    EXPECT_NO_THROW(pCall->ServiceCallTimers());
    CallTapi::onEvent = nullptr;
    EXPECT_EQ(line->mediaActions - nActions, 2);
    EXPECT_EQ(pCall->GetTimerEventCount(), 0);
    EXPECT_EQ(pCall->GetDigitGather(), nullptr);
    EXPECT_EQ(CountEvents(LINE_GATHERDIGITS, LINEGATHERTERM_FIRSTTIMEOUT), 1);
  }
}

}  // namespace
}  // namespace fw_test
