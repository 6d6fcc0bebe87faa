// The exported entry points: the order of their checks and the codes they answer, the handles
// they resolve, the strings they convert and the private dialog-data exchange. A recording
// provider stands behind them; calls and addresses are doubles reached through the export seams.
#include "framework/tspi_exports.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "framework/device.h"
#include "framework/line_connection.h"
#include "framework/phone_connection.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports_seams.h"
#include "platform/tspi.h"

namespace {

constexpr LONG kReached = 0x4242;  // what every recording entry answers
constexpr DRV_REQUESTID kRequestID = 42;
constexpr DWORD kProviderID = 7;
constexpr DWORD kLineBase = 10;
constexpr DWORD kPhoneBase = 20;

struct Entry {
  std::string op;
  const void* pFirst = nullptr;
  const void* pSecond = nullptr;
  const void* pThird = nullptr;
  DWORD dwRequestID = 0;
  std::string text;
  DWORD dwSize = 0;
};

class RecordingProvider : public CServiceProvider {
 public:
  RecordingProvider() : CServiceProvider("OMBIX.TSP", "Test Provider", 0x00020001) {}

  std::vector<Entry> entries;

  LONG Rec(const char* op, const void* a, const void* b = nullptr, DWORD id = 0,
           LPCSTR text = nullptr, DWORD size = 0, const void* c = nullptr) {
    entries.push_back({op, a, b, c, id, text != nullptr ? text : "", size});
    return kReached;
  }

  // Call entries.
  LONG lineAddToConference(CTSPIConferenceCall* p, CTSPICallAppearance* q,
                           DRV_REQUESTID id) override {
    return Rec("lineAddToConference", p, q, id);
  }
  LONG lineAnswer(CTSPICallAppearance* p, DRV_REQUESTID id, LPCSTR, DWORD) override {
    return Rec("lineAnswer", p, nullptr, id);
  }
  LONG lineBlindTransfer(CTSPICallAppearance* p, DRV_REQUESTID id, LPCSTR s, DWORD) override {
    return Rec("lineBlindTransfer", p, nullptr, id, s);
  }
  LONG lineCloseCall(CTSPICallAppearance* p) override { return Rec("lineCloseCall", p); }
  LONG lineCompleteTransfer(CTSPICallAppearance* p, DRV_REQUESTID id, CTSPICallAppearance* q,
                            HTAPICALL, LPHDRVCALL, DWORD) override {
    return Rec("lineCompleteTransfer", p, q, id);
  }
  LONG lineDial(CTSPICallAppearance* p, DRV_REQUESTID id, LPCSTR s, DWORD) override {
    return Rec("lineDial", p, nullptr, id, s);
  }
  LONG lineDrop(CTSPICallAppearance* p, DRV_REQUESTID id, LPCSTR, DWORD) override {
    return Rec("lineDrop", p, nullptr, id);
  }
  LONG lineGatherDigits(CTSPICallAppearance* p, DWORD, DWORD, LPWSTR, DWORD, LPCSTR s, DWORD,
                        DWORD) override {
    return Rec("lineGatherDigits", p, nullptr, 0, s);
  }
  LONG lineGenerateDigits(CTSPICallAppearance* p, DWORD, DWORD, LPCSTR s, DWORD) override {
    return Rec("lineGenerateDigits", p, nullptr, 0, s);
  }
  LONG lineGenerateTone(CTSPICallAppearance* p, DWORD, DWORD, DWORD, DWORD,
                        LPLINEGENERATETONE const) override {
    return Rec("lineGenerateTone", p);
  }
  LONG lineGetCallAddressID(CTSPICallAppearance* p, LPDWORD) override {
    return Rec("lineGetCallAddressID", p);
  }
  LONG lineGetCallInfo(CTSPICallAppearance* p, LPLINECALLINFO) override {
    return Rec("lineGetCallInfo", p);
  }
  LONG lineGetCallStatus(CTSPICallAppearance* p, LPLINECALLSTATUS) override {
    return Rec("lineGetCallStatus", p);
  }
  LONG lineHold(CTSPICallAppearance* p, DRV_REQUESTID id) override {
    return Rec("lineHold", p, nullptr, id);
  }
  LONG lineMonitorDigits(CTSPICallAppearance* p, DWORD) override {
    return Rec("lineMonitorDigits", p);
  }
  LONG lineMonitorMedia(CTSPICallAppearance* p, DWORD) override {
    return Rec("lineMonitorMedia", p);
  }
  LONG lineMonitorTones(CTSPICallAppearance* p, DWORD, LPLINEMONITORTONE const, DWORD) override {
    return Rec("lineMonitorTones", p);
  }
  LONG linePark(CTSPICallAppearance* p, DRV_REQUESTID id, DWORD, LPCSTR s, LPVARSTRING) override {
    return Rec("linePark", p, nullptr, id, s);
  }
  LONG lineRedirect(CTSPICallAppearance* p, DRV_REQUESTID id, LPCSTR s, DWORD) override {
    return Rec("lineRedirect", p, nullptr, id, s);
  }
  LONG lineReleaseUserUserInfo(CTSPICallAppearance* p, DRV_REQUESTID id) override {
    return Rec("lineReleaseUserUserInfo", p, nullptr, id);
  }
  LONG lineRemoveFromConference(CTSPICallAppearance* p, DRV_REQUESTID id) override {
    return Rec("lineRemoveFromConference", p, nullptr, id);
  }
  LONG lineSecureCall(CTSPICallAppearance* p, DRV_REQUESTID id) override {
    return Rec("lineSecureCall", p, nullptr, id);
  }
  LONG lineSetAppSpecific(CTSPICallAppearance* p, DWORD) override {
    return Rec("lineSetAppSpecific", p);
  }
  LONG lineSetMediaMode(CTSPICallAppearance* p, DWORD) override {
    return Rec("lineSetMediaMode", p);
  }
  LONG lineSetupTransfer(CTSPICallAppearance* p, DRV_REQUESTID id, HTAPICALL, LPHDRVCALL,
                         LPLINECALLPARAMS const) override {
    return Rec("lineSetupTransfer", p, nullptr, id);
  }
  LONG lineSwapHold(CTSPICallAppearance* p, DRV_REQUESTID id, CTSPICallAppearance* q) override {
    return Rec("lineSwapHold", p, q, id);
  }
  LONG lineUnhold(CTSPICallAppearance* p, DRV_REQUESTID id) override {
    return Rec("lineUnhold", p, nullptr, id);
  }

