// The line's and address's request checks, media services, and the address and call structures
// handed to TAPI at each version.
#include <gtest/gtest.h>

#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

TEST_F(CallTest, TheLinesChecksAnswerTheirCodes) {
  // Unnamed addresses are named by their count; their dial limits widen the line's, the first
  // ones set them.
  const char* const names[] = {"Address1", "Address2", "Address3"};
  const DWORD durations[] = {100, 60, 250};
  for (int i = 0; i < 3; ++i) {
    const LINEDIALPARAMS dial{10, 20, durations[i], 30};
    auto* pUnnamed = line->GetAddress(
        line->CreateAddress("1002", nullptr, TRUE, TRUE, LINEMEDIAMODE_INTERACTIVEVOICE,
                            LINEBEARERMODE_VOICE, 0, 0, &dial, 1, 1, 1, 0, 0));
    EXPECT_EQ(pUnnamed->GetName(), CString(names[i]));
  }
  EXPECT_EQ(line->GetLineDevCaps().MinDialParams.dwDigitDuration, 60u);
  EXPECT_EQ(line->GetLineDevCaps().MaxDialParams.dwDigitDuration, 250u);
  EXPECT_EQ(line->GetLineDevCaps().MinDialParams.dwDialPause, 10u);
  DWORD dwID = 9;
  EXPECT_EQ(line->GetAddressID(&dwID, LINEADDRESSMODE_ADDRESSID, "1002", 0),
            LINEERR_INVALADDRESSMODE);
  EXPECT_EQ(line->GetAddressID(&dwID, LINEADDRESSMODE_DIALABLEADDR, "1002xyz", 4), 0);
  EXPECT_EQ(dwID, 1u);
  EXPECT_EQ(line->GetAddressID(&dwID, LINEADDRESSMODE_DIALABLEADDR, "9999", 0),
            LINEERR_INVALADDRESS);

  line->ChangeCaps([](LINEDEVCAPS& caps) {
    caps.dwMedCtlDigitMaxListSize = 1;
    caps.dwMonitorDigitModes = LINEDIGITMODE_DTMF;
    caps.dwSettableDevStatus = LINEDEVSTATUSFLAGS_MSGWAIT;
  });
  auto* pMedia = new TSPIMEDIACONTROL;
  LINEMEDIACONTROLDIGIT digit{'E', LINEDIGITMODE_DTMF, 0};
  ASSERT_TRUE(AppendEntryCopies(pMedia->arrDigits, &digit, 1));
  EXPECT_EQ(line->CheckMediaControl(pMedia), LINEERR_INVALDIGITLIST);
  static_cast<LINEMEDIACONTROLDIGIT*>(pMedia->arrDigits[0])->dwDigit = '#';
  EXPECT_EQ(line->CheckMediaControl(pMedia), 0);
  ASSERT_TRUE(AppendEntryCopies(pMedia->arrDigits, &digit, 1));
  EXPECT_EQ(line->CheckMediaControl(pMedia), LINEERR_INVALDIGITLIST);  // list too long
  pMedia->Release();                                                   // nobody holds it: freed

  EXPECT_EQ(line->SetLineDevStatus(3, LINEDEVSTATUSFLAGS_LOCKED, TRUE), LINEERR_INVALPARAM);
  EXPECT_EQ(line->SetLineDevStatus(4, LINEDEVSTATUSFLAGS_LOCKED | LINEDEVSTATUSFLAGS_MSGWAIT, TRUE),
            4);
  EXPECT_EQ(line->SetDefaultMediaDetection(LINEMEDIAMODE_DATAMODEM), LINEERR_INVALMEDIAMODE);
  EXPECT_EQ(line->SetDefaultMediaDetection(LINEMEDIAMODE_INTERACTIVEVOICE), 0);
}

