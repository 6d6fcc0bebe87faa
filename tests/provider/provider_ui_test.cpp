// The provider's user-interface side and provider side in one process: the UI callback goes
// straight to TSPI_providerGenericDialogData, as TAPI routes it between the two processes.
#include <cstring>

#include "platform/afxdlg.h"
#include "platform/dialog_presenter.h"
#include "platform/registry.h"
#include "platform/tspi.h"
#include "tests/provider/provider_doubles.h"
#include "tests/provider_ui/script_fixture.h"

namespace prov_test {
namespace {

// How the channel between the two halves behaves.
enum class Channel {
  kProvider,         // the provider side answers
  kSilent,           // every query comes back with 0 and unanswered
  kSilentLineIndex,  // the line-index query comes back with 0 and unanswered
};
Channel g_channel = Channel::kProvider;

LONG UICallback(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize) {
  DWORD dwCode = 0;
  if (dwSize >= sizeof(dwCode)) std::memcpy(&dwCode, lpParams, sizeof(dwCode));
  if (g_channel == Channel::kSilent) return 0;
  if (g_channel == Channel::kSilentLineIndex && dwCode == OMBIX_LINEINDEX_QUERY) return 0;
  return TSPI_providerGenericDialogData(dwObjectID, dwObjectType, lpParams, dwSize);
}

// Records the boxes and cancels every dialog.
class RecordingPresenter : public CDialogPresenter {
 public:
  struct Box {
    std::string text;
    std::string caption;
    UINT nType;
  };
  BOOL ShowsDialogs() const override { return TRUE; }
  void RunModal(CDialog& dlg) override {
    ++nDialogs;
    dlg.EndDialog(IDCANCEL);
  }
  int MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) override {
    boxes.push_back({pszText, pszCaption, nType});
    return IDOK;
  }
  int nDialogs = 0;
  std::vector<Box> boxes;
};

class ProviderUITest : public ScriptedDialogTestOn<ProviderTest> {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    g_channel = Channel::kProvider;
    Write("IP1", "10.0.0.1");
    SaveLineSettings(kProviderID, 0, "200", "pw0");
    SaveLineSettings(kProviderID, 1, "201", "pw1");
    ASSERT_EQ(Init(2), 0);  // device IDs 10 and 11
  }
  RecordingPresenter& Record() {
    m_recorder = std::make_shared<RecordingPresenter>();
    AfxSetDialogPresenter(m_recorder);
    return *m_recorder;
  }
  static std::string Line(DWORD dwProviderID, DWORD dwIndex) {
    CString number;
    CString password;
    LoadLineSettings(dwProviderID, dwIndex, number, password);
    return std::string(number) + "/" + std::string(password);
  }
  static std::string ExportTelephony() {
    std::string text;
    OmbixRegExportKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony",
                      TRUE, &text);
    return text;
  }

  std::shared_ptr<RecordingPresenter> m_recorder;
};

TEST_F(ProviderUITest, LineDialogAsksTheProviderSideAndEditsThatLine) {
  Play(R"(dialog "Modify Password"
check 1008 text 201
check 1008 readonly
check 1009 text pw1
check focus 1009
check 1 disabled
set 1009 secret
set 1010 secret
click 1
)");
  ombix::registry_test::ReplaceCounter counter(path_);
  ASSERT_TRUE(counter.Watching());
  EXPECT_EQ(TUISPI_lineConfigDialog(&UICallback, 11, nullptr, u"tapi/line"), 0);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(counter.Count(), 1);  // number and password in one write
  EXPECT_EQ(Line(kProviderID, 1), "201/secret");
  EXPECT_EQ(Line(kProviderID, 0), "200/pw0");
}

TEST_F(ProviderUITest, LineDialogCancelledOrUnansweredChangesNothing) {
  Play("dialog 102\nset 1009 other\nescape\n");
  EXPECT_EQ(TUISPI_lineConfigDialog(&UICallback, 10, nullptr, u"tapi/line"), 0);
  EXPECT_TRUE(m_script->IsComplete()) << Report();

  // Each of these leaves the UI side without a line to edit: no dialog may open.
  const struct {
    Channel channel;
    DWORD dwDeviceID;
  } cases[] = {
      {Channel::kProvider, 12},  // no such line: the provider side refuses
      {Channel::kSilent, 11},
      {Channel::kSilentLineIndex, 11},
  };
  const std::string before = ExportTelephony();
  for (const auto& c : cases) {
    g_channel = c.channel;
    Play("");
    EXPECT_EQ(TUISPI_lineConfigDialog(&UICallback, c.dwDeviceID, nullptr, u"tapi/line"),
              LINEERR_OPERATIONFAILED)
        << static_cast<int>(c.channel);
    EXPECT_TRUE(m_script->IsComplete()) << static_cast<int>(c.channel) << "\n" << Report();
  }
  EXPECT_EQ(ExportTelephony(), before);
}