  // Line, address and device entries.
  LONG lineClose(CTSPILineConnection* p) override { return Rec("lineClose", p); }
  LONG lineForward(CTSPILineConnection* p, CTSPIAddressInfo* q, DRV_REQUESTID id,
                   LPLINEFORWARDLIST const, DWORD, HTAPICALL, LPHDRVCALL,
                   LPLINECALLPARAMS const) override {
    return Rec("lineForward", p, q, id);
  }
  LONG lineGetAddressCaps(CTSPIAddressInfo* p, DWORD, DWORD, LPLINEADDRESSCAPS) override {
    return Rec("lineGetAddressCaps", p);
  }
  LONG lineGetAddressID(CTSPILineConnection* p, LPDWORD, DWORD, LPCSTR s, DWORD size) override {
    return Rec("lineGetAddressID", p, nullptr, 0, s, size);
  }
  LONG lineGetAddressStatus(CTSPIAddressInfo* p, LPLINEADDRESSSTATUS) override {
    return Rec("lineGetAddressStatus", p);
  }
  LONG lineGetDevCaps(CTSPILineConnection* p, DWORD, DWORD, LPLINEDEVCAPS) override {
    return Rec("lineGetDevCaps", p);
  }
  LONG lineGetDevConfig(CTSPILineConnection* p, LPVARSTRING, LPCSTR s) override {
    return Rec("lineGetDevConfig", p, nullptr, 0, s);
  }
  LONG lineGetExtensionID(CTSPILineConnection* p, DWORD, LPLINEEXTENSIONID) override {
    return Rec("lineGetExtensionID", p);
  }
  LONG lineGetID(CTSPILineConnection* p, CTSPIAddressInfo* q, CTSPICallAppearance* r, LPCSTR s,
                 LPVARSTRING, HANDLE) override {
    return Rec("lineGetID", p, q, 0, s, 0, r);
  }
  LONG lineGetLineDevStatus(CTSPILineConnection* p, LPLINEDEVSTATUS) override {
    return Rec("lineGetLineDevStatus", p);
  }
  LONG lineGetNumAddressIDs(CTSPILineConnection* p, LPDWORD) override {
    return Rec("lineGetNumAddressIDs", p);
  }
  LONG lineMakeCall(CTSPILineConnection* p, DRV_REQUESTID id, HTAPICALL, LPHDRVCALL, LPCSTR s,
                    DWORD, LPLINECALLPARAMS const) override {
    return Rec("lineMakeCall", p, nullptr, id, s);
  }
  LONG lineOpen(CTSPILineConnection* p, HTAPILINE, LPHDRVLINE, DWORD, LINEEVENT) override {
    return Rec("lineOpen", p);
  }
  LONG linePickup(CTSPIAddressInfo* p, DRV_REQUESTID id, HTAPICALL, LPHDRVCALL, LPCSTR s,
                  LPCSTR g) override {
    return Rec("linePickup", p, nullptr, id, (std::string(s) + "/" + g).c_str());
  }
  LONG lineSetDefaultMediaDetection(CTSPILineConnection* p, DWORD) override {
    return Rec("lineSetDefaultMediaDetection", p);
  }
  LONG lineSetDevConfig(CTSPILineConnection* p, LPVOID const, DWORD, LPCSTR s) override {
    return Rec("lineSetDevConfig", p, nullptr, 0, s);
  }
  LONG lineSetStatusMessages(CTSPILineConnection* p, DWORD, DWORD) override {
    return Rec("lineSetStatusMessages", p);
  }
  LONG lineUncompleteCall(CTSPILineConnection* p, DRV_REQUESTID id, DWORD) override {
    return Rec("lineUncompleteCall", p, nullptr, id);
  }
  LONG lineUnpark(CTSPIAddressInfo* p, DRV_REQUESTID id, HTAPICALL, LPHDRVCALL, LPCSTR s) override {
    return Rec("lineUnpark", p, nullptr, id, s);
  }

