// The exported entry points: the order of their checks and the codes they answer, the handles
// they resolve, the strings they convert and the private dialog-data exchange. A recording
// provider stands behind them; calls and addresses are the framework's own, made through its
// factories.
#include "framework/tspi_exports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "framework/address_info.h"
#include "framework/call_appearance.h"
#include "framework/conference_call.h"
#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "platform/tspi.h"

namespace {

constexpr LONG kReached = 0x4242;  // what every recording entry answers
constexpr DRV_REQUESTID kID = 42;
constexpr DWORD kProviderID = 7;
constexpr DWORD kLineBase = 10;
constexpr DWORD kPhoneBase = 20;

struct Entry {
  std::string op;
  const void* pFirst = nullptr;
  DWORD dwRequestID = 0;
  std::string text;
  const void* pSecond = nullptr;
  const void* pThird = nullptr;
  DWORD dwSize = 0;
};

// Records which entry each export reached and with what.
class RecordingProvider : public CServiceProvider {
 public:
  RecordingProvider() : CServiceProvider("OMBIX.TSP", "Test Provider", 0x00020001) {}

  std::vector<Entry> entries;

  LONG Rec(const char* op, const void* a, DWORD id = 0, LPCSTR text = nullptr,
           const void* b = nullptr, const void* c = nullptr, DWORD size = 0) {
    entries.push_back({op, a, id, text != nullptr ? text : "", b, c, size});
    return kReached;
  }

  using Call = CTSPICallAppearance*;
  using Line = CTSPILineConnection*;
  using Addr = CTSPIAddressInfo*;
  using ID = DRV_REQUESTID;
  using CB = TUISPIDLLCALLBACK;

  // Call entries.
  LONG lineAddToConference(CTSPIConferenceCall* p, Call q, ID id) override {
    return Rec(__func__, p, id, nullptr, q);
  }
  LONG lineAnswer(Call p, ID id, LPCSTR, DWORD) override { return Rec(__func__, p, id); }
  LONG lineBlindTransfer(Call p, ID id, LPCSTR, DWORD) override { return Rec(__func__, p, id); }
  LONG lineCloseCall(Call p) override { return Rec(__func__, p); }
  LONG lineCompleteTransfer(Call p, ID id, Call q, HTAPICALL, LPHDRVCALL, DWORD) override {
    return Rec(__func__, p, id, nullptr, q);
  }
  LONG lineDial(Call p, ID id, LPCSTR s, DWORD) override { return Rec(__func__, p, id, s); }
  LONG lineDrop(Call p, ID id, LPCSTR, DWORD) override { return Rec(__func__, p, id); }
  LONG lineGatherDigits(Call p, DWORD, DWORD, LPWSTR, DWORD, LPCSTR, DWORD, DWORD) override {
    return Rec(__func__, p);
  }
  LONG lineGenerateDigits(Call p, DWORD, DWORD, LPCSTR, DWORD) override { return Rec(__func__, p); }
  LONG lineGenerateTone(Call p, DWORD, DWORD, DWORD, DWORD, LPLINEGENERATETONE const) override {
    return Rec(__func__, p);
  }
  LONG lineGetCallAddressID(Call p, LPDWORD) override { return Rec(__func__, p); }
  LONG lineGetCallInfo(Call p, LPLINECALLINFO) override { return Rec(__func__, p); }
  LONG lineGetCallStatus(Call p, LPLINECALLSTATUS) override { return Rec(__func__, p); }
  LONG lineHold(Call p, ID id) override { return Rec(__func__, p, id); }
  LONG lineMonitorDigits(Call p, DWORD) override { return Rec(__func__, p); }
  LONG lineMonitorMedia(Call p, DWORD) override { return Rec(__func__, p); }
  LONG lineMonitorTones(Call p, DWORD, LPLINEMONITORTONE const, DWORD) override {
    return Rec(__func__, p);
  }
  LONG linePark(Call p, ID id, DWORD, LPCSTR, LPVARSTRING) override { return Rec(__func__, p, id); }
  LONG lineRedirect(Call p, ID id, LPCSTR, DWORD) override { return Rec(__func__, p, id); }
  LONG lineReleaseUserUserInfo(Call p, ID id) override { return Rec(__func__, p, id); }
  LONG lineRemoveFromConference(Call p, ID id) override { return Rec(__func__, p, id); }
  LONG lineSecureCall(Call p, ID id) override { return Rec(__func__, p, id); }
  LONG lineSetAppSpecific(Call p, DWORD) override { return Rec(__func__, p); }
  LONG lineSetMediaMode(Call p, DWORD) override { return Rec(__func__, p); }
  LONG lineSetupTransfer(Call p, ID id, HTAPICALL, LPHDRVCALL, LPLINECALLPARAMS const) override {
    return Rec(__func__, p, id);
  }
  LONG lineSwapHold(Call p, ID id, Call q) override { return Rec(__func__, p, id, nullptr, q); }
  LONG lineUnhold(Call p, ID id) override { return Rec(__func__, p, id); }

