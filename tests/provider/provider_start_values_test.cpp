// What the provider's start does with settings it cannot read: a "Lines" that is no number
// leaves the key as it is, and every value kept goes back with its stored type and bytes.
#include <stdlib.h>

#include <string>

#include "platform/registry.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {
namespace {

class ProviderStartTest : public ProviderTest {
 protected:
  static std::string Dword(DWORD v) { return {reinterpret_cast<const char*>(&v), 4}; }
  static void SetRaw(const char* pszName, DWORD dwType, const std::string& bytes) {
    HKEY hKey = Create(kDeviceKey.c_str());
    const auto* pData = reinterpret_cast<const BYTE*>(bytes.data());
    EXPECT_EQ(RegSetValueExA(hKey, pszName, 0, dwType, pData, DWORD(bytes.size())), 0) << pszName;
    RegCloseKey(hKey);
  }
  // As TAPI starts the provider: with the count the enumeration reported, kept in `reported`.
  LONG Start() {
    DWORD dwPhones = 0;
    reported = 0xDEAD;
    EXPECT_EQ(
        provider.providerEnumDevices(kProviderID, &reported, &dwPhones, nullptr, nullptr, nullptr),
        0);
    return provider.providerInit(0x00020001, kProviderID, 10, 0, reported, 0, &NoCompletion,
                                 &dwOptions);
  }

  DWORD reported = 0;
};

// Counted as 0, such a "Lines" would have the start write the key without a line.
TEST_F(ProviderStartTest, LinesThatIsNoNumberLeavesTheKeyAsItIs) {
  const struct {
    DWORD dwType;
    std::string bytes;
    const char* type;
  } cases[] = {
      {REG_SZ, std::string("2", 2), "REG_SZ of 2 bytes"},
      {REG_SZ, std::string("100", 4), "REG_SZ of 4 bytes"},
      {REG_BINARY, std::string("\x02\0\0", 3), "REG_BINARY of 3 bytes"},
      {11, Dword(2) + Dword(0), "REG_QWORD of 8 bytes"},
  };
  for (const auto& c : cases) {
    provider.RegDeleteDeviceKey(kProviderID);
    Write("IP1", "10.0.0.1");
    SaveLineSettings(kProviderID, 0, "200", "pw0");
    SetRaw("Lines", c.dwType, c.bytes);
    const std::string before = FileText();

    setenv("OMBIX_DEBUG", "1", 1);  // the debugger output goes to standard error
    testing::internal::CaptureStderr();
    EXPECT_EQ(Start(), 0) << c.type;
    const std::string said = testing::internal::GetCapturedStderr();
    unsetenv("OMBIX_DEBUG");
    EXPECT_EQ(reported, 0u) << c.type;
    EXPECT_EQ(FileText(), before) << c.type;
    EXPECT_NE(said.find(std::string("\"Lines\" is ") + c.type + "; it must be a DWORD"),
              std::string::npos)
        << said;
    provider.providerShutdown(0x00020001, provider.FindDeviceByProviderID(kProviderID));
  }
}

// Text longer than a read takes, values of other types, a count stored as binary and the
// keep-alive time go back as stored; a line value missing below "Lines" is written empty, and
// what lies beyond "Lines" or beside the list goes.
TEST_F(ProviderStartTest, KeptValuesGoBackAsTheFileHoldsThem) {
  const struct {
    const char* name;
    DWORD dwType;
    std::string bytes;
  } kept[] = {
      // In the order the start writes them.
      {"Lines", REG_BINARY, Dword(3)},
      {"IP1", REG_SZ, std::string(513, '1') + '\0'},
      {"IP2", REG_SZ, std::string("10.0.0.2", 9)},
      {"PingTimer", REG_DWORD, Dword(2000)},
      {"Line.0.Number", REG_SZ, std::string(600, '7') + '\0'},
      {"Line.0.Password", REG_SZ, std::string(512, 'p') + '\0'},
      {"Line.1.Number", REG_SZ, std::string(1, '\0')},  // missing before
      {"Line.1.Password", REG_SZ, "pw1"},               // without its NUL
      {"Line.2.Number", 2, std::string("202", 4)},
      {"Line.2.Password", REG_DWORD, Dword(5)},
  };
  for (const auto& v : kept) {
    if (std::string(v.name) != "Line.1.Number") SetRaw(v.name, v.dwType, v.bytes);
  }
  SetRaw("Line.3.Number", REG_SZ, std::string("203", 4));
  SetRaw("Other", REG_DWORD, Dword(1));

  ASSERT_EQ(Start(), 0);
  EXPECT_EQ(reported, 3u);
  const std::string after = FileText();
  // The same key written value by value.
  ASSERT_TRUE(provider.RegDeleteDeviceKey(kProviderID));
  for (const auto& v : kept) SetRaw(v.name, v.dwType, v.bytes);
  EXPECT_EQ(after, FileText());
}

}  // namespace
}  // namespace prov_test