  // Provider and user-interface entries.
  LONG providerConfig(DWORD, HWND, TUISPIDLLCALLBACK) override {
    return Rec("providerConfig", nullptr);
  }
  LONG providerInstall(DWORD, HWND, TUISPIDLLCALLBACK) override {
    return Rec("providerInstall", nullptr);
  }
  LONG providerRemove(DWORD, HWND, TUISPIDLLCALLBACK) override {
    return Rec("providerRemove", nullptr);
  }
  LONG lineConfigDialog(DWORD, HWND, LPCSTR s, TUISPIDLLCALLBACK) override {
    return Rec("lineConfigDialog", nullptr, nullptr, 0, s);
  }
  LONG lineConfigDialogEdit(DWORD, HWND, LPCSTR s, LPVOID const, DWORD, LPVARSTRING,
                            TUISPIDLLCALLBACK) override {
    return Rec("lineConfigDialogEdit", nullptr, nullptr, 0, s);
  }
  LONG providerGenericDialogData(CTSPIDevice* pDevice, CTSPILineConnection* pLine,
                                 CTSPIPhoneConnection* pPhone, HDRVDIALOGINSTANCE hd, LPVOID,
                                 DWORD size) override {
    const void* pObject = pDevice != nullptr  ? static_cast<const void*>(pDevice)
                          : pLine != nullptr  ? static_cast<const void*>(pLine)
                          : pPhone != nullptr ? static_cast<const void*>(pPhone)
                                              : static_cast<const void*>(hd);
    return Rec("providerGenericDialogData", pObject, nullptr, 0, nullptr, size);
  }
  LONG providerShutdown(DWORD dwVersion, CTSPIDevice* pDevice) override {
    Rec("providerShutdown", pDevice);
    return CServiceProvider::providerShutdown(dwVersion, pDevice);
  }
};

// Doubles: a call only ever travels as a pointer; an address knows its line.
struct FakeAddress {
  CTSPILineConnection* pLine = nullptr;
};
struct FakeCall {
  FakeAddress* pAddress = nullptr;
};

CTSPICallAppearance* AsCall(FakeCall* p) {
  return reinterpret_cast<CTSPICallAppearance*>(p);
}
HDRVCALL AsHandle(FakeCall* p) {
  return reinterpret_cast<HDRVCALL>(p);
}
HDRVLINE AsHandle(CTSPIConnection* p) {
  return reinterpret_cast<HDRVLINE>(p);
}

class TspiExportsTest;
TspiExportsTest* g_test = nullptr;

class TspiExportsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_test = this;
    DWORD dwOptions = 0;
    ASSERT_EQ(
        sp.providerInit(0x00020001, kProviderID, kLineBase, kPhoneBase, 2, 1, nullptr, &dwOptions),
        0);
    line = sp.FindLineByDeviceID(kLineBase);
    otherLine = sp.FindLineByDeviceID(kLineBase + 1);
    phone = sp.FindPhoneByDeviceID(kPhoneBase);
    ASSERT_NE(line, nullptr);
    ASSERT_NE(otherLine, nullptr);
    ASSERT_NE(phone, nullptr);
    address[0].pLine = line;
    address[1].pLine = line;
    call.pAddress = &address[1];
    consult.pAddress = &address[0];

    TSPIExportSeams& seams = GetTSPIExportSeams();
    seams.pfnGetAddress = [](CTSPILineConnection* pLine, DWORD dwAddressID) {
      ++g_test->addressLookUps;
      if (pLine != g_test->line || dwAddressID >= 2) return static_cast<CTSPIAddressInfo*>(nullptr);
      return reinterpret_cast<CTSPIAddressInfo*>(&g_test->address[dwAddressID]);
    };
    seams.pfnGetCallAddress = [](CTSPICallAppearance* pCall) {
      return reinterpret_cast<CTSPIAddressInfo*>(reinterpret_cast<FakeCall*>(pCall)->pAddress);
    };
    seams.pfnGetAddressLine = [](CTSPIAddressInfo* pAddr) {
      return reinterpret_cast<FakeAddress*>(pAddr)->pLine;
    };
    GetTSPILiveCalls().Add(AsCall(&call));
    GetTSPILiveCalls().Add(AsCall(&consult));
  }

  void TearDown() override {
    GetTSPILiveCalls().Remove(AsCall(&call));
    GetTSPILiveCalls().Remove(AsCall(&consult));
    GetTSPIExportSeams() = TSPIExportSeams{};
    g_test = nullptr;
  }

  // Exactly one entry was reached; it is returned.
  Entry Only() {
    EXPECT_EQ(sp.entries.size(), 1u);
    Entry entry = sp.entries.empty() ? Entry{} : sp.entries.back();
    sp.entries.clear();
    return entry;
  }

  RecordingProvider sp;
  CTSPILineConnection* line = nullptr;
  CTSPILineConnection* otherLine = nullptr;
  CTSPIPhoneConnection* phone = nullptr;
  FakeAddress address[2];
  FakeCall call;
  FakeCall consult;
  int addressLookUps = 0;
  int unrelated = 0;  // memory that no handle names
};

// --- Call handles ---

struct CallRow {
  const char* op;
  std::function<LONG(HDRVCALL)> invoke;
  DWORD dwRequestID;
};

