// The provider's line request entries reached through the exported functions, against a line
// that answers its requests itself: what each entry refuses before anything is built, what it
// hands on, that an accepted request is completed once, and that a refused one leaves nothing
// behind (the address sanitizer sees any leak or double free of the failure paths).
#include <gtest/gtest.h>

#include "framework/dial_info.h"
#include "framework/tspi_exports.h"
#include "platform/tspi.h"
#include "tests/framework/call_doubles.h"

namespace fw_test {
namespace {

HDRVCALL H(CTSPICallAppearance* pCall) {
  return reinterpret_cast<HDRVCALL>(pCall);
}

// Call parameters with dwUUISize bytes of user-user information after the fixed part.
std::vector<BYTE> CallParams(DWORD dwUUISize, DWORD dwAddressMode = 0, DWORD dwAddressID = 0) {
  std::vector<BYTE> bytes(sizeof(LINECALLPARAMS) + dwUUISize, 0x5A);
  LINECALLPARAMS params{};
  params.dwTotalSize = static_cast<DWORD>(bytes.size());
  params.dwAddressMode = dwAddressMode;
  params.dwAddressID = dwAddressID;
  params.dwUserUserInfoSize = dwUUISize;
  params.dwUserUserInfoOffset = dwUUISize != 0 ? sizeof(LINECALLPARAMS) : 0;
  std::memcpy(bytes.data(), &params, sizeof(params));
  return bytes;
}
LPLINECALLPARAMS AsParams(std::vector<BYTE>& bytes) {
  return reinterpret_cast<LPLINECALLPARAMS>(bytes.data());
}

// A LINEFORWARDLIST of dwTotalSize bytes: one entry per destination (UNCOND), each destination
// written as UTF-16 after the entries; "" leaves the entry without one.
CallerBuffer ForwardList(const std::vector<std::string>& dests, DWORD dwTotalSize = 0,
                         const std::string& caller = "") {
  const DWORD dwEntries = static_cast<DWORD>(dests.size());
  DWORD dwText = 8 + 24 * std::max<DWORD>(dwEntries, 1);
  DWORD dwNeeded = dwText + static_cast<DWORD>(2 * (caller.size() + 1));
  for (const std::string& dest : dests) dwNeeded += static_cast<DWORD>(2 * (dest.size() + 1));
  CallerBuffer list(dwTotalSize != 0 ? dwTotalSize : dwNeeded, dwNeeded + 64);
  list.Put(4, dwEntries);
  for (DWORD i = 0; i < dwEntries; ++i) {
    LINEFORWARD entry{};
    entry.dwForwardMode = LINEFORWARDMODE_UNCOND;
    if (i == 0 && !caller.empty()) {
      entry.dwCallerAddressSize = static_cast<DWORD>(2 * (caller.size() + 1));
      entry.dwCallerAddressOffset = dwText;
      list.PutText(dwText, caller + "|");
      dwText += entry.dwCallerAddressSize;
    }
    if (!dests[i].empty()) {
      entry.dwDestAddressSize = static_cast<DWORD>(2 * (dests[i].size() + 1));
      entry.dwDestAddressOffset = dwText;
      list.PutText(dwText, dests[i] + "|");
      dwText += entry.dwDestAddressSize;
    }
    list.Put(8 + 24 * i, entry);
  }
  return list;
}

class LineEntryTest : public CallTest {
 protected:
  void SetUp() override {
    CallTest::SetUp();
    line->ChangeCaps([](LINEDEVCAPS& caps) {
      caps.dwUUIMakeCallSize = 100;
      caps.dwUUIAnswerSize = 40;
      caps.dwUUIDropSize = 40;
      caps.dwUUIAcceptSize = 40;
      caps.dwUUISendUserUserInfoSize = 0;
      caps.dwDevCapFlags |= LINEDEVCAPFLAGS_MULTIPLEADDR;
    });
    pAddr->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
      caps.dwForwardModes = LINEFORWARDMODE_UNCOND;
      caps.dwMaxForwardEntries = 4;
      caps.dwMaxSpecificEntries = 4;
      caps.dwTransferModes = LINETRANSFERMODE_TRANSFER;
    });
  }
  HDRVLINE LineHandle() const { return reinterpret_cast<HDRVLINE>(line); }
  // The record of the first started request of that type, as the line's script saw it.
  template <class T>
  void Capture(WORD wType, std::function<void(T*)> look, LONG lResult = 0) {
    line->Answer(wType, [look, lResult](Line& l, CTSPIRequest* pReq) {
      look(dynamic_cast<T*>(pReq->GetRecordObject()));
      l.CompleteRequest(pReq, lResult);
    });
  }
};