TEST_F(ProviderUITest, LineAnswersOnlyItsIndexQuery) {
  const struct {
    std::vector<DWORD> sent;
    std::vector<DWORD> answered;
  } cases[] = {
      {{OMBIX_LINEINDEX_QUERY, 11}, {OMBIX_LINEINDEX_ANSWER, 1}},
      {{OMBIX_LINEINDEX_QUERY, 11, 0}, {OMBIX_LINEINDEX_QUERY, 11, 0}},  // not 8 bytes
      {{OMBIX_LINEINDEX_ANSWER, 11}, {OMBIX_LINEINDEX_ANSWER, 11}},
      {{0x12345678, 5}, {0x12345678, 5}},
  };
  for (const auto& c : cases) {
    std::vector<DWORD> buffer = c.sent;
    EXPECT_EQ(TSPI_providerGenericDialogData(11, TUISPIDLL_OBJECT_LINEID, buffer.data(),
                                             static_cast<DWORD>(buffer.size() * sizeof(DWORD))),
              0);
    EXPECT_EQ(buffer, c.answered) << std::hex << c.sent[0];
  }
  DWORD dwIndex = 0xDEAD;
  EXPECT_EQ(COmbixProvider::QueryLineIndexThroughUI(&UICallback, 12, &dwIndex),
            LINEERR_BADDEVICEID);
  EXPECT_EQ(dwIndex, 0u);
}

TEST_F(ProviderUITest, ErrorBoxForEachStoredLineError) {
  CString reason;
  const struct {
    DWORD dwError;
    UINT nTextID;
  } cases[] = {{1, 107},  {2, 108},  {13, 109}, {14, 110}, {15, 111},
               {16, 112}, {18, 113}, {30, 114}, {99, 115}, {3, 115}};
  RecordingPresenter& presenter = Record();
  for (const auto& c : cases) {
    DWORD dwError = c.dwError;
    EXPECT_EQ(TUISPI_providerGenericDialog(&UICallback, 1, &dwError, sizeof(dwError), nullptr), 0);
    ASSERT_EQ(presenter.boxes.size(), 1u) << c.dwError;
    ASSERT_TRUE(reason.LoadString(c.nTextID));
    EXPECT_EQ(presenter.boxes[0].text,
              std::string(reason) + "\n\nError=" + std::to_string(c.dwError));
    EXPECT_EQ(presenter.boxes[0].caption, "VOIP Telephony Service Provider");
    EXPECT_EQ(presenter.boxes[0].nType, MB_OK | MB_ICONEXCLAMATION);
    presenter.boxes.clear();
  }
  DWORD dwError = 1;
  TUISPI_providerGenericDialog(&UICallback, 1, &dwError, sizeof(dwError), nullptr);
  EXPECT_EQ(presenter.boxes.at(0).text,
            "The Phone Password you entered while configuring this Telephony Service Provider is "
            "incorrect.\n\nPlease correct the invalid Phone Password.\n\nError=1");

  // Anything but one 32-bit code shows nothing.
  presenter.boxes.clear();
  const DWORD codes[2] = {1, 1};
  EXPECT_EQ(TUISPI_providerGenericDialog(&UICallback, 1, nullptr, 4, nullptr),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TUISPI_providerGenericDialog(&UICallback, 1, const_cast<DWORD*>(codes), 8, nullptr),
            LINEERR_OPERATIONFAILED);
  EXPECT_EQ(TUISPI_providerGenericDialog(&UICallback, 1, const_cast<DWORD*>(codes), 3, nullptr),
            LINEERR_OPERATIONFAILED);
  EXPECT_TRUE(presenter.boxes.empty());
}