const std::vector<CallRow>& CallRows() {
  static const std::vector<CallRow> rows = {
      {"lineAnswer", [](HDRVCALL h) { return TSPI_lineAnswer(kRequestID, h, nullptr, 0); },
       kRequestID},
      {"lineBlindTransfer",
       [](HDRVCALL h) { return TSPI_lineBlindTransfer(kRequestID, h, u"100", 0); }, kRequestID},
      {"lineCloseCall", [](HDRVCALL h) { return TSPI_lineCloseCall(h); }, 0},
      {"lineDial", [](HDRVCALL h) { return TSPI_lineDial(kRequestID, h, u"100", 0); }, kRequestID},
      {"lineDrop", [](HDRVCALL h) { return TSPI_lineDrop(kRequestID, h, nullptr, 0); }, kRequestID},
      {"lineGatherDigits",
       [](HDRVCALL h) { return TSPI_lineGatherDigits(h, 1, 2, nullptr, 0, u"#", 0, 0); }, 0},
      {"lineGenerateDigits", [](HDRVCALL h) { return TSPI_lineGenerateDigits(h, 1, 2, u"12", 0); },
       0},
      {"lineGenerateTone", [](HDRVCALL h) { return TSPI_lineGenerateTone(h, 1, 2, 0, 0, nullptr); },
       0},
      {"lineGetCallAddressID", [](HDRVCALL h) { return TSPI_lineGetCallAddressID(h, nullptr); }, 0},
      {"lineGetCallInfo", [](HDRVCALL h) { return TSPI_lineGetCallInfo(h, nullptr); }, 0},
      {"lineGetCallStatus", [](HDRVCALL h) { return TSPI_lineGetCallStatus(h, nullptr); }, 0},
      {"lineHold", [](HDRVCALL h) { return TSPI_lineHold(kRequestID, h); }, kRequestID},
      {"lineMonitorDigits", [](HDRVCALL h) { return TSPI_lineMonitorDigits(h, 0); }, 0},
      {"lineMonitorMedia", [](HDRVCALL h) { return TSPI_lineMonitorMedia(h, 0); }, 0},
      {"lineMonitorTones", [](HDRVCALL h) { return TSPI_lineMonitorTones(h, 0, nullptr, 0); }, 0},
      {"linePark",
       [](HDRVCALL h) {
         return TSPI_linePark(kRequestID, h, LINEPARKMODE_NONDIRECTED, nullptr, nullptr);
       },
       kRequestID},
      {"lineRedirect", [](HDRVCALL h) { return TSPI_lineRedirect(kRequestID, h, u"100", 0); },
       kRequestID},
      {"lineReleaseUserUserInfo",
       [](HDRVCALL h) { return TSPI_lineReleaseUserUserInfo(kRequestID, h); }, kRequestID},
      {"lineRemoveFromConference",
       [](HDRVCALL h) { return TSPI_lineRemoveFromConference(kRequestID, h); }, kRequestID},
      {"lineSecureCall", [](HDRVCALL h) { return TSPI_lineSecureCall(kRequestID, h); }, kRequestID},
      {"lineSetAppSpecific", [](HDRVCALL h) { return TSPI_lineSetAppSpecific(h, 5); }, 0},
      {"lineSetMediaMode", [](HDRVCALL h) { return TSPI_lineSetMediaMode(h, 4); }, 0},
      {"lineSetupTransfer",
       [](HDRVCALL h) { return TSPI_lineSetupTransfer(kRequestID, h, nullptr, nullptr, nullptr); },
       kRequestID},
      {"lineUnhold", [](HDRVCALL h) { return TSPI_lineUnhold(kRequestID, h); }, kRequestID},
  };
  return rows;
}

TEST_F(TspiExportsTest, CallExportsRefuseHandlesThatNameNoLiveCall) {
  FakeCall gone;  // never registered, like a call that was deleted
  for (const CallRow& row : CallRows()) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(nullptr), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(reinterpret_cast<HDRVCALL>(&unrelated)), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(AsHandle(&gone)), LINEERR_INVALCALLHANDLE);
    EXPECT_TRUE(sp.entries.empty());
  }
}

TEST_F(TspiExportsTest, CallExportsPassTheLiveCallAndRequestID) {
  for (const CallRow& row : CallRows()) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(AsHandle(&call)), kReached);
    const Entry entry = Only();
    EXPECT_EQ(entry.op, row.op);
    EXPECT_EQ(entry.pFirst, &call);
    EXPECT_EQ(entry.dwRequestID, row.dwRequestID);
  }
}