// What a refusal row's entry is handed: the provider, a connected call and the line's handle.
struct At {
  CServiceProvider& sp;
  CTSPICallAppearance* c;
  HDRVLINE l;
  HDRVCALL h() const { return H(c); }
};

struct RefusalRow {
  const char* name;
  LONG lExpected;
  LONG (*invoke)(const At& at);
};

WCHAR g_digits[8];
LINEMONITORTONE g_tone{};
HDRVCALL g_hd = nullptr;
const std::string g_uui(50, 'u');

// A forward through the line's handle with the given list.
LONG Forward(HDRVLINE hdLine, CallerBuffer list) {
  return TSPI_lineForward(1, hdLine, FALSE, 0, list.As<LINEFORWARDLIST>(), 0, nullptr, &g_hd,
                          nullptr);
}
void ParkModes(CTSPICallAppearance* pCall, DWORD dwModes) {
  pCall->GetAddressOwner()->ChangeAddressCaps(
      [dwModes](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) { caps.dwParkModes = dwModes; });
}

const RefusalRow kRefusals[] = {
    {"lineDial without address", LINEERR_INVALADDRESS,
     [](const At& a) { return TSPI_lineDial(1, a.h(), u"", 0); }},
    {"lineBlindTransfer without address", LINEERR_INVALADDRESS,
     [](const At& a) { return TSPI_lineBlindTransfer(1, a.h(), nullptr, 0); }},
    {"lineRedirect without address", LINEERR_INVALADDRESS,
     [](const At& a) { return TSPI_lineRedirect(1, a.h(), u"", 0); }},
    {"lineUnpark without address", LINEERR_INVALADDRESS,
     [](const At& a) { return TSPI_lineUnpark(1, a.l, 0, nullptr, &g_hd, u""); }},
    {"lineDial of a partial address the address cannot take", LINEERR_INVALPOINTER,
     [](const At& a) { return TSPI_lineDial(1, a.h(), u"5551234;", 0); }},
    {"lineMakeCall with 200 bytes of UUI over 100", LINEERR_USERUSERINFOTOOBIG,
     [](const At& a) {
       std::vector<BYTE> params = CallParams(200);
       return TSPI_lineMakeCall(1, a.l, nullptr, &g_hd, u"2000", 0, AsParams(params));
     }},
    {"lineAnswer with 50 bytes of UUI over 40", LINEERR_USERUSERINFOTOOBIG,
     [](const At& a) { return TSPI_lineAnswer(1, a.h(), g_uui.c_str(), 50); }},
    {"lineDrop with 50 bytes of UUI over 40", LINEERR_USERUSERINFOTOOBIG,
     [](const At& a) { return TSPI_lineDrop(1, a.h(), g_uui.c_str(), 50); }},
    {"lineAccept with 50 bytes of UUI over 40", LINEERR_USERUSERINFOTOOBIG,
     [](const At& a) { return a.sp.lineAccept(a.c, 1, g_uui.c_str(), 50); }},
    {"lineSendUserUserInfo without information", LINEERR_OPERATIONFAILED,
     [](const At& a) { return a.sp.lineSendUserUserInfo(a.c, 1, "x", 0); }},
    {"lineSendUserUserInfo over a limit of 0", LINEERR_USERUSERINFOTOOBIG,
     [](const At& a) { return a.sp.lineSendUserUserInfo(a.c, 1, "x", 1); }},
    {"lineGatherDigits into a buffer of 0 digits", LINEERR_INVALPARAM,
     [](const At& a) {
       return TSPI_lineGatherDigits(a.h(), 1, LINEDIGITMODE_DTMF, g_digits, 0, u"#", 0, 0);
     }},
    {"lineMonitorTones with a list of 0 entries", LINEERR_INVALPARAM,
     [](const At& a) { return TSPI_lineMonitorTones(a.h(), 1, &g_tone, 0); }},
    {"lineRemoveFromConference of a call in none", LINEERR_NOCONFERENCE,
     [](const At& a) { return TSPI_lineRemoveFromConference(1, a.h()); }},
    {"lineForward with one entry in 16 bytes", LINEERR_STRUCTURETOOSMALL,
     [](const At& a) { return Forward(a.l, ForwardList({""}, 16)); }},
    {"lineForward with entries past dwTotalSize", LINEERR_STRUCTURETOOSMALL,
     [](const At& a) {
       return Forward(a.l, ForwardList({"", ""}, 32));
     }},
    // The destination starts inside the list and runs 4 bytes past its end.
    {"lineForward with a destination past dwTotalSize", LINEERR_INVALPARAM,
     [](const At& a) { return Forward(a.l, ForwardList({"5551234"}, 32 + 12)); }},
    {"lineSetupTransfer to an address ID the line lacks", LINEERR_INVALADDRESSID,
     [](const At& a) {
       std::vector<BYTE> params = CallParams(0, LINEADDRESSMODE_ADDRESSID, 5);
       return TSPI_lineSetupTransfer(1, a.h(), nullptr, &g_hd, AsParams(params));
     }},
    {"directed linePark without address", LINEERR_INVALADDRESS,
     [](const At& a) { return a.sp.linePark(a.c, 1, LINEPARKMODE_DIRECTED, nullptr, nullptr); }},
    {"directed linePark to an empty address, on an address that parks directed",
     LINEERR_INVALADDRESS,
     [](const At& a) {
       ParkModes(a.c, LINEPARKMODE_DIRECTED | LINEPARKMODE_NONDIRECTED);
       return TSPI_linePark(1, a.h(), LINEPARKMODE_DIRECTED, u"", nullptr);
     }},
    {"directed linePark to a NULL address, on an address that parks directed", LINEERR_INVALADDRESS,
     [](const At& a) {
       ParkModes(a.c, LINEPARKMODE_DIRECTED);
       return TSPI_linePark(1, a.h(), LINEPARKMODE_DIRECTED, nullptr, nullptr);
     }},
    {"lineSetMediaControl on a line without the feature", LINEERR_OPERATIONUNAVAIL,
     [](const At& a) {
       CTSPILineConnection* pLine = a.c->GetLineOwner();
       pLine->SetLineFeatures(pLine->GetLineDevStatus().dwLineFeatures &
                              ~LINEFEATURE_SETMEDIACONTROL);
       return a.sp.lineSetMediaControl(pLine, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0,
                                       nullptr, 0);
     }},
    {"lineGetCallAddressID without a place for the ID", LINEERR_INVALPOINTER,
     [](const At& a) { return TSPI_lineGetCallAddressID(a.h(), nullptr); }},
};