// lineMakeCall's check for a make-call already queued only looks: a request queued behind the
// one with the switch is still failed when its call goes IDLE.
TEST_F(CallTest, AMakeCallCheckLeavesQueuedRequestsToFailWhenTheirCallGoesIdle) {
  TestCall* pFirst = NewCall(0xE01, LINECALLSTATE_CONNECTED);
  TestCall* pSecond = NewCall(0xE02, LINECALLSTATE_ONHOLD);
  ASSERT_EQ(pFirst->Hold(131), 131);     // with the switch
  ASSERT_EQ(pSecond->Unhold(132), 132);  // waits behind it
  CTSPICallAppearance* pMade = nullptr;
  ASSERT_EQ(line->MakeCall(133, nullptr, &pMade, nullptr), 133);
  pSecond->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_EQ(TapiLog::Get().ResultsFor(132), std::vector<LONG>{LINEERR_INVALCALLSTATE});
  EXPECT_FALSE(line->HasRequest(pSecond, REQUEST_ANY));
  EXPECT_TRUE(line->HasRequest(pFirst, REQUEST_LINEHOLD));
}

TEST_F(CallTest, TransferAndConferenceSetUpsAreRefusedBeforeAnythingIsMade) {
  TestCall* pCall = NewCall(0xA01, LINECALLSTATE_ONHOLDPENDTRANSFER);
  CTSPICallAppearance* pConsult = pCall->MakeConsultationCall(Handle(0xA02), 0);
  pConsult->ChangeCallState(LINECALLSTATE_CONNECTED);
  ASSERT_NE(pConsult->GetCallFeatures() & LINECALLFEATURE_COMPLETETRANSF, 0u);
  for (DWORD dwMode : {LINETRANSFERMODE_TRANSFER, LINETRANSFERMODE_CONFERENCE}) {
    TSPITRANSFER transfer;
    transfer.pCall = pCall;
    transfer.pConsult = pConsult;
    transfer.dwTransferMode = dwMode;
    CTSPIConferenceCall* pConf = nullptr;
    EXPECT_EQ(pAddr->CompleteTransfer(5, &transfer, nullptr, &pConf), LINEERR_OPERATIONUNAVAIL);
  }
  EXPECT_EQ(pAddr->GetCallCount(), 2);

  for (bool bNullAllowed : {false, true}) {
    pAddr->ChangeAddressCaps([&](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
      caps.dwAddrCapFlags = 0x860 | (bNullAllowed ? LINEADDRCAPFLAGS_SETUPCONFNULL : 0);
    });
    TSPICONFERENCE conference;
    if (bNullAllowed) conference.pCall = pConsult;
    CTSPIConferenceCall* pConf = nullptr;
    CTSPICallAppearance* pMade = nullptr;
    EXPECT_EQ(pAddr->SetupConference(6, &conference, nullptr, &pConf, nullptr, &pMade),
              LINEERR_INVALCALLHANDLE);
  }
  EXPECT_EQ(pAddr->GetCallCount(), 2);
}

TEST_F(CallTest, ACompletedForwardKeepsEveryEntryAndReportsOnce) {
  pAddr->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
    caps.dwMaxForwardEntries = 2;
    caps.dwForwardModes = LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY;
  });
  line->Answer(REQUEST_LINEFORWARD,
               [](Line& l, CTSPIRequest* pReq) { l.CompleteRequest(pReq, 0); });
  auto* pForward = new TSPILINEFORWARD;
  for (DWORD dwMode : {LINEFORWARDMODE_UNCOND, LINEFORWARDMODE_BUSY}) {
    auto* pInfo = new TSPIFORWARDINFO;
    pInfo->dwForwardMode = dwMode;
    pForward->arrForwardInfo.Add(pInfo);
  }
  auto* pFirst = static_cast<TSPIFORWARDINFO*>(pForward->arrForwardInfo[0]);
  pFirst->AddRef();  // to look at it afterwards
  TapiLog::Get().Reset();
  CTSPICallAppearance* pConsult = nullptr;
  ASSERT_EQ(line->Forward(7, pAddr, pForward, nullptr, &pConsult), 7);
  EXPECT_EQ(pAddr->GetForwardEntryCount(), 2);
  EXPECT_EQ(pFirst->GetRefCount(), 2);  // ours and the address's; the request let go
  EXPECT_EQ(CountEvents(LINE_ADDRESSSTATE, 0, LINEADDRESSSTATE_FORWARD), 1);
  pFirst->Release();

  auto* pTooMany = new TSPILINEFORWARD;
  for (int i = 0; i < 3; ++i) pTooMany->arrForwardInfo.Add(new TSPIFORWARDINFO);
  EXPECT_EQ(line->Forward(8, pAddr, pTooMany, nullptr, &pConsult), LINEERR_INVALPARAM);
  delete pTooMany;
}