TEST_F(ProviderUITest, LineDialogEditFillsItsRecordWithinTheBuffer) {
  constexpr BYTE kGuard = 0xCC;
  const struct {
    DWORD dwTotal;
    LONG lResult;
    DWORD dwNeeded, dwUsed, dwStringSize, dwStringOffset;
    int nDialogs;
  } cases[] = {
      {20, LINEERR_STRUCTURETOOSMALL, kGuard * 0x01010101u, 0, 0, 0, 0},
      {24, 0, 25, 24, 0, 0, 1},
      {25, 0, 25, 25, 1, 24, 1},
      {64, 0, 25, 25, 1, 24, 1},
  };
  for (const auto& c : cases) {
    RecordingPresenter& presenter = Record();
    std::vector<BYTE> buffer(80, kGuard);
    auto* pOut = reinterpret_cast<VARSTRING*>(buffer.data());
    pOut->dwTotalSize = c.dwTotal;
    const BYTE config[3] = {1, 2, 3};
    EXPECT_EQ(TUISPI_lineConfigDialogEdit(&UICallback, 11, nullptr, u"tapi/line",
                                          const_cast<BYTE*>(config), sizeof(config), pOut),
              c.lResult)
        << c.dwTotal;
    EXPECT_EQ(pOut->dwNeededSize, c.dwNeeded) << c.dwTotal;
    if (c.lResult == 0) {
      EXPECT_EQ(pOut->dwUsedSize, c.dwUsed) << c.dwTotal;
      EXPECT_EQ(pOut->dwStringFormat, STRINGFORMAT_BINARY);
      EXPECT_EQ(pOut->dwStringSize, c.dwStringSize) << c.dwTotal;
      EXPECT_EQ(pOut->dwStringOffset, c.dwStringOffset) << c.dwTotal;
    }
    // Nothing past what the caller said it has; the data byte is written where there is room.
    for (size_t i = std::max<size_t>(c.dwTotal, sizeof(VARSTRING)); i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], kGuard) << c.dwTotal << " at " << i;
    }
    if (c.dwTotal >= 25) {
      EXPECT_EQ(buffer[24], 0) << c.dwTotal;
    }
    EXPECT_EQ(presenter.nDialogs, c.nDialogs) << c.dwTotal;
  }
}

TEST_F(ProviderUITest, ProviderDialogAddsALineToTheSettings) {
  Write("IP2", "10.0.0.2");
  // The line is added at the old line count, and the change takes Cancel away.
  Play(R"(dialog "VOIP Telephony Service Provider"
check 1008 text 10.0.0.1
check 1008 disabled
check 1007 text 10.0.0.2
check 1 enabled
check 2 enabled
check 1004 items 200 201
check 1004 selected 0
click 1005
dialog "Add Line"
set 1008 300
set 1009 pw2
set 1010 pw2
click 1
check 1004 items 200 201 300
check 2 disabled
click 1
)");
  ombix::registry_test::ReplaceCounter counter(path_);
  ASSERT_TRUE(counter.Watching());
  EXPECT_EQ(TUISPI_providerConfig(&UICallback, nullptr, kProviderID), 0);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  // The count and the line in one write when the line is added; OK finds the addresses as
  // shown and has nothing to write.
  EXPECT_EQ(counter.Count(), 1);
  EXPECT_EQ(provider.RegReadDword(kProviderID, "Lines", 0), 3u);
  EXPECT_EQ(Line(kProviderID, 2), "300/pw2");
  EXPECT_EQ(Line(kProviderID, 1), "201/pw1");
  EXPECT_EQ(provider.RegReadString(kProviderID, "IP2", "none"), CString("10.0.0.2"));

  // A key without addresses shows, and on OK writes, 0.0.0.0.
  Play("dialog 101\ncheck 1008 text 0.0.0.0\ncheck 1007 text 0.0.0.0\nclick 1\n");
  EXPECT_EQ(TUISPI_providerConfig(&UICallback, nullptr, 9), 0);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(provider.RegReadString(9, "IP1", "none"), CString("0.0.0.0"));
  EXPECT_EQ(provider.RegReadString(9, "IP2", "none"), CString("0.0.0.0"));
  EXPECT_EQ(provider.RegReadDword(9, "Lines", 7), 7u);
}

// A cancelled line dialog and a removal answered No change nothing (Cancel stays); a removal
// made is written even when the dialog is cancelled.
TEST_F(ProviderUITest, ProviderDialogCancelledKeepsAddressesButNotRemovedLines) {
  Play(R"(dialog 101
click 1005
dialog 102
set 1008 300
escape
check 2 enabled
click 1006
box no "Do you want to delete Line 200?"
check 1004 items 200 201
check 2 enabled
select 1004 0
click 1006
box yes
check 1004 items 201
escape
)");
  EXPECT_EQ(TUISPI_providerConfig(&UICallback, nullptr, kProviderID), 0);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(provider.RegReadDword(kProviderID, "Lines", 0), 1u);
  EXPECT_EQ(Line(kProviderID, 0), "201/pw1");
  EXPECT_EQ(Line(kProviderID, 1), "/");
  EXPECT_EQ(provider.RegReadString(kProviderID, "IP2", "none"), CString(""));
}

}  // namespace
}  // namespace prov_test