TEST_F(LineEntryTest, EntriesRefuseWhatTheyCannotServeBeforeAnythingIsQueued) {
  TestCall* pCall = NewCall(0x501, LINECALLSTATE_CONNECTED);
  ASSERT_NE(pCall, nullptr);
  for (const RefusalRow& row : kRefusals) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.invoke(At{sp, pCall, LineHandle()}), row.lExpected);
    EXPECT_EQ(line->GetRequestCount(), 0);
    EXPECT_TRUE(line->Started().empty());
    EXPECT_EQ(pAddr->GetCallCount(), 1);
    EXPECT_TRUE(TapiLog::Get().Results().empty());
  }
}

TEST_F(LineEntryTest, UserUserInformationIsDroppedWithoutALimitAndKeptWithinOne) {
  line->ChangeCaps([](LINEDEVCAPS& caps) {
    caps.dwUUIAnswerSize = 0;
    caps.dwUUIMakeCallSize = 0;
  });
  DWORD dwAnswerSize = 99;
  line->Answer(REQUEST_LINEANSWER, [&](Line& l, CTSPIRequest* pReq) {
    dwAnswerSize = pReq->GetRecordSize();
    l.CompleteRequest(pReq, 0);
  });
  TestCall* pOffered = NewCall(0x601, LINECALLSTATE_OFFERING);
  EXPECT_EQ(TSPI_lineAnswer(21, H(pOffered), std::string(50, 'u').c_str(), 50), 21);
  EXPECT_EQ(dwAnswerSize, 0u);

  DWORD dwUUISize = 0;
  bool bKept = false;
  Capture<TSPIMAKECALL>(REQUEST_LINEMAKECALL, [&](TSPIMAKECALL* pMake) {
    const LINECALLPARAMS* lpParams = pMake->lpCallParams;
    dwUUISize = lpParams->dwUserUserInfoSize;
    const BYTE* lpUUI = reinterpret_cast<const BYTE*>(lpParams) + lpParams->dwUserUserInfoOffset;
    bKept = std::all_of(lpUUI, lpUUI + dwUUISize, [](BYTE b) { return b == 0x5A; });
  });
  std::vector<BYTE> params = CallParams(200);
  HDRVCALL hdCall = nullptr;
  EXPECT_EQ(TSPI_lineMakeCall(22, LineHandle(), nullptr, &hdCall, u"2000", 0, AsParams(params)),
            22);
  EXPECT_EQ(dwUUISize, 200u);
  EXPECT_TRUE(bKept);
  EXPECT_EQ(TapiLog::Get().ResultsFor(21), std::vector<LONG>{0});
  EXPECT_EQ(TapiLog::Get().ResultsFor(22), std::vector<LONG>{0});
}