TEST_F(CallTest, GeneratedDigitsAreCheckedClampedAndEndWithTheirEvent) {
  line->ChangeCaps([](LINEDEVCAPS& caps) {
    caps.dwGenerateDigitModes = LINEDIGITMODE_PULSE | LINEDIGITMODE_DTMF;
    caps.MinDialParams.dwDigitDuration = 50;
    caps.MaxDialParams.dwDigitDuration = 500;
  });
  TestCall* pCall = NewCall(0xA11, LINECALLSTATE_CONNECTED);
  auto generate = [&](DWORD dwMode, LPCSTR pszDigits, DWORD dwDuration, DWORD dwEndToEnd,
                      TSPIGENERATE** ppKept = nullptr) {
    auto* pGenerate = new TSPIGENERATE;
    pGenerate->dwMode = dwMode;
    pGenerate->strDigits = pszDigits;
    pGenerate->dwDuration = dwDuration;
    pGenerate->dwEndToEndID = dwEndToEnd;
    const LONG lResult = pCall->GenerateDigits(pGenerate);
    if (lResult != 0) delete pGenerate;
    if (ppKept != nullptr) *ppKept = pGenerate;
    return lResult;
  };
  EXPECT_EQ(generate(LINEDIGITMODE_PULSE, "1A", 100, 1), LINEERR_INVALDIGITS);
  EXPECT_EQ(generate(LINEDIGITMODE_DTMFEND, "1", 100, 1), LINEERR_INVALDIGITMODE);
  TSPIGENERATE* pFirst = nullptr;
  ASSERT_EQ(generate(LINEDIGITMODE_PULSE, "1!2", 10, 21, &pFirst), 0);
  EXPECT_EQ(pFirst->dwDuration, 50u);
  ASSERT_EQ(generate(LINEDIGITMODE_DTMF, "A*#", 900, 22), 0);  // replaces the first
  line->CompleteRequest(line->FindRequest(pCall, REQUEST_LINEGENERATEDIGITS).Get(), 0);
  std::vector<std::pair<DWORD_PTR, DWORD_PTR>> ends;
  for (const auto& event : TapiLog::Get().Events()) {
    if (event.dwMsg == LINE_GENERATE) ends.emplace_back(event.dwParam1, event.dwParam2);
  }
  EXPECT_EQ(ends, (std::vector<std::pair<DWORD_PTR, DWORD_PTR>>{{LINEGENERATETERM_CANCEL, 21},
                                                                {LINEGENERATETERM_DONE, 22}}));
}

TEST_F(CallTest, ToneMonitorsAreCheckedAndReplacedByListID) {
  line->ChangeCaps([](LINEDEVCAPS& caps) {
    caps.dwMonitorToneMaxNumFreq = 2;
    caps.dwMonitorToneMaxNumEntries = 2;
  });
  TestCall* pCall = NewCall(0xA21, LINECALLSTATE_CONNECTED);
  auto monitor = [&](DWORD dwListID, std::vector<LINEMONITORTONE> tones) {
    auto* pMonitor = new TSPITONEMONITOR;
    pMonitor->dwToneListID = dwListID;
    AppendEntryCopies(pMonitor->arrTones, tones.data(), static_cast<DWORD>(tones.size()));
    const LONG lResult = pCall->MonitorTones(pMonitor);
    if (lResult != 0) delete pMonitor;
    return lResult;
  };
  EXPECT_EQ(monitor(1, {}), LINEERR_INVALTONELIST);  // cancels a list never set
  EXPECT_EQ(monitor(1, {{7, 100, 350, 440, 480}}), LINEERR_INVALTONE);
  EXPECT_EQ(monitor(1, {{7, 100, 350, 440, 0}}), 0);
  EXPECT_EQ(monitor(1, {{8, 100, 350, 0, 0}}), 0);  // same ID: replaced
  EXPECT_EQ(monitor(2, {{9, 100, 350, 0, 0}}), 0);
  EXPECT_EQ(pCall->GetToneMonitorCount(), 2);
  EXPECT_EQ(monitor(1, {}), 0);
  EXPECT_EQ(pCall->GetToneMonitorCount(), 1);
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_EQ(pCall->GetToneMonitorCount(), 0);
}

