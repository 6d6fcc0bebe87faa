// The line's life with TAPI: initial features, open and close, line events under TAPI's mask,
// status flags, line features and call counters, and the provider entries that reach the line.
#include <gtest/gtest.h>

#include "platform/tspi.h"
#include "tests/framework/framework_doubles.h"

namespace fw_test {
namespace {

TEST(LineInitTest, FeaturesFollowTheExportedFunctionsOnly) {
  struct {
    WORD wFunction;
    DWORD dwCaps, dwStatus, dwDevCapFlags;
  } const cases[] = {
      {TSPI_LINEMAKECALL, LINEFEATURE_MAKECALL, 0, 0},
      {TSPI_LINESETMEDIACONTROL, LINEFEATURE_SETMEDIACONTROL, LINEFEATURE_SETMEDIACONTROL,
       LINEDEVCAPFLAGS_MEDIACONTROL},
      {TSPI_LINEDEVSPECIFIC, LINEFEATURE_DEVSPECIFIC, LINEFEATURE_DEVSPECIFIC, 0},
      {TSPI_LINEDEVSPECIFICFEATURE, LINEFEATURE_DEVSPECIFICFEAT, LINEFEATURE_DEVSPECIFICFEAT, 0},
      {TSPI_LINEFORWARD, LINEFEATURE_FORWARD, LINEFEATURE_FORWARD, 0},
      {TSPI_LINESETLINEDEVSTATUS, LINEFEATURE_SETDEVSTATUS, LINEFEATURE_SETDEVSTATUS, 0},
      {TSPI_LINESETTERMINAL, LINEFEATURE_SETTERMINAL, 0, 0},
      {TSPI_LINEHOLD, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(TSPIFunctionNameTable[c.wFunction]);
    TestProvider provider(0x00020001, {TSPIFunctionNameTable[c.wFunction]});
    CTSPIDevice device;
    ASSERT_TRUE(device.Init(kProviderID, 0, 0, 0, 0, nullptr, nullptr));
    CTSPILineConnection line;
    line.Init(&device, kDeviceID, kLineIndex);
    EXPECT_EQ(line.GetLineDevCaps().dwLineFeatures, c.dwCaps);
    EXPECT_EQ(line.GetLineDevStatus().dwLineFeatures, c.dwStatus);
    EXPECT_EQ(line.GetLineDevCaps().dwDevCapFlags, c.dwDevCapFlags);
  }
}

TEST_F(LineTest, CloseFailsQueuedRequestsReportsCloseAndForgetsTapi) {
  ASSERT_EQ(Open(0x00010004, LINEDEVSTATE_CLOSE | LINEDEVSTATE_OTHER), 0);
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, REQUEST_LINEMAKECALL, 11, nullptr, 0));
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, REQUEST_LINEHOLD, 12, nullptr, 0));
  line.SetFlags(CONNFLAG_REMOVEONCLOSE);

  EXPECT_EQ(line.CloseLine(), 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(11), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(TapiLog::Get().ResultsFor(12), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(line.GetRequestCount(), 0);
  EXPECT_EQ(
      TapiLog::Get().Events(),
      (std::vector<LineEvent>{{kTapiLine, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_CLOSE, 0, 0}}));
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(line.GetLineEventCallback(), nullptr);
  EXPECT_EQ(line.GetLineStateMask(), 0u);
  EXPECT_EQ(line.GetNegotiatedVersion(), 0x00020001u);
  EXPECT_EQ(provider.closes, 1);
  EXPECT_NE(line.GetFlags() & CONNFLAG_REMOVED, 0u);

  EXPECT_EQ(line.CloseLine(), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(provider.closes, 1);
}

TEST_F(LineTest, CloseLetsQueuedDropsFinishWithTheirOwnResult) {
  ASSERT_EQ(Open(), 0);
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, REQUEST_LINEMAKECALL, 21, nullptr, 0));
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, REQUEST_LINEDROP, 22, nullptr, 0));
  std::thread closer([this] { EXPECT_EQ(line.CloseLine(), 0); });
  // The switch answers the drop while the close waits for it.
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  CTSPIRequestPtr pDrop = line.FindRequest(nullptr, REQUEST_LINEDROP);
  ASSERT_TRUE(pDrop);
  line.CompleteRequest(pDrop.Get(), 0);
  closer.join();
  EXPECT_EQ(TapiLog::Get().ResultsFor(22), std::vector<LONG>{0});
  EXPECT_EQ(TapiLog::Get().ResultsFor(21), std::vector<LONG>{LINEERR_OPERATIONFAILED});
}