TEST_F(LineEntryTest, ForwardDestinationsAreReadAsUtf16AndSizedAsTheyWillBeReported) {
  std::vector<DWORD> sizes;
  std::vector<CString> dests;
  CString strCaller;
  Capture<TSPILINEFORWARD>(REQUEST_LINEFORWARD, [&](TSPILINEFORWARD* pForward) {
    for (INT_PTR i = 0; i < pForward->arrForwardInfo.GetSize(); ++i) {
      auto* pInfo = static_cast<TSPIFORWARDINFO*>(pForward->arrForwardInfo[i]);
      sizes.push_back(pInfo->dwTotalSize);
      for (INT_PTR j = 0; j < pInfo->arrDestAddress.GetSize(); ++j) {
        dests.push_back(static_cast<DIALINFO*>(pInfo->arrDestAddress[j])->strNumber);
      }
      if (pInfo->arrCallerAddress.GetSize() != 0) {
        strCaller = static_cast<DIALINFO*>(pInfo->arrCallerAddress[0])->strNumber;
      }
    }
  });
  line->SetLineFeatures(line->GetLineDevStatus().dwLineFeatures | LINEFEATURE_FORWARD);
  CallerBuffer list = ForwardList({"5551234", "5557777\r\n5558888"});
  HDRVCALL hdConsult = H(reinterpret_cast<CTSPICallAppearance*>(0x1));
  ASSERT_EQ(TSPI_lineForward(31, LineHandle(), TRUE, 0, list.As<LINEFORWARDLIST>(), 0, nullptr,
                             &hdConsult, nullptr),
            31);
  EXPECT_EQ(hdConsult, nullptr);
  EXPECT_EQ(sizes, (std::vector<DWORD>{32, 44}));
  EXPECT_EQ(dests, (std::vector<CString>{"5551234", "5557777", "5558888"}));
  EXPECT_EQ(TapiLog::Get().ResultsFor(31), std::vector<LONG>{0});

  // A caller address adds its own length; an empty list cancels forwarding.
  sizes.clear();
  CallerBuffer withCaller = ForwardList({"300"}, 0, "12345");
  ASSERT_EQ(TSPI_lineForward(32, LineHandle(), FALSE, 0, withCaller.As<LINEFORWARDLIST>(), 0,
                             nullptr, &hdConsult, nullptr),
            32);
  EXPECT_EQ(strCaller, CString("12345"));
  EXPECT_EQ(sizes, (std::vector<DWORD>{24 + 6 + 4 + 2}));
  sizes.clear();
  CallerBuffer empty = ForwardList({});
  ASSERT_EQ(TSPI_lineForward(33, LineHandle(), FALSE, 0, empty.As<LINEFORWARDLIST>(), 0, nullptr,
                             &hdConsult, nullptr),
            33);
  EXPECT_TRUE(sizes.empty());
}