TEST_F(TspiExportsTest, TwoCallExportsCheckTheFirstHandleThenTheSecond) {
  struct Row {
    const char* op;
    std::function<LONG(HDRVCALL, HDRVCALL)> invoke;
  };
  const std::vector<Row> rows = {
      {"lineAddToConference",
       [](HDRVCALL a, HDRVCALL b) { return TSPI_lineAddToConference(kRequestID, a, b); }},
      {"lineCompleteTransfer",
       [](HDRVCALL a, HDRVCALL b) {
         return TSPI_lineCompleteTransfer(kRequestID, a, b, nullptr, nullptr,
                                          LINETRANSFERMODE_TRANSFER);
       }},
      {"lineSwapHold", [](HDRVCALL a, HDRVCALL b) { return TSPI_lineSwapHold(kRequestID, a, b); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(nullptr, AsHandle(&consult)), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(AsHandle(&call), nullptr), LINEERR_INVALCALLHANDLE);
    EXPECT_EQ(row.invoke(AsHandle(&call), reinterpret_cast<HDRVCALL>(&unrelated)),
              LINEERR_INVALCALLHANDLE);
    EXPECT_TRUE(sp.entries.empty());
    EXPECT_EQ(row.invoke(AsHandle(&call), AsHandle(&consult)), kReached);
    const Entry entry = Only();
    EXPECT_EQ(entry.op, row.op);
    EXPECT_EQ(entry.pFirst, &call);
    EXPECT_EQ(entry.pSecond, &consult);
    EXPECT_EQ(entry.dwRequestID, kRequestID);
  }
}

TEST_F(TspiExportsTest, ModeChecksComeBeforeTheCallHandles) {
  EXPECT_EQ(TSPI_lineCompleteTransfer(1, nullptr, nullptr, nullptr, nullptr, 3),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TSPI_lineCompleteTransfer(1, nullptr, nullptr, nullptr, nullptr, 0),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(
      TSPI_lineCompleteTransfer(1, nullptr, nullptr, nullptr, nullptr, LINETRANSFERMODE_CONFERENCE),
      LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(TSPI_linePark(1, nullptr, 0, u"100", nullptr), LINEERR_INVALPARKMODE);
  EXPECT_EQ(TSPI_linePark(1, nullptr, 3, nullptr, nullptr), LINEERR_INVALPARKMODE);
  EXPECT_EQ(TSPI_linePark(1, nullptr, LINEPARKMODE_DIRECTED, u"100", nullptr),
            LINEERR_INVALCALLHANDLE);
  EXPECT_TRUE(sp.entries.empty());
}

// --- Line handles ---

struct LineRow {
  const char* op;
  bool bByAddress;  // the entry receives the line's address instead of the line
  std::function<LONG(HDRVLINE, DWORD)> invoke;
};

const std::vector<LineRow>& LineRows() {
  static DWORD dwOut = 0;
  static const std::vector<LineRow> rows = {
      {"lineClose", false, [](HDRVLINE h, DWORD) { return TSPI_lineClose(h); }},
      {"lineForward", true,
       [](HDRVLINE h, DWORD a) {
         return TSPI_lineForward(kRequestID, h, FALSE, a, nullptr, 0, nullptr, nullptr, nullptr);
       }},
      {"lineGetAddressID", false,
       [](HDRVLINE h, DWORD) { return TSPI_lineGetAddressID(h, &dwOut, 1, u"12", 4); }},
      {"lineGetAddressStatus", true,
       [](HDRVLINE h, DWORD a) { return TSPI_lineGetAddressStatus(h, a, nullptr); }},
      {"lineGetID", false,
       [](HDRVLINE h, DWORD) {
         return TSPI_lineGetID(h, 0, nullptr, LINECALLSELECT_LINE, nullptr, u"tapi/line", nullptr);
       }},
      {"lineGetID", true,
       [](HDRVLINE h, DWORD a) {
         return TSPI_lineGetID(h, a, nullptr, LINECALLSELECT_ADDRESS, nullptr, u"tapi/line",
                               nullptr);
       }},
      {"lineGetLineDevStatus", false,
       [](HDRVLINE h, DWORD) { return TSPI_lineGetLineDevStatus(h, nullptr); }},
      {"lineGetNumAddressIDs", false,
       [](HDRVLINE h, DWORD) { return TSPI_lineGetNumAddressIDs(h, &dwOut); }},
      {"lineMakeCall", false,
       [](HDRVLINE h, DWORD) {
         return TSPI_lineMakeCall(kRequestID, h, nullptr, nullptr, u"100", 0, nullptr);
       }},
      {"linePickup", true,
       [](HDRVLINE h, DWORD a) {
         return TSPI_linePickup(kRequestID, h, a, nullptr, nullptr, u"100", u"G1");
       }},
      {"lineSetDefaultMediaDetection", false,
       [](HDRVLINE h, DWORD) { return TSPI_lineSetDefaultMediaDetection(h, 4); }},
      {"lineSetStatusMessages", false,
       [](HDRVLINE h, DWORD) { return TSPI_lineSetStatusMessages(h, 1, 1); }},
      {"lineUncompleteCall", false,
       [](HDRVLINE h, DWORD) { return TSPI_lineUncompleteCall(kRequestID, h, 3); }},
      {"lineUnpark", true,
       [](HDRVLINE h, DWORD a) {
         return TSPI_lineUnpark(kRequestID, h, a, nullptr, nullptr, u"100");
       }},
  };
  return rows;
}

TEST_F(TspiExportsTest, LineExportsRefuseHandlesThatNameNoLiveLine) {
  otherLine->SetFlags(CONNFLAG_REMOVED);
  const HDRVLINE bad[] = {nullptr, reinterpret_cast<HDRVLINE>(&unrelated), AsHandle(phone),
                          AsHandle(otherLine)};
  for (const LineRow& row : LineRows()) {
    SCOPED_TRACE(row.op);
    for (HDRVLINE hdLine : bad) EXPECT_EQ(row.invoke(hdLine, 0), LINEERR_INVALLINEHANDLE);
    EXPECT_TRUE(sp.entries.empty());
  }
  EXPECT_EQ(addressLookUps, 0);
}

TEST_F(TspiExportsTest, LineExportsPassTheLineOrItsAddress) {
  for (const LineRow& row : LineRows()) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(AsHandle(line), 1), kReached);
    const Entry entry = Only();
    EXPECT_EQ(entry.op, row.op);
    if (row.bByAddress) {
      // lineForward and lineGetID name the line first, then the address.
      const bool bLineFirst = entry.op == "lineForward" || entry.op == "lineGetID";
      EXPECT_EQ(bLineFirst ? entry.pSecond : entry.pFirst, &address[1]);
      if (bLineFirst) {
        EXPECT_EQ(entry.pFirst, line);
      }
    } else {
      EXPECT_EQ(entry.pFirst, line);
    }
  }
}

TEST_F(TspiExportsTest, AddressExportsRefuseAnAddressIDTheLineLacks) {
  for (const LineRow& row : LineRows()) {
    if (!row.bByAddress) continue;
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(AsHandle(line), 2), LINEERR_INVALADDRESSID);
  }
  EXPECT_TRUE(sp.entries.empty());
}