  // Line, address and device entries.
  LONG lineClose(Line p) override { return Rec(__func__, p); }
  LONG lineForward(Line p, Addr q, ID id, LPLINEFORWARDLIST const, DWORD, HTAPICALL, LPHDRVCALL,
                   LPLINECALLPARAMS const) override {
    return Rec(__func__, p, id, nullptr, q);
  }
  LONG lineGetAddressCaps(Addr p, DWORD, DWORD, LPLINEADDRESSCAPS) override {
    return Rec(__func__, p);
  }
  LONG lineGetAddressID(Line p, LPDWORD, DWORD, LPCSTR s, DWORD size) override {
    return Rec(__func__, p, 0, s, nullptr, nullptr, size);
  }
  LONG lineGetAddressStatus(Addr p, LPLINEADDRESSSTATUS) override { return Rec(__func__, p); }
  LONG lineGetDevCaps(Line p, DWORD, DWORD, LPLINEDEVCAPS) override { return Rec(__func__, p); }
  LONG lineGetDevConfig(Line p, LPVARSTRING, LPCSTR s) override { return Rec(__func__, p, 0, s); }
  LONG lineGetExtensionID(Line p, DWORD, LPLINEEXTENSIONID) override { return Rec(__func__, p); }
  LONG lineGetID(Line p, Addr q, Call r, LPCSTR s, LPVARSTRING, HANDLE) override {
    return Rec(__func__, p, 0, s, q, r);
  }
  LONG lineGetLineDevStatus(Line p, LPLINEDEVSTATUS) override { return Rec(__func__, p); }
  LONG lineGetNumAddressIDs(Line p, LPDWORD) override { return Rec(__func__, p); }
  LONG lineMakeCall(Line p, ID id, HTAPICALL, LPHDRVCALL, LPCSTR s, DWORD,
                    LPLINECALLPARAMS const) override {
    return Rec(__func__, p, id, s);
  }
  LONG lineOpen(Line p, HTAPILINE, LPHDRVLINE, DWORD, LINEEVENT) override {
    return Rec(__func__, p);
  }
  LONG linePickup(Addr p, ID id, HTAPICALL, LPHDRVCALL, LPCSTR s, LPCSTR g) override {
    return Rec(__func__, p, id, (std::string(s) + "/" + g).c_str());
  }
  LONG lineSetDefaultMediaDetection(Line p, DWORD) override { return Rec(__func__, p); }
  LONG lineSetDevConfig(Line p, LPVOID const, DWORD, LPCSTR s) override {
    return Rec(__func__, p, 0, s);
  }
  LONG lineSetStatusMessages(Line p, DWORD, DWORD) override { return Rec(__func__, p); }
  LONG lineUncompleteCall(Line p, ID id, DWORD) override { return Rec(__func__, p, id); }
  LONG lineUnpark(Addr p, ID id, HTAPICALL, LPHDRVCALL, LPCSTR) override {
    return Rec(__func__, p, id);
  }