TEST_F(LineEntryTest, ACallIsMadeHeldTransferredAndDroppedThroughTheExports) {
  line->Answer(REQUEST_LINEMAKECALL, MoveTo(LINECALLSTATE_CONNECTED));
  line->Answer(REQUEST_LINEHOLD, MoveTo(LINECALLSTATE_ONHOLD));
  line->Answer(REQUEST_LINEUNHOLD, MoveTo(LINECALLSTATE_CONNECTED));
  line->Answer(REQUEST_LINESETUPTRANSFER, [](Line& l, CTSPIRequest* pReq) {
    auto* pRec = static_cast<TSPITRANSFER*>(pReq->GetRecordObject());
    // Without TAPI's parameters the request carries none.
    if (pRec->lpCallParams == nullptr) {
      pRec->pCall->ChangeCallState(LINECALLSTATE_ONHOLDPENDTRANSFER);
      pRec->pConsult->ChangeCallState(LINECALLSTATE_DIALTONE, LINEDIALTONEMODE_NORMAL);
    }
    l.CompleteRequest(pReq, pRec->lpCallParams == nullptr ? 0 : LINEERR_INVALCALLPARAMS);
  });
  line->Answer(REQUEST_LINEDIAL, MoveTo(LINECALLSTATE_CONNECTED));
  line->Answer(REQUEST_LINECOMPLETETRANSFER, &TransferCompletes);
  line->Answer(REQUEST_LINEDROP, MoveTo(LINECALLSTATE_IDLE));

  HDRVCALL hdCall = nullptr;
  ASSERT_EQ(TSPI_lineMakeCall(41, LineHandle(), nullptr, &hdCall, u"2000", 0, nullptr), 41);
  auto* pCall = reinterpret_cast<CTSPICallAppearance*>(hdCall);
  ASSERT_EQ(GetTSPILiveCalls().Contains(pCall), true);
  EXPECT_EQ(pCall->GetCalledIDInfo().strPartyId, CString("2000"));
  EXPECT_EQ(TSPI_lineHold(42, hdCall), 42);
  EXPECT_EQ(TSPI_lineUnhold(43, hdCall), 43);
  HDRVCALL hdConsult = nullptr;
  ASSERT_EQ(TSPI_lineSetupTransfer(44, hdCall, nullptr, &hdConsult, nullptr), 44);
  ASSERT_NE(hdConsult, nullptr);
  EXPECT_EQ(TSPI_lineDial(45, hdConsult, u"3000", 0), 45);
  EXPECT_EQ(
      TSPI_lineCompleteTransfer(46, hdCall, hdConsult, nullptr, nullptr, LINETRANSFERMODE_TRANSFER),
      46);
  for (DWORD dwID = 41; dwID <= 46; ++dwID) {
    SCOPED_TRACE(dwID);
    EXPECT_EQ(TapiLog::Get().ResultsFor(dwID), std::vector<LONG>{0});
  }
  EXPECT_EQ(pCall->GetCallState(), static_cast<DWORD>(LINECALLSTATE_IDLE));

  // A partial number is no error for a new call, whose address is not known yet.
  HDRVCALL hdSecond = nullptr;
  ASSERT_EQ(TSPI_lineMakeCall(47, LineHandle(), nullptr, &hdSecond, u"5551234;", 0, nullptr), 47);
  EXPECT_EQ(TSPI_lineDrop(48, hdSecond, nullptr, 0), 48);
  EXPECT_EQ(TapiLog::Get().ResultsFor(48), std::vector<LONG>{0});
}