// The timed entry is served by the test: the timer thread could run it before the first checks.
TEST_F(QuietTimerTest, AMediaModeChangeRunsItsMediaControlNowOrWhenDue) {
  TestCall* pCall = NewCall(0xA31);
  auto* pMedia = new TSPIMEDIACONTROL;
  const LINEMEDIACONTROLMEDIA entries[] = {{LINEMEDIAMODE_INTERACTIVEVOICE, 0, 5},
                                           {LINEMEDIAMODE_INTERACTIVEVOICE, 3, 6},
                                           {LINEMEDIAMODE_DATAMODEM, 0, 7}};
  ASSERT_TRUE(AppendEntryCopies(pMedia->arrMedia, entries, 3));
  pCall->SetMediaControl(pMedia);
  pCall->ChangeCallState(LINECALLSTATE_CONNECTED, 0, LINEMEDIAMODE_INTERACTIVEVOICE);
  EXPECT_EQ(line->mediaActions, 1);  // the voice entry without a duration
  EXPECT_EQ(pCall->GetTimerEventCount(), 1);
  ASSERT_TRUE(WaitUntil([&] {
    pCall->ServiceCallTimers();
    return line->mediaActions == 2;
  }));
  EXPECT_EQ(pCall->GetTimerEventCount(), 0);
  pCall->ChangeCallState(LINECALLSTATE_IDLE);
  EXPECT_EQ(pCall->GetMediaControl(), nullptr);  // released: the record is gone with it
}

// (The device class list: VarStructSizesTest.PartsThatPointIntoTheStructureHoldWhatTheyName.)
TEST_F(CallTest, AddressCapsFollowTheVersion) {
  CallerBuffer old(176);
  ASSERT_EQ(pAddr->GetAddressCaps(0x00010003, 0, old.As<LINEADDRESSCAPS>()), 0);
  EXPECT_TRUE(old.GuardIntact());
  EXPECT_EQ(old.As<LINEADDRESSCAPS>()->dwUsedSize, 176u);

  CallerBuffer buffer(1024);
  ASSERT_EQ(pAddr->GetAddressCaps(0x00020000, 0, buffer.As<LINEADDRESSCAPS>()), 0);
  const auto* pCaps = buffer.As<LINEADDRESSCAPS>();
  EXPECT_EQ(pCaps->dwLineDeviceID, kCallLineID);
  const auto* pAddress =
      reinterpret_cast<const char16_t*>(buffer.Bytes().data() + pCaps->dwAddressOffset);
  EXPECT_EQ(std::u16string(pAddress), u"1000");
}

TEST_F(CallTest, CallInformationFollowsTheLinesVersion) {
  line->CloseLine();
  ASSERT_EQ(line->OpenLine(kTapiLine, &CallTapi::Callback, 0x00010004), 0);
  TestCall* pCall = NewCall(0xA41, LINECALLSTATE_CONNECTED);
  pCall->SetCallerID(LINECALLPARTYID_ADDRESS, "2000", nullptr);
  pCall->StoreCallData("data", 4);
  CallerBuffer buffer(296 + 64);
  ASSERT_EQ(pCall->GetCallInfo(buffer.As<LINECALLINFO>()), 0);
  const auto* pInfo = buffer.As<LINECALLINFO>();
  // The fixed part of 1.4 and the caller number; no call data, which 1.4 does not know.
  EXPECT_EQ(pInfo->dwUsedSize, 296u + 10u);
  EXPECT_EQ(pInfo->dwNeededSize, 296u + 10u);
  EXPECT_EQ(pInfo->dwCallerIDSize, 10u);
  EXPECT_TRUE(buffer.GuardIntact());

  CallerBuffer status(56);
  ASSERT_EQ(pCall->GetCallStatus(status.As<LINECALLSTATUS>()), 0);
  EXPECT_EQ(status.As<LINECALLSTATUS>()->dwUsedSize, 36u);
  EXPECT_EQ(status.As<LINECALLSTATUS>()->dwCallState, static_cast<DWORD>(LINECALLSTATE_CONNECTED));
}

}  // namespace
}  // namespace fw_test