  // Provider and user-interface entries.
  LONG providerConfig(DWORD, HWND, CB) override { return Rec(__func__, nullptr); }
  LONG providerInstall(DWORD, HWND, CB) override { return Rec(__func__, nullptr); }
  LONG providerRemove(DWORD, HWND, CB) override { return Rec(__func__, nullptr); }
  LONG lineConfigDialog(DWORD, HWND, LPCSTR s, CB) override { return Rec(__func__, nullptr, 0, s); }
  LONG lineConfigDialogEdit(DWORD, HWND, LPCSTR s, LPVOID const, DWORD, LPVARSTRING, CB) override {
    return Rec(__func__, nullptr, 0, s);
  }
  LONG providerGenericDialogData(CTSPIDevice* pDevice, Line pLine, CTSPIPhoneConnection* pPhone,
                                 HDRVDIALOGINSTANCE hd, LPVOID, DWORD size) override {
    const void* pObject = pDevice != nullptr  ? static_cast<const void*>(pDevice)
                          : pLine != nullptr  ? static_cast<const void*>(pLine)
                          : pPhone != nullptr ? static_cast<const void*>(pPhone)
                                              : static_cast<const void*>(hd);
    return Rec(__func__, pObject, 0, nullptr, nullptr, nullptr, size);
  }
  LONG providerShutdown(DWORD dwVersion, CTSPIDevice* pDevice) override {
    Rec(__func__, pDevice);
    return CServiceProvider::providerShutdown(dwVersion, pDevice);
  }
};

HDRVCALL AsHandle(CTSPICallAppearance* p) {
  return reinterpret_cast<HDRVCALL>(p);
}
HDRVLINE AsHandle(CTSPIConnection* p) {
  return reinterpret_cast<HDRVLINE>(p);
}

class TspiExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DWORD dwOptions = 0;
    ASSERT_EQ(
        sp.providerInit(0x00020001, kProviderID, kLineBase, kPhoneBase, 2, 1, nullptr, &dwOptions),
        0);
    line = sp.FindLineByDeviceID(kLineBase);
    otherLine = sp.FindLineByDeviceID(kLineBase + 1);
    phone = sp.FindPhoneByDeviceID(kPhoneBase);
    ASSERT_TRUE(line != nullptr && otherLine != nullptr && phone != nullptr);
    for (CTSPIAddressInfo*& pAddr : address) {
      pAddr = line->GetAddress(
          line->CreateAddress("", nullptr, TRUE, TRUE, LINEMEDIAMODE_INTERACTIVEVOICE,
                              LINEBEARERMODE_VOICE, 0, 0, nullptr, 2, 1, 1, 3, 3));
      ASSERT_NE(pAddr, nullptr);
    }
    call = address[1]->FindOrCreateCall(reinterpret_cast<HTAPICALL>(0x501), 0, 0, 0, 0, 0);
    consult = address[0]->FindOrCreateCall(reinterpret_cast<HTAPICALL>(0x502), 0, 0, 0, 0, 0);
    conf = address[1]->FindOrCreateConferenceCall(reinterpret_cast<HTAPICALL>(0x503));
    ASSERT_TRUE(call != nullptr && consult != nullptr && conf != nullptr);
  }

  // Exactly one entry was reached; it is returned.
  Entry Only() {
    EXPECT_EQ(sp.entries.size(), 1u);
    Entry entry = sp.entries.empty() ? Entry{} : sp.entries.back();
    sp.entries.clear();
    return entry;
  }

  // The entry reached by an export that answered what the recording entry answers.
  Entry Reached(LONG lResult) {
    EXPECT_EQ(lResult, kReached);
    return Only();
  }

  RecordingProvider sp;
  CTSPILineConnection* line = nullptr;
  CTSPILineConnection* otherLine = nullptr;
  CTSPIPhoneConnection* phone = nullptr;
  CTSPIAddressInfo* address[2] = {};
  CTSPICallAppearance* call = nullptr;
  CTSPICallAppearance* consult = nullptr;
  CTSPICallAppearance* conf = nullptr;
  int unrelated = 0;  // memory that no handle names
};

using HC = HDRVCALL;

struct CallRow {
  const char* op;
  DWORD dwRequestID;
  LONG (*invoke)(HC);
};