TEST_F(LineTest, CloseGivesUpOnADropNobodyAnswersAndTheLineOpensAgain) {
  provider.SetDefaultRequestWait(20);
  ASSERT_EQ(Open(), 0);
  ASSERT_TRUE(line.QueueRequest(nullptr, nullptr, REQUEST_LINEMAKECALL, 31, nullptr, 0));
  CTSPIRequestPtr pDrop = line.QueueRequest(nullptr, nullptr, REQUEST_LINEDROP, 32, nullptr, 0);
  ASSERT_TRUE(pDrop);
  std::atomic<bool> closed{false};
  std::atomic<LONG> closeResult{1};
  std::thread closer([&] {
    closeResult = line.CloseLine();
    closed = true;
  });
  const bool bClosedInTime = WaitUntil([&] { return closed.load(); });
  if (!bClosedInTime) line.CompleteRequest(pDrop.Get(), 0);  // let a hanging close go
  closer.join();
  ASSERT_TRUE(bClosedInTime);
  EXPECT_EQ(closeResult, 0);
  EXPECT_EQ(TapiLog::Get().ResultsFor(32), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(TapiLog::Get().ResultsFor(31), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(device.cancelled, 2);  // both were started: the switch line forgets them
  EXPECT_EQ(provider.closes, 1);
  EXPECT_FALSE(line.IsOpen());

  line.CompleteRequest(pDrop.Get(), 0);  // the answer comes after all
  EXPECT_EQ(TapiLog::Get().ResultsFor(32), std::vector<LONG>{LINEERR_OPERATIONFAILED});
  EXPECT_EQ(Open(), 0);
}

TEST_F(LineTest, CloseDropsTheCallsOfEveryAddressOnlyWithCloseDrop) {
  MakeCalls();
  TestAddress* pSecond = line.AddAddress();
  CTSPICallAppearance* pOther =
      pSecond->FindOrCreateCall(reinterpret_cast<HTAPICALL>(0x201), 0, 0, 0, 0, 0);
  ASSERT_NE(pOther, nullptr);
  line.onStart = [&](CTSPIRequest* pReq) {  // the switch answers each drop at once
    if (pReq->GetType() == REQUEST_LINEDROP) line.CompleteRequest(pReq, 0);
  };
  auto drops = [&] {
    size_t n = 0;
    for (const auto& start : line.Starts()) n += start.wType == REQUEST_LINEDROP;
    return n;
  };
  ASSERT_EQ(Open(), 0);
  ASSERT_EQ(line.CloseLine(), 0);
  EXPECT_EQ(drops(), 0u);

  line.ChangeCaps([](LINEDEVCAPS& caps) { caps.dwDevCapFlags |= LINEDEVCAPFLAGS_CLOSEDROP; });
  ASSERT_EQ(Open(), 0);
  ASSERT_EQ(line.CloseLine(), 0);
  EXPECT_EQ(drops(), 5u);  // the fixture's four calls and the second address's one
}

TEST_F(LineTest, LineDevStateIsSentOnlyForMaskedStatesOfAnOpenLine) {
  line.ReportLineDevState(LINEDEVSTATE_REINIT, 0, 0);  // closed: never
  ASSERT_EQ(Open(0x00020001, LINEDEVSTATE_CONNECTED), 0);
  line.ReportLineDevState(LINEDEVSTATE_OTHER, 0, 0);
  line.ReportLineDevState(LINEDEVSTATE_INSERVICE, 0, 0);
  line.ReportLineDevState(0, 0, 0);
  line.ReportLineDevState(LINEDEVSTATE_REINIT, 5, 6);
  line.ReportLineDevState(LINEDEVSTATE_CONNECTED | LINEDEVSTATE_INSERVICE, 0, 0);
  line.SetStatusMessages(0, 0);
  line.ReportLineDevState(LINEDEVSTATE_CONNECTED, 0, 0);
  line.ReportLineDevState(LINEDEVSTATE_REINIT, 0, 0);
  EXPECT_EQ(
      TapiLog::Get().Events(),
      (std::vector<LineEvent>{{kTapiLine, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, 5, 6},
                              {kTapiLine, nullptr, LINE_LINEDEVSTATE,
                               LINEDEVSTATE_CONNECTED | LINEDEVSTATE_INSERVICE, 0, 0},
                              {kTapiLine, nullptr, LINE_LINEDEVSTATE, LINEDEVSTATE_REINIT, 0, 0}}));

  line.ReportConfigChanged();  // whatever the mask
  EXPECT_EQ(TapiLog::Get().DevStates().back(), LINEDEVSTATE_CONFIGCHANGE);

  ASSERT_EQ(line.CloseLine(), 0);
  line.ReportLineDevState(LINEDEVSTATE_REINIT, 0, 0);
  line.ReportConfigChanged();
  EXPECT_EQ(TapiLog::Get().Events().size(), 4u);
}

TEST_F(LineTest, DialogInstanceMessagesAddressTapisDialogsWhichAnEndingLineCloses) {
  MakeCalls();
  ASSERT_EQ(Open(), 0);
  line.SendLineEvent(callB, LINE_CALLSTATE, 1, 2, 3);
  line.SendLineEvent(nullptr, LINE_CREATEDIALOGINSTANCE, 0x99, 0, 0);
  line.SendLineEvent(nullptr, LINE_SENDDIALOGINSTANCEDATA, 1, 2, 0x77);
  // The call's event goes to its TAPI handle; a dialog's to the provider or the dialog.
  EXPECT_EQ(
      TapiLog::Get().Events(),
      (std::vector<LineEvent>{
          {kTapiLine, reinterpret_cast<HTAPICALL>(0x102), LINE_CALLSTATE, 1, 2, 3},
          {reinterpret_cast<HTAPILINE>(kProviderHandle), nullptr, LINE_CREATEDIALOGINSTANCE, 0x99,
           0, 0},
          {reinterpret_cast<HTAPILINE>(0x77), nullptr, LINE_SENDDIALOGINSTANCEDATA, 1, 2, 0}}));

  // An open line that is destroyed closes TAPI's dialogs.
  TapiLog::Get().Reset();
  auto* pLine = new TestLine;
  pLine->Init(&device, kDeviceID + 1, 3);
  ASSERT_EQ(pLine->OpenLine(kTapiLine, &TapiLog::LineCallback, 0x00020001), 0);
  pLine->AddDialogInstance(0x51);
  pLine->AddDialogInstance(0x52);
  delete pLine;
  EXPECT_EQ(
      TapiLog::Get().Events(),
      (std::vector<LineEvent>{
          {reinterpret_cast<HTAPILINE>(0x51), nullptr, LINE_SENDDIALOGINSTANCEDATA, 0, 0, 0},
          {reinterpret_cast<HTAPILINE>(0x52), nullptr, LINE_SENDDIALOGINSTANCEDATA, 0, 0, 0}}));
}

TEST_F(LineTest, LosingServiceReportsItAndTakesAwayTheFeatures) {
  TestAddress* pAddr = line.AddAddress();
  ASSERT_EQ(
      Open(0x00020001, LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_MSGWAITON | LINEDEVSTATE_OTHER), 0);
  line.ChangeDevStatusFlags(LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_MSGWAIT);
  EXPECT_EQ(TapiLog::Get().DevStates(),
            (std::vector<DWORD_PTR>{LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_MSGWAITON,
                                    LINEDEVSTATE_OTHER}));
  EXPECT_EQ(line.GetLineDevStatus().dwLineFeatures, 0u);
  EXPECT_EQ(pAddr->featureUpdates, 1);

  TapiLog::Get().Reset();
  line.ChangeDevStatusFlags(LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE);
  // INSERVICE and MSGWAITOFF are not in the mask; the features come back.
  EXPECT_EQ(TapiLog::Get().DevStates(), std::vector<DWORD_PTR>{LINEDEVSTATE_OTHER});
  EXPECT_EQ(line.GetLineDevStatus().dwLineFeatures, LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD);
}

TEST_F(LineTest, OneStatusFlagChangesAloneAndIsReportedOnce) {
  ASSERT_EQ(Open(0x00020001, LINEDEVSTATE_OUTOFSERVICE | LINEDEVSTATE_INSERVICE |
                                 LINEDEVSTATE_MSGWAITON | LINEDEVSTATE_MSGWAITOFF),
            0);
  line.SetDevStatusFlags(LINEDEVSTATUSFLAGS_MSGWAIT, TRUE);
  line.SetDevStatusFlags(LINEDEVSTATUSFLAGS_INSERVICE, FALSE);
  line.SetDevStatusFlags(LINEDEVSTATUSFLAGS_INSERVICE, FALSE);  // no change, nothing reported
  EXPECT_EQ(line.GetLineDevStatus().dwDevStatusFlags,
            LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_MSGWAIT);
  line.SetDevStatusFlags(LINEDEVSTATUSFLAGS_INSERVICE, TRUE);
  line.SetDevStatusFlags(LINEDEVSTATUSFLAGS_MSGWAIT, FALSE);
  EXPECT_EQ(line.GetLineDevStatus().dwDevStatusFlags,
            LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE);
  EXPECT_EQ(TapiLog::Get().DevStates(),
            (std::vector<DWORD_PTR>{LINEDEVSTATE_MSGWAITON, LINEDEVSTATE_OUTOFSERVICE,
                                    LINEDEVSTATE_INSERVICE, LINEDEVSTATE_MSGWAITOFF}));
}

TEST_F(LineTest, FeaturesTheCapabilitiesLackAreAddedAndReported) {
  ASSERT_EQ(Open(0x00020001, LINEDEVSTATE_CAPSCHANGE | LINEDEVSTATE_OTHER), 0);
  // One bit the capabilities hold, one they lack.
  line.SetLineFeatures(LINEFEATURE_FORWARD | LINEFEATURE_SETTERMINAL);
  EXPECT_EQ(line.GetLineDevCaps().dwLineFeatures,
            LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD | LINEFEATURE_SETTERMINAL);
  EXPECT_EQ(line.GetLineDevStatus().dwLineFeatures, LINEFEATURE_FORWARD | LINEFEATURE_SETTERMINAL);
  EXPECT_EQ(TapiLog::Get().DevStates(),
            (std::vector<DWORD_PTR>{LINEDEVSTATE_CAPSCHANGE, LINEDEVSTATE_OTHER}));

  TapiLog::Get().Reset();
  line.SetLineFeatures(LINEFEATURE_FORWARD | LINEFEATURE_SETTERMINAL);  // no change
  line.SetLineFeatures(LINEFEATURE_MAKECALL);
  EXPECT_EQ(TapiLog::Get().DevStates(), std::vector<DWORD_PTR>{LINEDEVSTATE_OTHER});
}

TEST_F(LineTest, CallCountersAndTheMakeCallFeatureFollowTheCallsAndNeverGoBelowZero) {
  ASSERT_EQ(Open(0x00020001, LINEDEVSTATE_NUMCALLS), 0);
  struct {
    DWORD dwNew, dwOld;
    DWORD dwActive, dwOnHold, dwPending;
  } const steps[] = {
      {LINECALLSTATE_CONNECTED, LINECALLSTATE_IDLE, 1, 0, 0},
      {LINECALLSTATE_CONNECTED, LINECALLSTATE_OFFERING, 1, 0, 0},  // active to active
      {LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED, 0, 1, 0},
      {LINECALLSTATE_ONHOLD, LINECALLSTATE_CONNECTED, 0, 2, 0},
      {LINECALLSTATE_ONHOLDPENDCONF, LINECALLSTATE_ONHOLD, 0, 1, 1},
      {LINECALLSTATE_IDLE, LINECALLSTATE_ONHOLD, 0, 0, 1},
      {LINECALLSTATE_IDLE, LINECALLSTATE_ONHOLD, 0, 0, 1},
      {LINECALLSTATE_IDLE, LINECALLSTATE_ONHOLDPENDTRANSFER, 0, 0, 0},
      {LINECALLSTATE_IDLE, LINECALLSTATE_CONNECTED, 0, 0, 0},
  };
  for (const auto& s : steps) {
    line.UpdateCallCounters(nullptr, nullptr, s.dwNew, s.dwOld);
    const LINEDEVSTATUS status = line.GetLineDevStatus();
    EXPECT_EQ(status.dwNumActiveCalls, s.dwActive);
    EXPECT_EQ(status.dwNumOnHoldCalls, s.dwOnHold);
    EXPECT_EQ(status.dwNumOnHoldPendCalls, s.dwPending);
  }
  line.ReportCallCounterChange();
  line.ReportCallCounterChange();
  line.UpdateCallCounters(nullptr, nullptr, LINECALLSTATE_IDLE, LINECALLSTATE_IDLE);
  line.ReportCallCounterChange();
  EXPECT_EQ(TapiLog::Get().DevStates(), std::vector<DWORD_PTR>{LINEDEVSTATE_NUMCALLS});

  // The make-call feature follows the limit of active calls.
  line.AdjustActiveCallCount(2);
  EXPECT_EQ(line.GetLineDevStatus().dwLineFeatures, LINEFEATURE_FORWARD);
  line.AdjustActiveCallCount(-5);
  EXPECT_EQ(line.GetActiveCallCount(), 0);
  EXPECT_EQ(line.GetLineDevStatus().dwLineFeatures, LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD);
}

TEST_F(LineTest, TerminalModesChangeOnlyForKnownTerminals) {
  line.AddTerminal("Handset", LINETERMDEV_PHONE, LINETERMMODE_BUTTONS);
  TestAddress* pAddr = line.AddAddress();  // takes the line's terminal
  ASSERT_EQ(Open(0x00020001, LINEDEVSTATE_TERMINALS), 0);
  line.SetTerminalModes(0, LINETERMMODE_LAMPS, TRUE);
  line.SetTerminalModes(0, LINETERMMODE_BUTTONS, FALSE);
  line.SetTerminalModes(1, LINETERMMODE_LAMPS, TRUE);
  EXPECT_EQ(line.GetTerminalModes(0), LINETERMMODE_LAMPS);
  EXPECT_EQ(line.GetTerminalModes(1), 0u);
  EXPECT_EQ(line.GetTerminalModes(-1), 0u);
  EXPECT_EQ(TapiLog::Get().DevStates().size(), 2u);
  EXPECT_EQ(pAddr->GetTerminalMode(0), LINETERMMODE_LAMPS);
}

TEST_F(LineTest, EntriesReachTheLineWhichRefusesASecondOpenAndStaysClosedWhenRefused) {
  TestAddress* pAddr = line.AddAddress();
  HDRVLINE hdLine = nullptr;
  EXPECT_EQ(provider.lineOpen(&line, kTapiLine, &hdLine, 0x00010004, &TapiLog::LineCallback), 0);
  EXPECT_EQ(hdLine, reinterpret_cast<HDRVLINE>(&line));
  EXPECT_TRUE(line.IsOpen());
  EXPECT_EQ(line.GetLineHandle(), kTapiLine);
  EXPECT_EQ(line.GetNegotiatedVersion(), 0x00010004u);
  EXPECT_EQ(line.OpenLine(kTapiLine, &TapiLog::LineCallback, 0x00020001), LINEERR_ALLOCATED);
  EXPECT_EQ(line.GetNegotiatedVersion(), 0x00010004u);
  EXPECT_EQ(provider.opens, 1);
  EXPECT_EQ(provider.lineSetStatusMessages(&line, LINEDEVSTATE_RINGING, 0x42), 0);
  EXPECT_EQ(line.GetLineStateMask(), LINEDEVSTATE_RINGING);
  EXPECT_EQ(pAddr->statusMessages, std::vector<DWORD>{0x42});
  DWORD dwCount = 0;
  EXPECT_EQ(provider.lineGetNumAddressIDs(&line, &dwCount), 0);
  EXPECT_EQ(dwCount, 1u);
  CallerBuffer caps(400);
  // Asked at 2.x, the capabilities are those of the negotiated 1.4: no device classes.
  ASSERT_EQ(provider.lineGetDevCaps(&line, 0x00020001, 0, caps.As<LINEDEVCAPS>()), 0);
  EXPECT_EQ(caps.As<LINEDEVCAPS>()->dwProviderInfoOffset, 240u);
  EXPECT_EQ(caps.As<LINEDEVCAPS>()->dwNeededSize, 240u + 60u + 10u);  // 1.4, "2001"
  HICON hIcon = reinterpret_cast<HICON>(1);
  EXPECT_EQ(provider.lineGetIcon(&line, "tapi/line", &hIcon), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(hIcon, nullptr);
  EXPECT_EQ(provider.lineClose(&line), 0);

  // A refused open leaves the line closed, with the provider's version and its capabilities.
  provider.acceptOpen = FALSE;
  hdLine = nullptr;
  EXPECT_EQ(provider.lineOpen(&line, kTapiLine, &hdLine, 0x00010004, &TapiLog::LineCallback),
            LINEERR_RESOURCEUNAVAIL);
  EXPECT_EQ(hdLine, nullptr);
  EXPECT_FALSE(line.IsOpen());
  EXPECT_EQ(line.GetLineEventCallback(), nullptr);
  EXPECT_EQ(line.GetNegotiatedVersion(), 0x00020001u);
  ASSERT_EQ(line.GetDevCaps(0x00020001, 0, caps.As<LINEDEVCAPS>()), 0);
  EXPECT_EQ(caps.As<LINEDEVCAPS>()->dwProviderInfoOffset, 252u);
  provider.acceptOpen = TRUE;
  EXPECT_EQ(Open(), 0);
}

}  // namespace
}  // namespace fw_test
