// The provider's start-up from its settings: lines reported, a server required, the key rewritten
// in one write as value-by-value writes would leave it.
#include <fstream>

#include "platform/registry.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {
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
  // Another instance's key, a value beside the keys and a subkey of the key that goes.
  provider.RegWriteDword(kProviderID + 1, "Lines", 1);
  provider.RegWriteString(kProviderID + 1, "Line.0.Number", "300");
  Write("IP1", "10.0.0.1");
  Write("PingTimer", "stale");
  HKEY hKey = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, (kDeviceKey + "\\Extra").c_str(), 0, nullptr, 0,
                            KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
            ERROR_SUCCESS);
  RegCloseKey(hKey);
  constexpr DWORD kLines = 20;  // indexes past 9 are written in hexadecimal
  for (DWORD i = 0; i < kLines + 2; ++i) {
    SaveLineSettings(kProviderID, i, NumberOf(i).c_str(), PasswordOf(i).c_str());
  }
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
  for (DWORD i = 0; i < kLines; ++i) {
    SaveLineSettings(kProviderID, i, NumberOf(i).c_str(), PasswordOf(i).c_str());
  }
  EXPECT_EQ(after, FileText());
  EXPECT_NE(after.find("\"Line.13.Password\"=\"pw19\""), std::string::npos);
  EXPECT_EQ(after.find("Extra"), std::string::npos);
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