const CallRow kCallRows[] = {
    {"lineAnswer", kID, [](HC h) { return TSPI_lineAnswer(kID, h, nullptr, 0); }},
    {"lineBlindTransfer", kID, [](HC h) { return TSPI_lineBlindTransfer(kID, h, u"100", 0); }},
    {"lineCloseCall", 0, [](HC h) { return TSPI_lineCloseCall(h); }},
    {"lineDial", kID, [](HC h) { return TSPI_lineDial(kID, h, u"100", 0); }},
    {"lineDrop", kID, [](HC h) { return TSPI_lineDrop(kID, h, nullptr, 0); }},
    {"lineGatherDigits", 0, [](HC h) { return TSPI_lineGatherDigits(h, 1, 2, 0, 0, u"#", 0, 0); }},
    {"lineGenerateDigits", 0, [](HC h) { return TSPI_lineGenerateDigits(h, 1, 2, u"12", 0); }},
    {"lineGenerateTone", 0, [](HC h) { return TSPI_lineGenerateTone(h, 1, 2, 0, 0, nullptr); }},
    {"lineGetCallAddressID", 0, [](HC h) { return TSPI_lineGetCallAddressID(h, nullptr); }},
    {"lineGetCallInfo", 0, [](HC h) { return TSPI_lineGetCallInfo(h, nullptr); }},
    {"lineGetCallStatus", 0, [](HC h) { return TSPI_lineGetCallStatus(h, nullptr); }},
    {"lineHold", kID, [](HC h) { return TSPI_lineHold(kID, h); }},
    {"lineMonitorDigits", 0, [](HC h) { return TSPI_lineMonitorDigits(h, 0); }},
    {"lineMonitorMedia", 0, [](HC h) { return TSPI_lineMonitorMedia(h, 0); }},
    {"lineMonitorTones", 0, [](HC h) { return TSPI_lineMonitorTones(h, 0, nullptr, 0); }},
    {"linePark", kID, [](HC h) { return TSPI_linePark(kID, h, LINEPARKMODE_NONDIRECTED, 0, 0); }},
    {"lineRedirect", kID, [](HC h) { return TSPI_lineRedirect(kID, h, u"100", 0); }},
    {"lineReleaseUserUserInfo", kID, [](HC h) { return TSPI_lineReleaseUserUserInfo(kID, h); }},
    {"lineRemoveFromConference", kID, [](HC h) { return TSPI_lineRemoveFromConference(kID, h); }},
    {"lineSecureCall", kID, [](HC h) { return TSPI_lineSecureCall(kID, h); }},
    {"lineSetAppSpecific", 0, [](HC h) { return TSPI_lineSetAppSpecific(h, 5); }},
    {"lineSetMediaMode", 0, [](HC h) { return TSPI_lineSetMediaMode(h, 4); }},
    {"lineSetupTransfer", kID, [](HC h) { return TSPI_lineSetupTransfer(kID, h, 0, 0, nullptr); }},
    {"lineUnhold", kID, [](HC h) { return TSPI_lineUnhold(kID, h); }},
};

TEST_F(TspiExportsTest, CallExportsRefuseHandlesThatNameNoLiveCall) {
  CTSPICallAppearance gone;  // never listed by an address, like a call that was deleted
  for (const CallRow& row : kCallRows) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(nullptr), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(reinterpret_cast<HDRVCALL>(&unrelated)), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(AsHandle(&gone)), LINEERR_INVALCALLHANDLE);
    EXPECT_TRUE(sp.entries.empty());
  }
}

TEST_F(TspiExportsTest, CallExportsPassTheLiveCallAndRequestID) {
  for (const CallRow& row : kCallRows) {
    SCOPED_TRACE(row.op);
    const Entry entry = Reached(row.invoke(AsHandle(call)));
    EXPECT_EQ(entry.op, row.op);
    EXPECT_EQ(entry.pFirst, call);
    EXPECT_EQ(entry.dwRequestID, row.dwRequestID);
  }
}