// Each entry, with a line that refuses to queue anything: the entry answers an error, TAPI hears
// nothing, no call stays behind, and what the entry built is freed once.
TEST_F(LineEntryTest, ARefusedRequestLeavesNothingBehind) {
  pAddr->ChangeAddressCaps([](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) {
    caps.dwParkModes = LINEPARKMODE_DIRECTED;
    caps.dwCallCompletionModes = LINECALLCOMPLMODE_CAMPON;
    caps.dwMaxCallDataSize = 16;
  });
  line->SetLineFeatures(line->GetLineDevStatus().dwLineFeatures | LINEFEATURE_FORWARD);
  TestCall* pCall = NewCall(0x701, LINECALLSTATE_CONNECTED);
  sp.refuseRequests = true;
  const DWORD dwCalls = static_cast<DWORD>(pAddr->GetCallCount());
  std::vector<BYTE> params = CallParams(8);
  CallerBuffer list = ForwardList({"5551234"}, 0, "12");
  LINEDIALPARAMS dial{};
  char data[8] = "abcdefg";
  DWORD dwCompletionID = 0;
  HDRVCALL hd = nullptr;
  const std::vector<std::pair<const char*, LONG>> results = {
      {"make", TSPI_lineMakeCall(1, LineHandle(), nullptr, &hd, u"2000", 0, AsParams(params))},
      {"dial", TSPI_lineDial(1, H(pCall), u"2000", 0)},
      {"park", TSPI_linePark(1, H(pCall), LINEPARKMODE_DIRECTED, u"4000", nullptr)},
      {"transfer", TSPI_lineSetupTransfer(1, H(pCall), nullptr, &hd, AsParams(params))},
      {"blind", TSPI_lineBlindTransfer(1, H(pCall), u"2000", 0)},
      {"pickup", TSPI_linePickup(1, LineHandle(), 0, nullptr, &hd, u"2000", u"")},
      {"unpark", TSPI_lineUnpark(1, LineHandle(), 0, nullptr, &hd, u"4000")},
      {"forward", TSPI_lineForward(1, LineHandle(), TRUE, 0, list.As<LINEFORWARDLIST>(), 0, nullptr,
                                   &hd, AsParams(params))},
      {"conference",
       sp.lineSetupConference(line, pCall, 1, nullptr, &hd, nullptr, &hd, 3, AsParams(params))},
      {"complete", sp.lineCompleteCall(pCall, 1, &dwCompletionID, LINECALLCOMPLMODE_CAMPON, 0)},
      {"params", sp.lineSetCallParams(pCall, 1, LINEBEARERMODE_VOICE, 0, 0, &dial)},
      {"data", sp.lineSetCallData(pCall, 1, data, sizeof(data))},
      {"qos", sp.lineSetCallQualityOfService(pCall, 1, data, 4, data, 4)},
      {"terminal", sp.lineSetTerminal(line, nullptr, pCall, 1, 1, 0, TRUE)},
      {"digits", TSPI_lineGenerateDigits(H(pCall), 1, LINEDIGITMODE_DTMF, u"12", 0)},
  };
  for (const auto& [name, lResult] : results) {
    SCOPED_TRACE(name);
    EXPECT_LT(lResult, 0);
  }
  EXPECT_TRUE(TapiLog::Get().Results().empty());
  EXPECT_EQ(static_cast<DWORD>(pAddr->GetCallCount()), dwCalls);
  EXPECT_EQ(line->GetRequestCount(), 0);
}

