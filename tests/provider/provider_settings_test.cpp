// The provider's start-up from its settings: lines reported, a server required, the key rewritten
// in one write as value-by-value writes would leave it.
#include <fstream>
#include <functional>

#include "platform/registry.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {

// A line that, while the provider starts, saves settings as another writer would meanwhile.
class SavingLine : public COmbixLine {
  DECLARE_DYNCREATE(SavingLine)
 public:
  static inline std::function<void(DWORD dwLineIndex)> onInit;
  void Init(CTSPIDevice* pDevice, DWORD dwLineDeviceID, DWORD dwPos,
            DWORD_PTR dwItemData) override {
    COmbixLine::Init(pDevice, dwLineDeviceID, dwPos, dwItemData);
    if (onInit) onInit(dwPos);
  }
};
IMPLEMENT_DYNCREATE(SavingLine, COmbixLine)

namespace {

std::string ExportDeviceKey() {
  std::string text;
  OmbixRegExportKey(HKEY_LOCAL_MACHINE, kDeviceKey.c_str(), TRUE, &text);
  return text;
}

DWORD EnumLines(COmbixProvider& provider) {
  DWORD dwLines = 0xDEAD;
  DWORD dwPhones = 0xDEAD;
  EXPECT_EQ(
      provider.providerEnumDevices(kProviderID, &dwLines, &dwPhones, nullptr, nullptr, nullptr), 0);
  EXPECT_EQ(dwPhones, 0u);
  return dwLines;
}

// Line i's number and password in the test below (every third password empty).
std::string NumberOf(DWORD i) {
  return std::to_string(400 + i);
}
std::string PasswordOf(DWORD i) {
  if (i % 3 == 0) return "";
  std::string text = "pw";
  text += std::to_string(i);
  return text;
}

TEST_F(ProviderTest, StartWritesTheFileOnceAsValueByValueWritesWould) {
  // Another instance's key, a value beside the list and a subkey of the key that go, and a
  // keep-alive time that stays as it is stored.
  provider.RegWriteDword(kProviderID + 1, "Lines", 1);
  provider.RegWriteString(kProviderID + 1, "Line.0.Number", "300");
  Write("IP1", "10.0.0.1");
  Write("PingTimer", "stale");
  Write("Other", "stale");
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kDeviceKey + "\\Extra").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
  constexpr DWORD kLines = 20;  // indexes past 9 are written in hexadecimal
  for (DWORD i = 0; i < kLines + 2; ++i) {
    SaveLineSettings(kProviderID, i, NumberOf(i).c_str(), PasswordOf(i).c_str());
  }
  provider.RegWriteDword(kProviderID, "Lines", kLines);  // the two lines past it go
  const std::string before = FileText();

  ombix::registry_test::ReplaceCounter counter(path_);
  ASSERT_TRUE(counter.Watching());
  ASSERT_EQ(Init(kLines), 0);
  EXPECT_EQ(counter.Count(), 1);
  const std::string after = FileText();
  // Every line had its own pair, read in one pass that ends with the start.
  for (DWORD i : {0u, 13u, kLines - 1}) {
    auto* pLine = dynamic_cast<COmbixLine*>(provider.FindLineByDeviceID(10 + i));
    ASSERT_NE(pLine, nullptr);
    EXPECT_EQ(pLine->GetNumber(), CString(NumberOf(i).c_str()));
    EXPECT_EQ(pLine->GetPassword(), CString(PasswordOf(i).c_str()));
  }
  CString strNumber = "kept";
  CString strPassword = "kept";
  EXPECT_FALSE(provider.TakeStartSettings(kProviderID, 0, strNumber, strPassword));
  EXPECT_EQ(strNumber, CString("kept"));

  // The same start-up done one registry call at a time, on a copy of the file as it was.
  std::ofstream(path_, std::ios::binary | std::ios::trunc) << before;
  EXPECT_TRUE(provider.RegDeleteDeviceKey(kProviderID));
  provider.RegWriteDword(kProviderID, "Lines", kLines);
  Write("IP1", "10.0.0.1");
  Write("IP2", "");
  Write("PingTimer", "stale");
  for (DWORD i = 0; i < kLines; ++i) {
    SaveLineSettings(kProviderID, i, NumberOf(i).c_str(), PasswordOf(i).c_str());
  }
  EXPECT_EQ(after, FileText());
  EXPECT_NE(after.find("\"Line.13.Password\"=\"pw19\""), std::string::npos);
  EXPECT_EQ(after.find("Extra"), std::string::npos);
  EXPECT_EQ(after.find("Other"), std::string::npos);
}