TEST_F(TspiExportsTest, ForwardOnAllAddressesLooksUpNoAddress) {
  EXPECT_EQ(
      TSPI_lineForward(kRequestID, AsHandle(line), TRUE, 99, nullptr, 0, nullptr, nullptr, nullptr),
      kReached);
  const Entry entry = Only();
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, nullptr);
  EXPECT_EQ(addressLookUps, 0);
}

// --- Device IDs ---

TEST_F(TspiExportsTest, DeviceIDExportsFindTheLineOrRefuse) {
  struct Row {
    const char* op;
    std::function<LONG(DWORD)> invoke;
  };
  const std::vector<Row> rows = {
      {"lineGetAddressCaps",
       [](DWORD d) { return TSPI_lineGetAddressCaps(d, 0, 0x00020001, 0, nullptr); }},
      {"lineGetDevCaps", [](DWORD d) { return TSPI_lineGetDevCaps(d, 0x00020001, 0, nullptr); }},
      {"lineGetDevConfig", [](DWORD d) { return TSPI_lineGetDevConfig(d, nullptr, u"x"); }},
      {"lineGetExtensionID",
       [](DWORD d) { return TSPI_lineGetExtensionID(d, 0x00020001, nullptr); }},
      {"lineSetDevConfig", [](DWORD d) { return TSPI_lineSetDevConfig(d, nullptr, 0, u"x"); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.op);
    EXPECT_EQ(row.invoke(kPhoneBase), LINEERR_BADDEVICEID);  // a phone's ID names no line
    EXPECT_EQ(row.invoke(kLineBase + 5), LINEERR_BADDEVICEID);
    EXPECT_TRUE(sp.entries.empty());
    EXPECT_EQ(row.invoke(kLineBase), kReached);
    const Entry entry = Only();
    EXPECT_EQ(entry.op, row.op);
    EXPECT_EQ(entry.pFirst, row.op == std::string("lineGetAddressCaps")
                                ? static_cast<const void*>(&address[0])
                                : static_cast<const void*>(line));
  }
  EXPECT_EQ(TSPI_lineGetAddressCaps(kLineBase, 2, 0x00020001, 0, nullptr), LINEERR_INVALADDRESSID);
  EXPECT_EQ(TSPI_lineGetAddressCaps(kLineBase + 1, 0, 0x00020001, 0, nullptr),
            LINEERR_INVALADDRESSID);
}

TEST_F(TspiExportsTest, OpenWithAnUnknownDeviceLeavesNoHandle) {
  auto hdLine = reinterpret_cast<HDRVLINE>(&unrelated);
  EXPECT_EQ(TSPI_lineOpen(kLineBase + 5, nullptr, &hdLine, 0x00020001, nullptr),
            LINEERR_BADDEVICEID);
  EXPECT_EQ(hdLine, nullptr);
  EXPECT_EQ(TSPI_lineOpen(kLineBase, nullptr, nullptr, 0x00020001, nullptr), LINEERR_INVALPOINTER);
  EXPECT_TRUE(sp.entries.empty());
  EXPECT_EQ(TSPI_lineOpen(kLineBase, nullptr, &hdLine, 0x00020001, nullptr), kReached);
  EXPECT_EQ(Only().pFirst, line);
}

// --- Strings ---

TEST_F(TspiExportsTest, DeviceClassesReachTheProviderLowerCased) {
  EXPECT_EQ(TSPI_lineGetDevConfig(kLineBase, nullptr, u"Tapi/Line"), kReached);
  EXPECT_EQ(Only().text, "tapi/line");
  EXPECT_EQ(TSPI_lineSetDevConfig(kLineBase, nullptr, 0, u"TAPI/ProviderID"), kReached);
  EXPECT_EQ(Only().text, "tapi/providerid");
  EXPECT_EQ(TSPI_lineGetID(AsHandle(line), 0, nullptr, LINECALLSELECT_LINE, nullptr, u"Comm/DATA",
                           nullptr),
            kReached);
  EXPECT_EQ(Only().text, "comm/data");
  EXPECT_EQ(TUISPI_lineConfigDialog(nullptr, kLineBase, nullptr, u"Tapi/Line"), kReached);
  EXPECT_EQ(Only().text, "tapi/line");
  EXPECT_EQ(
      TUISPI_lineConfigDialogEdit(nullptr, kLineBase, nullptr, u"Tapi/Line", nullptr, 0, nullptr),
      kReached);
  EXPECT_EQ(Only().text, "tapi/line");
  // Other strings keep their case; a missing one is empty.
  EXPECT_EQ(TSPI_lineMakeCall(1, AsHandle(line), nullptr, nullptr, u"Operator", 0, nullptr),
            kReached);
  EXPECT_EQ(Only().text, "Operator");
  EXPECT_EQ(TSPI_lineDial(1, AsHandle(&call), nullptr, 0), kReached);
  EXPECT_EQ(Only().text, "");
  EXPECT_EQ(TSPI_linePickup(1, AsHandle(line), 0, nullptr, nullptr, nullptr, u"Grp"), kReached);
  EXPECT_EQ(Only().text, "/Grp");
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
  EXPECT_EQ(DeviceClassToAnsi(u"Tapi/LINE"), "tapi/line");
}

TEST_F(TspiExportsTest, GetAddressIDReadsAtMostTheGivenSizeAndPassesTheTextLength) {
  const WCHAR unterminated[] = {u'5', u'5', u'5', u'1', u'2'};  // no NUL
  DWORD dwAddressID = 0;
  EXPECT_EQ(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, unterminated, 6), kReached);
  Entry entry = Only();
  EXPECT_EQ(entry.text, "555");
  EXPECT_EQ(entry.dwSize, 3u);
  EXPECT_EQ(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1,
                                  u"12\0"
                                  u"45",
                                  10),
            kReached);
  entry = Only();
  EXPECT_EQ(entry.text, "12");
  EXPECT_EQ(entry.dwSize, 2u);
  // An odd byte count leaves out the half unit.
  EXPECT_EQ(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, unterminated, 3), kReached);
  EXPECT_EQ(Only().text, "5");
  EXPECT_EQ(TSPI_lineGetAddressID(AsHandle(line), &dwAddressID, 1, nullptr, 40), kReached);
  entry = Only();
  EXPECT_EQ(entry.text, "");
  EXPECT_EQ(entry.dwSize, 0u);
}

