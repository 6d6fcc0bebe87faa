// The provider's start-up from its settings: lines reported, servers required, the key rewritten.
#include <string>

#include "framework/device.h"
#include "platform/registry.h"
#include "provider/ombix_settings.h"
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

TEST_F(ProviderTest, StartRewritesTheKeyWithWhatTheProviderHolds) {
  provider.RegWriteDword(kProviderID, "Lines", 3);
  Write("IP1", "");
  Write("IP2", "10.0.0.2");  // one server is enough
  for (DWORD i = 0; i < 3; ++i) {
    SaveLineSettings(kProviderID, i, ("20" + std::to_string(i)).c_str(),
                     ("pw" + std::to_string(i)).c_str());
  }
  provider.RegWriteDword(kProviderID, "PingTimer", 5000);
  EXPECT_EQ(EnumLines(provider), 3u);

  ASSERT_EQ(Init(2), 0);
  EXPECT_EQ(provider.GetSecondaryServer(), CString("10.0.0.2"));
  auto* pLine = dynamic_cast<COmbixLine*>(provider.FindLineByDeviceID(11));
  ASSERT_NE(pLine, nullptr);
  EXPECT_EQ(pLine->GetNumber(), CString("201"));
  EXPECT_EQ(pLine->GetName(), CString("201"));
  EXPECT_EQ(ExportDeviceKey(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + kDeviceKey +
                "]\n\"Lines\"=dword:00000002\n\"IP1\"=\"\"\n\"IP2\"=\"10.0.0.2\"\n"
                "\"Line.0.Number\"=\"200\"\n\"Line.0.Password\"=\"pw0\"\n"
                "\"Line.1.Number\"=\"201\"\n\"Line.1.Password\"=\"pw1\"\n\n");
}

TEST_F(ProviderTest, StartWithoutServersIsRefusedAndLeavesNothingBehind) {
  provider.RegWriteDword(kProviderID, "Lines", 1);
  SaveLineSettings(kProviderID, 0, "200", "pw");
  const std::string before = ExportDeviceKey();

  EXPECT_EQ(Init(1), LINEERR_NODEVICE);
  EXPECT_EQ(provider.GetDeviceCount(), 0);
  EXPECT_FALSE(provider.IsTimerThreadRunning());
  EXPECT_EQ(ExportDeviceKey(), before);

  Write("IP1", "127.0.0.1");
  EXPECT_EQ(Init(1), 0);  // the same provider ID again
  EXPECT_EQ(provider.GetDeviceCount(), 1);
  EXPECT_TRUE(provider.IsTimerThreadRunning());
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