TEST_F(TspiExportsTest, TwoCallExportsCheckTheFirstHandleThenTheSecond) {
  struct Row {
    const char* op;
    LONG (*invoke)(HC, HC);
  };
  const Row rows[] = {
      {"lineAddToConference", [](HC a, HC b) { return TSPI_lineAddToConference(kID, a, b); }},
      {"lineCompleteTransfer",
       [](HC a, HC b) {
         return TSPI_lineCompleteTransfer(kID, a, b, 0, 0, LINETRANSFERMODE_TRANSFER);
       }},
      {"lineSwapHold", [](HC a, HC b) { return TSPI_lineSwapHold(kID, a, b); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.op);
    // lineAddToConference's first handle must name a conference call.
    CTSPICallAppearance* first = std::string(row.op) == "lineAddToConference" ? conf : call;
    EXPECT_EQ(row.invoke(nullptr, AsHandle(consult)), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(AsHandle(first), nullptr), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(AsHandle(first), reinterpret_cast<HDRVCALL>(&unrelated)),
              LINEERR_INVALCALLHANDLE);
    EXPECT_TRUE(sp.entries.empty());
    const Entry entry = Reached(row.invoke(AsHandle(first), AsHandle(consult)));
    EXPECT_EQ(entry.op, row.op);
    EXPECT_EQ(entry.pFirst, first);
    EXPECT_EQ(entry.pSecond, consult);
    EXPECT_EQ(entry.dwRequestID, kID);
  }
  EXPECT_EQ(TSPI_lineAddToConference(kID, AsHandle(call), AsHandle(consult)),
            LINEERR_INVALCONFCALLHANDLE);
  EXPECT_TRUE(sp.entries.empty());
}

TEST_F(TspiExportsTest, ModeChecksComeBeforeTheCallHandles) {
  EXPECT_EQ(TSPI_lineCompleteTransfer(1, 0, 0, 0, 0, 3), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineCompleteTransfer(1, 0, 0, 0, 0, 0), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineCompleteTransfer(1, 0, 0, 0, 0, LINETRANSFERMODE_CONFERENCE),
            LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(TSPI_linePark(1, nullptr, 0, u"100", nullptr), LINEERR_INVALPARKMODE);
  EXPECT_EQ(TSPI_linePark(1, nullptr, 3, nullptr, nullptr), LINEERR_INVALPARKMODE);
  EXPECT_EQ(TSPI_linePark(1, nullptr, LINEPARKMODE_DIRECTED, u"100", nullptr),
            LINEERR_INVALCALLHANDLE);
  EXPECT_TRUE(sp.entries.empty());
}

using HL = HDRVLINE;
DWORD g_dwOut = 0;

struct LineRow {
  const char* op;
  bool bByAddress;  // the entry receives the line's address (after the line for two of them)
  LONG (*invoke)(HL, DWORD);
};

const LineRow kLineRows[] = {
    {"lineClose", false, [](HL h, DWORD) { return TSPI_lineClose(h); }},
    {"lineForward", true,
     [](HL h, DWORD a) { return TSPI_lineForward(kID, h, FALSE, a, nullptr, 0, 0, 0, nullptr); }},
    {"lineGetAddressID", false,
     [](HL h, DWORD) { return TSPI_lineGetAddressID(h, &g_dwOut, 1, u"12", 4); }},
    {"lineGetAddressStatus", true,
     [](HL h, DWORD a) { return TSPI_lineGetAddressStatus(h, a, nullptr); }},
    {"lineGetID", false,
     [](HL h, DWORD) { return TSPI_lineGetID(h, 0, 0, LINECALLSELECT_LINE, 0, u"tapi/line", 0); }},
    {"lineGetID", true,
     [](HL h, DWORD a) { return TSPI_lineGetID(h, a, 0, LINECALLSELECT_ADDRESS, 0, u"x", 0); }},
    {"lineGetLineDevStatus", false, [](HL h, DWORD) { return TSPI_lineGetLineDevStatus(h, 0); }},
    {"lineGetNumAddressIDs", false,
     [](HL h, DWORD) { return TSPI_lineGetNumAddressIDs(h, &g_dwOut); }},
    {"lineMakeCall", false,
     [](HL h, DWORD) { return TSPI_lineMakeCall(kID, h, 0, 0, u"100", 0, nullptr); }},
    {"linePickup", true,
     [](HL h, DWORD a) { return TSPI_linePickup(kID, h, a, 0, 0, u"100", u"G1"); }},
    {"lineSetDefaultMediaDetection", false,
     [](HL h, DWORD) { return TSPI_lineSetDefaultMediaDetection(h, 4); }},
    {"lineSetStatusMessages", false,
     [](HL h, DWORD) { return TSPI_lineSetStatusMessages(h, 1, 1); }},
    {"lineUncompleteCall", false, [](HL h, DWORD) { return TSPI_lineUncompleteCall(kID, h, 3); }},
    {"lineUnpark", true, [](HL h, DWORD a) { return TSPI_lineUnpark(kID, h, a, 0, 0, u"100"); }},
};

TEST_F(TspiExportsTest, LineExportsRefuseHandlesThatNameNoLiveLine) {
  otherLine->SetFlags(CONNFLAG_REMOVED);
  const HDRVLINE bad[] = {nullptr, reinterpret_cast<HDRVLINE>(&unrelated), AsHandle(phone),
                          AsHandle(otherLine)};
  for (const LineRow& row : kLineRows) {
    SCOPED_TRACE(row.op);
    for (HDRVLINE hdLine : bad) EXPECT_EQ(row.invoke(hdLine, 0), LINEERR_INVALLINEHANDLE);
    EXPECT_TRUE(sp.entries.empty());
  }
}

// An address the line lacks is refused before the entry; a forward on all addresses looks up none.
TEST_F(TspiExportsTest, LineExportsPassTheLineOrItsAddress) {
  for (const LineRow& row : kLineRows) {
    SCOPED_TRACE(row.op);
    if (row.bByAddress) {
      EXPECT_EQ(row.invoke(AsHandle(line), 2), LINEERR_INVALADDRESSID);
    }
    const Entry entry = Reached(row.invoke(AsHandle(line), 1));
    EXPECT_EQ(entry.op, row.op);
    // lineForward and lineGetID name the line first, then the address.
    const bool bLineFirst = entry.op == "lineForward" || entry.op == "lineGetID";
    EXPECT_EQ(entry.pFirst,
              row.bByAddress && !bLineFirst ? static_cast<const void*>(address[1]) : line);
    EXPECT_EQ(entry.pSecond, row.bByAddress && bLineFirst ? address[1] : nullptr);
  }
  const Entry entry = Reached(
      TSPI_lineForward(kID, AsHandle(line), TRUE, 99, nullptr, 0, nullptr, nullptr, nullptr));
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, nullptr);
}

TEST_F(TspiExportsTest, DeviceIDExportsAndOpenFindTheLineOrRefuse) {
  struct Row {
    const char* op;
    LONG (*invoke)(DWORD);
  };
  const Row rows[] = {
      {"lineGetAddressCaps", [](DWORD d) { return TSPI_lineGetAddressCaps(d, 0, 0x20001, 0, 0); }},
      {"lineGetDevCaps", [](DWORD d) { return TSPI_lineGetDevCaps(d, 0x20001, 0, nullptr); }},
      {"lineGetDevConfig", [](DWORD d) { return TSPI_lineGetDevConfig(d, nullptr, u"x"); }},
      {"lineGetExtensionID", [](DWORD d) { return TSPI_lineGetExtensionID(d, 0x20001, 0); }},
      {"lineSetDevConfig", [](DWORD d) { return TSPI_lineSetDevConfig(d, nullptr, 0, u"x"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(kPhoneBase), LINEERR_BADDEVICEID);  // a phone's ID names no line
    EXPECT_EQ(row.invoke(kLineBase + 5), LINEERR_BADDEVICEID);
    EXPECT_TRUE(sp.entries.empty());
    const Entry entry = Reached(row.invoke(kLineBase));
    EXPECT_EQ(entry.op, row.op);
    EXPECT_EQ(entry.pFirst, row.op == std::string("lineGetAddressCaps")
                                ? static_cast<const void*>(address[0])
                                : static_cast<const void*>(line));
  }
  EXPECT_EQ(TSPI_lineGetAddressCaps(kLineBase, 2, 0x00020001, 0, nullptr), LINEERR_INVALADDRESSID);
  EXPECT_EQ(TSPI_lineGetAddressCaps(kLineBase + 1, 0, 0x00020001, 0, nullptr),
            LINEERR_INVALADDRESSID);
  // An open of an unknown device leaves no handle behind.
  auto hdLine = reinterpret_cast<HDRVLINE>(&unrelated);
  EXPECT_EQ(TSPI_lineOpen(kLineBase + 5, nullptr, &hdLine, 0x00020001, nullptr),
            LINEERR_BADDEVICEID);
  EXPECT_EQ(hdLine, nullptr);
  EXPECT_EQ(TSPI_lineOpen(kLineBase, nullptr, nullptr, 0x00020001, nullptr), LINEERR_INVALPOINTER);
  EXPECT_TRUE(sp.entries.empty());
  EXPECT_EQ(Reached(TSPI_lineOpen(kLineBase, nullptr, &hdLine, 0x00020001, nullptr)).pFirst, line);
}

TEST_F(TspiExportsTest, DeviceClassesReachTheProviderLowerCased) {
  const auto text = [this](LONG lResult) { return Reached(lResult).text; };
  const HDRVLINE hdLine = AsHandle(line);
  EXPECT_EQ(text(TSPI_lineGetDevConfig(kLineBase, nullptr, u"Tapi/Line")), "tapi/line");
  EXPECT_EQ(text(TSPI_lineSetDevConfig(kLineBase, nullptr, 0, u"TAPI/ProviderID")),
            "tapi/providerid");
  EXPECT_EQ(text(TSPI_lineGetID(hdLine, 0, 0, LINECALLSELECT_LINE, 0, u"Comm/DATA", 0)),
            "comm/data");
  EXPECT_EQ(text(TUISPI_lineConfigDialog(nullptr, kLineBase, nullptr, u"Tapi/Line")), "tapi/line");
  EXPECT_EQ(text(TUISPI_lineConfigDialogEdit(0, kLineBase, 0, u"Tapi/Line", 0, 0, 0)), "tapi/line");
  // Other strings keep their case; a missing one is empty.
  EXPECT_EQ(text(TSPI_lineMakeCall(1, hdLine, nullptr, nullptr, u"Operator", 0, nullptr)),
            "Operator");
  EXPECT_EQ(text(TSPI_lineDial(1, AsHandle(call), nullptr, 0)), "");
  EXPECT_EQ(text(TSPI_linePickup(1, hdLine, 0, nullptr, nullptr, nullptr, u"Grp")), "/Grp");
}

TEST(WideToAnsiStringTest, ConvertsUpToTheFirstNulOrTheLimit) {
  EXPECT_EQ(WideToAnsiString(nullptr), "");
  EXPECT_EQ(WideToAnsiString(u""), "");
  EXPECT_EQ(WideToAnsiString(u"caf\u00e9 \u20ac"), "caf\xc3\xa9 \xe2\x82\xac");
  const WCHAR text[] = {u'1', u'2', 0, u'3'};
  EXPECT_EQ(WideToAnsiString(text), "12");
  EXPECT_EQ(WideToAnsiString(text, 4), "12");
  EXPECT_EQ(WideToAnsiString(text, 1), "1");
  EXPECT_EQ(WideToAnsiString(text, 0), "");
  EXPECT_EQ(WideToAnsiString(nullptr, 10), "");
}

TEST_F(TspiExportsTest, GetAddressIDReadsAtMostTheGivenSizeAndPassesTheTextLength) {
  const WCHAR unterminated[] = {u'5', u'5', u'5', u'1', u'2'};  // no NUL
  DWORD dwAddressID = 0;
  Entry entry = Reached(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, unterminated, 6));
  EXPECT_EQ(entry.text, "555");
  EXPECT_EQ(entry.dwSize, 3u);
  const WCHAR twelve[] = {u'1', u'2', 0, u'4', u'5'};
  entry = Reached(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, twelve, 10));
  EXPECT_EQ(entry.text, "12");
  EXPECT_EQ(entry.dwSize, 2u);
  // An odd byte count leaves out the half unit.
  EXPECT_EQ(Reached(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, unterminated, 3)).text,
            "5");
  entry = Reached(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, nullptr, 40));
  EXPECT_EQ(entry.text, "");
  EXPECT_EQ(entry.dwSize, 0u);
}