// --- lineGetID ---

TEST_F(TspiExportsTest, GetIDChecksWhatTheSelectNames) {
  auto getID = [](HDRVLINE hdLine, DWORD dwAddressID, HDRVCALL hdCall, DWORD dwSelect) {
    return TSPI_lineGetID(hdLine, dwAddressID, hdCall, dwSelect, nullptr, u"tapi/line", nullptr);
  };
  otherLine->SetFlags(CONNFLAG_REMOVED);
  EXPECT_EQ(getID(nullptr, 0, AsHandle(&call), LINECALLSELECT_LINE), LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(getID(AsHandle(phone), 0, nullptr, LINECALLSELECT_LINE), LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(getID(AsHandle(otherLine), 0, nullptr, LINECALLSELECT_ADDRESS),
            LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(getID(reinterpret_cast<HDRVLINE>(&unrelated), 0, nullptr, LINECALLSELECT_ADDRESS),
            LINEERR_INVALLINEHANDLE);
  EXPECT_EQ(getID(AsHandle(line), 5, nullptr, LINECALLSELECT_ADDRESS), LINEERR_INVALADDRESSID);
  EXPECT_EQ(getID(AsHandle(line), 0, nullptr, LINECALLSELECT_CALL), LINEERR_INVALCALLHANDLE);
  EXPECT_EQ(getID(AsHandle(line), 0, reinterpret_cast<HDRVCALL>(&unrelated), LINECALLSELECT_CALL),
            LINEERR_INVALCALLHANDLE);
  for (DWORD dwSelect : {0u, LINECALLSELECT_DEVICEID, LINECALLSELECT_CALLID, 3u}) {
    EXPECT_EQ(getID(AsHandle(line), 0, AsHandle(&call), dwSelect), LINEERR_INVALCALLSELECT);
  }
  EXPECT_TRUE(sp.entries.empty());

  // LINE: the line alone, whatever the call handle says.
  EXPECT_EQ(getID(AsHandle(line), 1, AsHandle(&call), LINECALLSELECT_LINE), kReached);
  Entry entry = Only();
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, nullptr);
  EXPECT_EQ(entry.pThird, nullptr);
  // ADDRESS: the line and its address.
  EXPECT_EQ(getID(AsHandle(line), 1, nullptr, LINECALLSELECT_ADDRESS), kReached);
  entry = Only();
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, &address[1]);
  EXPECT_EQ(entry.pThird, nullptr);
  // CALL: the call, its address and that address's line; the line handle is not used.
  EXPECT_EQ(getID(nullptr, 0, AsHandle(&call), LINECALLSELECT_CALL), kReached);
  entry = Only();
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.pSecond, &address[1]);
  EXPECT_EQ(entry.pThird, &call);
}

// --- Provider functions ---