TEST_F(LineEntryTest, MediaControlAnswersTheResultOfItsRequestWithinTheWait) {
  line->ChangeCaps([](LINEDEVCAPS& caps) { caps.dwDevCapFlags |= LINEDEVCAPFLAGS_MEDIACONTROL; });
  line->SetLineFeatures(line->GetLineDevStatus().dwLineFeatures | LINEFEATURE_SETMEDIACONTROL);
  line->Answer(REQUEST_LINESETMEDIACONTROL, [](Line& l, CTSPIRequest* pReq) {
    l.CompleteRequest(pReq, LINEERR_RESOURCEUNAVAIL);
  });
  EXPECT_EQ(sp.lineSetMediaControl(line, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0,
                                   nullptr, 0),
            LINEERR_RESOURCEUNAVAIL);
  // A request the line never answers ends the wait at its limit, not the caller's thread.
  line->Answer(REQUEST_LINESETMEDIACONTROL, nullptr);
  sp.SetDefaultRequestWait(20);
  EXPECT_EQ(sp.lineSetMediaControl(line, nullptr, nullptr, nullptr, 0, nullptr, 0, nullptr, 0,
                                   nullptr, 0),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(line->GetRequestCount(), 1);
}

TEST_F(LineEntryTest, GetIDFallsBackFromTheCallToTheLine) {
  TestCall* pCall = NewCall(0x801, LINECALLSTATE_CONNECTED);
  CallerBuffer var(64);
  ASSERT_EQ(TSPI_lineGetID(nullptr, 0, H(pCall), LINECALLSELECT_CALL, var.As<VARSTRING>(),
                           u"tapi/line", nullptr),
            0);
  EXPECT_EQ(var.As<VARSTRING>()->dwStringSize, sizeof(DWORD));
  EXPECT_EQ(var.Dword(var.As<VARSTRING>()->dwStringOffset), kCallLineID);
  EXPECT_EQ(TSPI_lineGetID(nullptr, 0, H(pCall), LINECALLSELECT_CALL, var.As<VARSTRING>(),
                           u"no/class", nullptr),
            LINEERR_INVALDEVICECLASS);
}

// The entries that no export of this provider reaches, through the provider object: a conference
// set up without call parameters and grown and shrunk through the entries, a call completion,
// call data copied out of TAPI's buffer.
TEST_F(LineEntryTest, EntriesNoExportReachesHandOnWhatTheyBuild) {
  line->Answer(REQUEST_LINESETUPCONFERENCE, [](Line& l, CTSPIRequest* pReq) {
    auto* pRec = static_cast<TSPICONFERENCE*>(pReq->GetRecordObject());
    const bool bNoParams = pRec->lpCallParams == nullptr && pRec->dwPartyCount == 3;
    pRec->pConfCall->ChangeCallState(LINECALLSTATE_ONHOLDPENDCONF);
    pRec->pCall->ChangeCallState(LINECALLSTATE_CONFERENCED);
    pRec->pConsult->ChangeCallState(LINECALLSTATE_DIALTONE);
    l.CompleteRequest(pReq, bNoParams ? 0 : LINEERR_INVALCALLPARAMS);
  });
  line->Answer(REQUEST_LINEDIAL, MoveTo(LINECALLSTATE_CONNECTED));
  AnswerAddsByJoining(0, LINECALLSTATE_CONNECTED);
  CString strData;
  const void* lpStored = nullptr;
  Capture<TSPICALLDATA>(REQUEST_LINESETCALLDATA, [&](TSPICALLDATA* pData) {
    lpStored = pData->lpvCallData;
    strData = CString(static_cast<const char*>(pData->lpvCallData));
  });
  pAddr->ChangeAddressCaps(
      [](LINEADDRESSCAPS& caps, LINEADDRESSSTATUS&) { caps.dwMaxCallDataSize = 16; });
  TestCall* pFirst = NewCall(0x901, LINECALLSTATE_CONNECTED);

  HDRVCALL hdConf = nullptr;
  HDRVCALL hdConsult = nullptr;
  ASSERT_EQ(
      sp.lineSetupConference(line, pFirst, 51, nullptr, &hdConf, nullptr, &hdConsult, 3, nullptr),
      51);
  ASSERT_NE(hdConf, nullptr);
  ASSERT_NE(hdConsult, nullptr);
  auto* pConf = reinterpret_cast<CTSPIConferenceCall*>(hdConf);
  EXPECT_EQ(pFirst->GetConferenceCall(), pConf);
  EXPECT_EQ(TSPI_lineDial(52, hdConsult, u"4000", 0), 52);
  EXPECT_EQ(TSPI_lineAddToConference(53, hdConf, hdConsult), 53);
  EXPECT_EQ(pConf->GetMemberCount(), 2);
  // Without a call, the address is chosen by TAPI's parameters: a structure shorter than its
  // fixed part is read no further than its end (no guard bytes: the sanitizer sees any read).
  CallerBuffer shortParams(16, 0);
  HDRVCALL hdNone = nullptr;
  EXPECT_EQ(sp.lineSetupConference(line, nullptr, 58, nullptr, &hdNone, nullptr, &hdNone, 3,
                                   shortParams.As<LINECALLPARAMS>()),
            LINEERR_INVALBEARERMODE);  // the bytes it has hold no bearer mode
  EXPECT_EQ(hdNone, nullptr);
  TestCall* pOther = NewCall(0x902, LINECALLSTATE_CONNECTED);
  for (DWORD dwID = 51; dwID <= 53; ++dwID) {
    SCOPED_TRACE(dwID);
    EXPECT_EQ(TapiLog::Get().ResultsFor(dwID), std::vector<LONG>{0});
  }

  char data[] = "hello";
  ASSERT_EQ(sp.lineSetCallData(pOther, 55, data, sizeof(data)), 55);
  EXPECT_EQ(strData, CString("hello"));
  EXPECT_NE(lpStored, static_cast<const void*>(data));
  EXPECT_EQ(sp.lineSetCallData(pOther, 56, nullptr, 4), LINEERR_INVALPOINTER);

  DWORD dwAddressID = 99;
  EXPECT_EQ(TSPI_lineGetCallAddressID(H(pOther), &dwAddressID), 0);
  EXPECT_EQ(dwAddressID, pAddr->GetAddressID());
  EXPECT_EQ(TSPI_lineSetAppSpecific(H(pOther), 0x1234), 0);
  EXPECT_EQ(pOther->GetCallInfoCopy().dwAppSpecific, 0x1234u);
  // The call lets go of its information at once; TAPI still hears of its request once.
  TestCall* pInformed = NewCall(0x903);
  ASSERT_TRUE(pInformed->AddUserUserInfo("ab", 2));
  pInformed->ChangeCallState(LINECALLSTATE_CONNECTED);
  EXPECT_EQ(TSPI_lineReleaseUserUserInfo(57, H(pInformed)), 57);
  EXPECT_EQ(TapiLog::Get().ResultsFor(57), std::vector<LONG>{0});
}

}  // namespace
}  // namespace fw_test