// The rewrite at the end of the start keeps what was saved while the lines were made: the key
// is rewritten as the file holds it then, while the lines keep what they read.
TEST_F(ProviderTest, StartKeepsWhatWasSavedWhileItStarted) {
  struct Case {
    const char* what;
    std::function<void(COmbixProvider&)> save;  // done while line 1 is made
    const char* expected;                       // the key's values after the start
  };
  const auto line = [](DWORD i, const char* number, const char* password) {
    return [=](COmbixProvider&) { SaveLineSettings(kProviderID, i, number, password); };
  };
  const Case cases[] = {
      {"a password", line(0, "200", "new0"),
       "\"Lines\"=dword:00000002\n\"IP1\"=\"10.0.0.1\"\n\"IP2\"=\"\"\n\"Line.0.Number\"=\"200\"\n"
       "\"Line.0.Password\"=\"new0\"\n\"Line.1.Number\"=\"201\"\n\"Line.1.Password\"=\"pw1\"\n"},
      {"an added line and an address",
       [](COmbixProvider& sp) {
         SaveLineSettings(kProviderID, 2, "202", "pw2");
         sp.RegWriteDword(kProviderID, "Lines", 3);
         sp.RegWriteString(kProviderID, "IP2", "10.0.0.2");
       },
       "\"Lines\"=dword:00000003\n\"IP1\"=\"10.0.0.1\"\n\"IP2\"=\"10.0.0.2\"\n\"Line.0.Number\"="
       "\"200\"\n\"Line.0.Password\"=\"pw0\"\n\"Line.1.Number\"=\"201\"\n\"Line.1.Password\"="
       "\"pw1\"\n"
       "\"Line.2.Number\"=\"202\"\n\"Line.2.Password\"=\"pw2\"\n"},
      {"a removed line, a keep-alive time and a value beside the list",
       [](COmbixProvider& sp) {
         sp.RegWriteDword(kProviderID, "Lines", 1);
         sp.RegWriteDword(kProviderID, "PingTimer", 5);
         sp.RegWriteDword(kProviderID, "Other", 6);
       },
       "\"Lines\"=dword:00000001\n\"IP1\"=\"10.0.0.1\"\n\"IP2\"=\"\"\n"
       "\"PingTimer\"=dword:00000005\n\"Line.0.Number\"=\"200\"\n\"Line.0.Password\"=\"pw0\"\n"},
  };
  provider.SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(SavingLine), nullptr, nullptr, nullptr,
                            nullptr);
  for (const Case& c : cases) {
    provider.RegDeleteDeviceKey(kProviderID);
    provider.RegWriteDword(kProviderID, "Lines", 2);
    Write("IP1", "10.0.0.1");
    SaveLineSettings(kProviderID, 0, "200", "pw0");
    SaveLineSettings(kProviderID, 1, "201", "pw1");
    SavingLine::onInit = [&](DWORD i) {
      if (i == 1) c.save(provider);
    };
    ASSERT_EQ(Init(2), 0) << c.what;
    SavingLine::onInit = nullptr;
    EXPECT_EQ(ExportDeviceKey(),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + kDeviceKey + "]\n" + c.expected + "\n")
        << c.what;
    auto* pLine = dynamic_cast<COmbixLine*>(provider.FindLineByDeviceID(10));
    ASSERT_NE(pLine, nullptr);
    EXPECT_EQ(pLine->GetPassword(), CString("pw0")) << c.what;  // as it read it
    provider.providerShutdown(0x00020001, provider.FindDeviceByProviderID(kProviderID));
  }
}

TEST_F(ProviderTest, StartWithoutServersIsRefusedAndLeavesNothingBehind) {
  provider.RegWriteDword(kProviderID, "Lines", 1);
  SaveLineSettings(kProviderID, 0, "200", "pw");
  const std::string before = ExportDeviceKey();

  EXPECT_EQ(Init(1), LINEERR_NODEVICE);
  EXPECT_EQ(provider.GetDeviceCount(), 0);
  EXPECT_FALSE(provider.IsTimerThreadRunning());
  EXPECT_EQ(ExportDeviceKey(), before);

  Write("IP1", "");
  Write("IP2", "10.0.0.2");  // one server is enough
  EXPECT_EQ(Init(1), 0);     // the same provider ID again
  EXPECT_EQ(provider.GetDeviceCount(), 1);
  EXPECT_TRUE(provider.IsTimerThreadRunning());
  EXPECT_EQ(provider.GetSecondaryServer(), CString("10.0.0.2"));
  auto* pLine = dynamic_cast<COmbixLine*>(provider.FindLineByDeviceID(10));
  ASSERT_NE(pLine, nullptr);
  EXPECT_EQ(pLine->GetName(), CString("200"));
}

// The dialogs save a line's number and password together: one write of the file, not two.
TEST_F(ProviderTest, LinePairIsOneWrite) {
  SaveLineSettings(kProviderID, 3, "300", "a");
  ombix::registry_test::ReplaceCounter counter(path_);
  ASSERT_TRUE(counter.Watching());
  SaveLineSettings(kProviderID, 3, "301", "b");
  EXPECT_EQ(counter.Count(), 1);
  CString strNumber;
  CString strPassword;
  LoadLineSettings(kProviderID, 3, strNumber, strPassword);
  EXPECT_EQ(strNumber + "/" + strPassword, CString("301/b"));
}

TEST_F(ProviderTest, ReportedLinesAndValueNames) {
  EXPECT_EQ(EnumLines(provider), 0u);  // no key at all
  const struct {
    DWORD dwStored, dwReported;
  } counts[] = {{2, 2}, {32768, 32768}, {32769, 32768}, {0xFFFFFFFF, 32768}};
  for (const auto& c : counts) {
    provider.RegWriteDword(kProviderID, "Lines", c.dwStored);
    EXPECT_EQ(EnumLines(provider), c.dwReported) << c.dwStored;
  }
  EXPECT_EQ(LineValueName(kLineNumberFormat, 10), CString("Line.A.Number"));
  EXPECT_EQ(LineValueName(kLinePasswordFormat, 0x1F), CString("Line.1F.Password"));
}

TEST(OmbixLineTest, DeviceStringFromNumber) {
  const struct {
    const char* pszNumber;
    const char* pszDevice;
  } cases[] = {{"200", "200"},          {"4711x4711", "4711"},
               {"5550134x22", "22"},    {"5550134x34", "5550134"},
               {"5550134x", "5550134"}, {"x12", "12"},
               {"12X3", "12X3"},        {"", ""}};
  for (const auto& c : cases) {
    EXPECT_EQ(COmbixLine::DeviceStringFromNumber(c.pszNumber), CString(c.pszDevice)) << c.pszNumber;
  }
}

}  // namespace
}  // namespace prov_test