TEST_F(TspiExportsTest, FoldedFormsAreUnavailable) {
  EXPECT_EQ(TSPI_lineConfigDialog(kLineBase, nullptr, u"tapi/line"), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_lineConfigDialogEdit(kLineBase, nullptr, u"tapi/line", nullptr, 0, nullptr),
            LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_providerConfig(nullptr, kProviderID), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_providerInstall(nullptr, kProviderID), LINEERR_OPERATIONUNAVAIL);
  EXPECT_EQ(TSPI_providerRemove(nullptr, kProviderID), LINEERR_OPERATIONUNAVAIL);
  EXPECT_TRUE(sp.entries.empty());
  // The UI forms reach the provider.
  EXPECT_EQ(TUISPI_providerConfig(nullptr, nullptr, kProviderID), kReached);
  EXPECT_EQ(Only().op, "providerConfig");
  EXPECT_EQ(TUISPI_providerInstall(nullptr, nullptr, kProviderID), kReached);
  EXPECT_EQ(Only().op, "providerInstall");
  EXPECT_EQ(TUISPI_providerRemove(nullptr, nullptr, kProviderID), kReached);
  EXPECT_EQ(Only().op, "providerRemove");
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

// --- Generic dialog data ---

TEST_F(TspiExportsTest, DialogDataAnswersThePrivateExchangeForLinesAndPhones) {
  DWORD message[2] = {TSPI_DLGDATA_PROVIDERID_QUERY, kLineBase};
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase, TUISPIDLL_OBJECT_LINEID, message, 8), 0);
  EXPECT_EQ(message[0], TSPI_DLGDATA_PROVIDERID_ANSWER);
  EXPECT_EQ(message[1], kProviderID);

  DWORD permanent[2] = {TSPI_DLGDATA_PERMANENTID_QUERY, 0};
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase + 1, TUISPIDLL_OBJECT_LINEID, permanent, 8),
            0);
  EXPECT_EQ(permanent[0], TSPI_DLGDATA_PERMANENTID_ANSWER);
  EXPECT_EQ(permanent[1], otherLine->GetPermanentDeviceID());

  DWORD phoneQuery[2] = {TSPI_DLGDATA_PERMANENTID_QUERY, 0};
  EXPECT_EQ(TSPI_providerGenericDialogData(kPhoneBase, TUISPIDLL_OBJECT_PHONEID, phoneQuery, 8), 0);
  EXPECT_EQ(phoneQuery[0], TSPI_DLGDATA_PERMANENTID_ANSWER);
  EXPECT_EQ(phoneQuery[1], phone->GetPermanentDeviceID());
  EXPECT_NE(phoneQuery[1] & 0x8000, 0u);
  EXPECT_TRUE(sp.entries.empty());
}

TEST_F(TspiExportsTest, DialogDataRoutesEverythingElseToTheProvider) {
  DWORD query[2] = {TSPI_DLGDATA_PROVIDERID_QUERY, 0};
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase + 7, TUISPIDLL_OBJECT_LINEID, query, 8),
            LINEERR_BADDEVICEID);
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase, TUISPIDLL_OBJECT_PHONEID, query, 8),
            PHONEERR_BADDEVICEID);
  EXPECT_EQ(query[0], TSPI_DLGDATA_PROVIDERID_QUERY);  // unanswered
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
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase, TUISPIDLL_OBJECT_LINEID, longer, 12),
            kReached);
  Entry entry = Only();
  EXPECT_EQ(entry.pFirst, line);
  EXPECT_EQ(entry.dwSize, 12u);
  EXPECT_EQ(longer[0], TSPI_DLGDATA_PROVIDERID_QUERY);
  DWORD other[2] = {0xFFFF0001, kLineBase};
  EXPECT_EQ(TSPI_providerGenericDialogData(kLineBase, TUISPIDLL_OBJECT_LINEID, other, 8), kReached);
  EXPECT_EQ(Only().pFirst, line);
  EXPECT_EQ(TSPI_providerGenericDialogData(kPhoneBase, TUISPIDLL_OBJECT_PHONEID, other, 8),
            kReached);
  EXPECT_EQ(Only().pFirst, phone);
  EXPECT_EQ(TSPI_providerGenericDialogData(kProviderID, TUISPIDLL_OBJECT_PROVIDERID, other, 8),
            kReached);
  EXPECT_EQ(Only().pFirst, sp.FindDeviceByProviderID(kProviderID));
  int instance = 0;
  EXPECT_EQ(TSPI_providerGenericDialogData(reinterpret_cast<DWORD_PTR>(&instance),
                                           TUISPIDLL_OBJECT_DIALOGINSTANCE, other, 8),
            kReached);
  EXPECT_EQ(Only().pFirst, &instance);
}

TEST(TspiExportsWithoutProviderTest, AnswerNoDriver) {
  ASSERT_EQ(GetSP(), nullptr);
  EXPECT_EQ(TSPI_lineClose(nullptr), LINEERR_NODRIVER);
  EXPECT_EQ(TSPI_providerInit(0x00020001, 1, 0, 0, 0, 0, nullptr, nullptr), LINEERR_NODRIVER);
  EXPECT_EQ(TUISPI_providerConfig(nullptr, nullptr, 1), LINEERR_NODRIVER);
}

}  // namespace