TEST_F(TspiExportsTest, GetIDChecksWhatTheSelectNames) {
  auto getID = [](HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect) {
    return TSPI_lineGetID(hdLine, dwAddressID, hdCall, dwSelect, nullptr, u"tapi/line", nullptr);
  };
  // (A bad line handle or address ID: the lineGetID rows of the line export tests.)
  EXPECT_EQ(getID(AsHandle(line), 0, nullptr, LINECALLSELECT_CALL), LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(getID(AsHandle(line), 0, reinterpret_cast<HDRVCALL>(&unrelated), LINECALLSELECT_CALL),
            LINEERR_INVALCALLHANDLE);
  for (DWORD dwSelect : {0u, LINECALLSELECT_DEVICEID, LINECALLSELECT_CALLID, 3u}) {
    EXPECT_EQ(getID(AsHandle(line), 0, AsHandle(call), dwSelect), LINEERR_INVALCALLSELECT);
  }
  EXPECT_TRUE(sp.entries.empty());

  // LINE: the line alone, whatever the call handle says.
  Entry entry = Reached(getID(AsHandle(line), 1, AsHandle(call), LINECALLSELECT_LINE));
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, nullptr);
  EXPECT_EQ(entry.pThird, nullptr);
  // CALL: the call, its address and that address's line; the line handle is not used.
  entry = Reached(getID(nullptr, 0, AsHandle(call), LINECALLSELECT_CALL));
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, address[1]);
  EXPECT_EQ(entry.pThird, call);
}

TEST_F(TspiExportsTest, FoldedFormsAreUnavailable) {
  EXPECT_EQ(TSPI_lineConfigDialog(kLineBase, nullptr, u"tapi/line"), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_lineConfigDialogEdit(kLineBase, nullptr, u"tapi/line", nullptr, 0, nullptr),
            LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_providerConfig(nullptr, kProviderID), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_providerInstall(nullptr, kProviderID), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_providerRemove(nullptr, kProviderID), LINEERR_OPERATIONUNAVAIL);
  EXPECT_TRUE(sp.entries.empty());
  // The UI forms reach the provider.
  EXPECT_EQ(Reached(TUISPI_providerConfig(nullptr, nullptr, kProviderID)).op, "providerConfig");
  EXPECT_EQ(Reached(TUISPI_providerInstall(nullptr, nullptr, kProviderID)).op, "providerInstall");
  EXPECT_EQ(Reached(TUISPI_providerRemove(nullptr, nullptr, kProviderID)).op, "providerRemove");
}

TEST_F(TspiExportsTest, ShutdownPassesTheDeviceOfTheProviderIDOrNull) {
  EXPECT_EQ(TSPI_providerShutdown(0x00020001, kProviderID + 1), 0);
  EXPECT_EQ(Only().pFirst, nullptr);
  EXPECT_EQ(sp.GetDeviceCount(), 1);
  CTSPIDevice* pDevice = sp.FindDeviceByProviderID(kProviderID);
  EXPECT_EQ(TSPI_providerShutdown(0x00020001, kProviderID), 0);
  EXPECT_EQ(Only().pFirst, pDevice);
  EXPECT_EQ(sp.GetDeviceCount(), 0);
}

TEST_F(TspiExportsTest, DialogDataAnswersThePrivateExchangeForLinesAndPhones) {
  // (The provider-ID query is played through the UI's side in ui_exchange_test.)
  const std::tuple<DWORD, DWORD, CTSPIConnection*> asked[] = {
      {kLineBase + 1, TUISPIDLL_OBJECT_LINEID, otherLine},
      {kPhoneBase, TUISPIDLL_OBJECT_PHONEID, phone}};
  for (const auto& [dwDeviceID, dwObjectType, pConn] : asked) {
    DWORD query[2] = {TSPI_DLGDATA_PERMANENTID_QUERY, 0};
    EXPECT_EQ(TSPI_providerGenericDialogData(dwDeviceID, dwObjectType, query, 8), 0);
    EXPECT_EQ(query[0], TSPI_DLGDATA_PERMANENTID_ANSWER);
    EXPECT_EQ(query[1], pConn->GetPermanentDeviceID());
  }
  EXPECT_NE(phone->GetPermanentDeviceID() & 0x8000, 0u);
  EXPECT_TRUE(sp.entries.empty());
}

TEST_F(TspiExportsTest, DialogDataRoutesEverythingElseToTheProvider) {
  // (An unknown device's query: UiExchangeTest.)
  DWORD query[2] = {TSPI_DLGDATA_PROVIDERID_QUERY, 0};
  const LONG lUnknown =
      TSPI_providerGenericDialogData(kProviderID + 1, TUISPIDLL_OBJECT_PROVIDERID, query, 8);
  EXPECT_LT(lUnknown, 0);
  EXPECT_NE(static_cast<DWORD>(lUnknown) & 0xF0000000u, 0x80000000u);  // no LINEERR_ code
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase, 5, query, 8), LINEERR_INVALPARAM);
  EXPECT_EQ(TSPI_providerGenericDialogData(0, TUISPIDLL_OBJECT_DIALOGINSTANCE, query, 8),
            LINEERR_INVALPARAM);
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase, TUISPIDLL_OBJECT_LINEID, nullptr, 8),
            LINEERR_INVALPOINTER);
  EXPECT_TRUE(sp.entries.empty());

  // Twelve bytes, or another code, are the provider's own dialog data.
  DWORD longer[3] = {TSPI_DLGDATA_PROVIDERID_QUERY, 0, 0};
  Entry entry =
      Reached(TSPI_providerGenericDialogData(kLineBase, TUISPIDLL_OBJECT_LINEID, longer, 12));
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.dwSize, 12u);
  EXPECT_EQ(longer[0], TSPI_DLGDATA_PROVIDERID_QUERY);
  DWORD other[2] = {0xFFFF0001, kLineBase};
  int instance = 0;
  const std::tuple<DWORD_PTR, DWORD, const void*> routed[] = {
      {kLineBase, TUISPIDLL_OBJECT_LINEID, line},
      {kPhoneBase, TUISPIDLL_OBJECT_PHONEID, phone},
      {kProviderID, TUISPIDLL_OBJECT_PROVIDERID, sp.FindDeviceByProviderID(kProviderID)},
      {reinterpret_cast<DWORD_PTR>(&instance), TUISPIDLL_OBJECT_DIALOGINSTANCE, &instance}};
  for (const auto& [dwObjectID, dwObjectType, pExpected] : routed) {
    SCOPED_TRACE(dwObjectType);
    EXPECT_EQ(Reached(TSPI_providerGenericDialogData(dwObjectID, dwObjectType, other, 8)).pFirst,
              pExpected);
  }
}

TEST(TspiExportsWithoutProviderTest, AnswerNoDriver) {
  ASSERT_EQ(GetSP(), nullptr);
  EXPECT_EQ(TSPI_lineClose(nullptr), LINEERR_NODRIVER);
  EXPECT_EQ(TSPI_providerInit(0x00020001, 1, 0, 0, 0, 0, nullptr, nullptr), LINEERR_NODRIVER);
  EXPECT_EQ(TUISPI_providerConfig(nullptr, nullptr, 1), LINEERR_NODRIVER);
}

}  // namespace
