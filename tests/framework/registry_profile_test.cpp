// The provider's registry profile, its installation and removal, and the look-up that refuses
// a second installation. Each test has a registry file of its own.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/registry.h"
#include "tests/framework/framework_doubles.h"

namespace {

namespace fs = std::filesystem;

constexpr char kTelephonyKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony";
using fw_test::kProviderName;
const std::string kProviderKey = std::string(kTelephonyKey) + "\\" + kProviderName;

// Files may not grow past nBytes while it lives: every registry write then fails, as on a full
// disk (file permissions would not stop a test that runs as root). Reads still work.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t nBytes) {
    getrlimit(RLIMIT_FSIZE, &m_saved);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_saved;
    limit.rlim_cur = nBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_saved);
    std::signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_saved{};
  void (*m_oldHandler)(int) = nullptr;
};

class RegistryProfileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ombix-profile-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    setenv("OMBIX_REGISTRY", (dir_ / "registry.reg").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("OMBIX_REGISTRY");
    fs::remove_all(dir_);
  }

  static HKEY CreateKey(const std::string& key) {
    HKEY hKey = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                              KEY_ALL_ACCESS, nullptr, &hKey, nullptr),
              ERROR_SUCCESS);
    return hKey;
  }
  static void MakeKey(const std::string& key) { RegCloseKey(CreateKey(key)); }
  static void SetValue(const std::string& key, const char* name, DWORD type,
                       const std::string& bytes) {
    HKEY hKey = CreateKey(key);
    EXPECT_EQ(RegSetValueExA(hKey, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(hKey);
  }
  static bool KeyExists(const std::string& key) {
    HKEY hKey = nullptr;
    const bool bOpened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &hKey) == 0;
    if (bOpened) RegCloseKey(hKey);
    return bOpened;
  }
  // The value's type and bytes; nothing when it is missing.
  using Stored = std::optional<std::pair<DWORD, std::string>>;
  static Stored Value(const std::string& key, const char* name) {
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    BYTE buffer[256];
    DWORD type = 0;
    DWORD size = sizeof(buffer);
    const LONG rc = RegQueryValueExA(hKey, name, nullptr, &type, buffer, &size);
    RegCloseKey(hKey);
    if (rc != ERROR_SUCCESS) return std::nullopt;
    return std::make_pair(type, std::string(reinterpret_cast<const char*>(buffer), size));
  }
  static std::string Dword(DWORD value) {
    return std::string(reinterpret_cast<const char*>(&value), sizeof(value));
  }
  static Stored Sz(const std::string& text) { return std::make_pair(REG_SZ, text + '\0'); }
  static Stored Dw(DWORD value) { return std::make_pair(REG_DWORD, Dword(value)); }

  fs::path dir_;
  fw_test::TestProvider sp;
};

// ID 0 reads the provider key, any other its device key; what is missing or misfits gives the
// default.
TEST_F(RegistryProfileTest, ReadsFindTheirKeyAndGiveTheDefaultForWhatIsMissingOrMisfits) {
  // No registry file at all.
  EXPECT_EQ(sp.RegReadDword(7, "Lines", 55), 55u);
  EXPECT_STREQ(sp.RegReadString(7, "IP1", "dflt"), "dflt");

  const std::string device = kProviderKey + "\\Device7";
  MakeKey(device);
  EXPECT_EQ(sp.RegReadDword(7, "Lines", 55), 55u);
  SetValue(kProviderKey, "Lines", REG_DWORD, Dword(3));
  SetValue(device, "IP1", REG_SZ, std::string("10.0.0.1", 9));
  EXPECT_EQ(sp.RegReadDword(0, "Lines", 55), 3u);
  EXPECT_EQ(sp.RegReadDword(7, "Lines", 55), 55u);  // not the provider key's
  SetValue(device, "Lines", REG_DWORD, Dword(9));
  EXPECT_EQ(sp.RegReadDword(7, "Lines", 55), 9u);
  EXPECT_STREQ(sp.RegReadString(7, "IP1", "x"), "10.0.0.1");
  EXPECT_STREQ(sp.RegReadString(0, "IP1", "x"), "x");
  EXPECT_EQ(sp.RegReadDword(8, "Lines", 56), 56u);  // key missing

  SetValue(device, "Short", REG_BINARY, "ab");  // not a DWORD's 4 bytes
  EXPECT_EQ(sp.RegReadDword(7, "Short", 57), 57u);
  SetValue(device, "Long", REG_BINARY, "abcdefgh");
  EXPECT_EQ(sp.RegReadDword(7, "Long", 58), 58u);
}

// Only a REG_DWORD or 4 bytes of REG_BINARY hold a number; anything else reads as missing.
TEST_F(RegistryProfileTest, DwordReadsOnlyADwordOrFourBinaryBytes) {
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
    DWORD expected;
  } cases[] = {
      {"Dword", REG_DWORD, Dword(0x01020304), 0x01020304},
      {"Binary", REG_BINARY, Dword(32768), 32768},
      {"Text", REG_SZ, std::string("100", 4), 55},  // 4 bytes, yet text
      {"ExpandText", 2, std::string("100", 4), 55},
      {"BigEndian", 5, Dword(7), 55},
      {"Qword", 11, Dword(7) + Dword(0), 55},
      {"ShortDword", REG_DWORD, "ab", 55},
  };
  for (const auto& c : cases) SetValue(kProviderKey + "\\Device7", c.name, c.type, c.bytes);
  for (const auto& c : cases) EXPECT_EQ(sp.RegReadDword(7, c.name, 55), c.expected) << c.name;
}

// Values come back with their type and bytes whatever their size, and go back so; a key that is
// not there has none of them.
TEST_F(RegistryProfileTest, RawValuesAreReadAndWrittenAsStored) {
  using Raw = CServiceProvider::REGRAWVALUE;
  const struct {
    const char* name;
    DWORD type;
    std::string bytes;
  } stored[] = {
      {"Long", REG_SZ, std::string(700, 'n') + '\0'},
      {"Empty", REG_BINARY, ""},
      {"Nuls", 0x20, std::string("a\0b\0", 4)},
      {"Number", REG_DWORD, Dword(2000)},
  };
  std::vector<CString> names{"Missing"};  // first: the ones after it are still read
  std::vector<CServiceProvider::REGPROFILEVALUE> copies;
  for (const auto& v : stored) {
    SetValue(kProviderKey + "\\Device7", v.name, v.type, v.bytes);
    names.push_back(v.name);
    copies.push_back(
        {v.name, REG_SZ, "not this", 0, Raw{v.type, {v.bytes.begin(), v.bytes.end()}}});
  }
  ASSERT_TRUE(sp.RegReplaceDeviceKey(8, copies));
  for (const DWORD dwID : {7u, 8u, 9u}) {
    std::vector<std::optional<Raw>> values;
    ASSERT_TRUE(sp.RegReadRawValues(dwID, names, values));
    ASSERT_EQ(values.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      ASSERT_EQ(values[i].has_value(), i > 0 && dwID != 9) << dwID << " " << names[i];
      if (!values[i]) continue;
      EXPECT_EQ(std::make_pair(values[i]->dwType,
                               std::string(values[i]->abData.begin(), values[i]->abData.end())),
                std::make_pair(stored[i - 1].type, stored[i - 1].bytes))
          << dwID << " " << names[i];
    }
  }
}

// A text ends at its first NUL, or after the bytes read when it has none; one of more than 512
// bytes gives the default. Read one by one or many in one pass, alike.
TEST_F(RegistryProfileTest, ManyStringsReadInOnePassAsOneByOne) {
  const std::string device = kProviderKey + "\\Device7";
  SetValue(device, "Plain", REG_SZ, std::string("10.0.0.1", 9));
  SetValue(device, "Two", REG_SZ, std::string("ab\0cd", 6));
  SetValue(device, "Bare", REG_BINARY, "xyz");
  SetValue(device, "Fits", REG_SZ, std::string(511, 'f') + '\0');
  SetValue(device, "TooLong", REG_SZ, std::string(512, 'a') + '\0');
  const std::vector<CString> names = {"Plain", "Missing", "Two",  "Bare",
                                      "Fits",  "TooLong", "plain"};
  const std::vector<CString> expected = {
      "10.0.0.1", "dflt", "ab", "xyz", CString(std::string(511, 'f').c_str()), "dflt", "10.0.0.1"};
  for (DWORD dwID : {7u, 8u}) {  // 8 has no key at all
    const std::vector<CString> values = sp.RegReadStrings(dwID, names, "dflt");
    ASSERT_EQ(values.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      const CString wanted = dwID == 7 ? expected[i] : CString("dflt");
      EXPECT_EQ(values[i], wanted) << dwID << " " << names[i];
      EXPECT_EQ(sp.RegReadString(dwID, names[i], "dflt"), wanted) << dwID << " " << names[i];
    }
  }
  EXPECT_TRUE(sp.RegReadStrings(7, {}, "d").empty());
}

// A failed write is reported, up to installation and removal.
TEST_F(RegistryProfileTest, WritesCreateTheKeysAndStoreTextWithItsNulOrReportTheirFailure) {
  ASSERT_TRUE(sp.RegWriteString(4, "Empty", ""));
  ASSERT_TRUE(sp.RegWriteString(4, "IP2", "10.0.0.2"));
  ASSERT_TRUE(sp.RegWriteDword(4, "Lines", 2));
  const std::string device = kProviderKey + "\\Device4";
  EXPECT_EQ(Value(device, "Empty"), Sz(""));
  EXPECT_EQ(Value(device, "IP2"), Sz("10.0.0.2"));
  EXPECT_EQ(Value(device, "Lines"), Dw(2));

  FileSizeLimit full(0);
  EXPECT_FALSE(sp.RegWriteString(4, "IP1", "10.0.0.1"));
  EXPECT_FALSE(sp.RegWriteDword(4, "Lines", 1));
  EXPECT_EQ(sp.providerInstall(4, nullptr, nullptr), LINEERR_OPERATIONFAILED);
  EXPECT_EQ(sp.providerRemove(4, nullptr, nullptr), LINEERR_OPERATIONFAILED);
}

TEST_F(RegistryProfileTest, ReplacingADeviceKeyIsAllOrNothing) {
  const std::vector<CServiceProvider::REGPROFILEVALUE> values = {
      {"Lines", REG_DWORD, "", 2}, {"IP1", REG_SZ, "10.0.0.1", 0}, {"Empty", REG_SZ, "", 0}};
  SetValue(kProviderKey + "\\Device4", "Old", REG_SZ, std::string("x", 2));
  SetValue(kProviderKey + "\\Device4\\Below", "Deep", REG_SZ, std::string("y", 2));
  SetValue(kProviderKey + "\\Device5", "Other", REG_SZ, std::string("z", 2));
  const auto Read = [] {
    std::ifstream file(getenv("OMBIX_REGISTRY"), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  const std::string before = Read();
  {
    FileSizeLimit full(0);
    EXPECT_FALSE(sp.RegReplaceDeviceKey(4, values));
  }
  EXPECT_EQ(Read(), before);  // nothing of it reached the file

  ASSERT_TRUE(sp.RegReplaceDeviceKey(4, values));
  const std::string device = kProviderKey + "\\Device4";
  EXPECT_EQ(Value(device, "Old"), std::nullopt);
  EXPECT_FALSE(KeyExists(device + "\\Below"));
  EXPECT_EQ(Value(device, "Lines"), Dw(2));
  EXPECT_EQ(Value(device, "IP1"), Sz("10.0.0.1"));
  EXPECT_EQ(Value(device, "Empty"), Sz(""));
  EXPECT_EQ(Value(kProviderKey + "\\Device5", "Other"), Sz("z"));
  EXPECT_FALSE(sp.RegReplaceDeviceKey(0, values));  // would take every instance's settings
}

TEST_F(RegistryProfileTest, DeletingADeviceKeyRemovesEverythingBelowIt) {
  const std::string device = kProviderKey + "\\Device3";
  MakeKey(device + "\\Alpha\\Deeper");
  MakeKey(device + "\\Bravo");  // same name length as Alpha
  SetValue(device + "\\Bravo", "v", REG_DWORD, Dword(1));
  MakeKey(kProviderKey + "\\Device33");
  EXPECT_TRUE(sp.RegDeleteDeviceKey(3));
  EXPECT_FALSE(KeyExists(device));
  EXPECT_TRUE(KeyExists(kProviderKey + "\\Device33"));
  EXPECT_TRUE(sp.RegDeleteDeviceKey(3));  // gone already
  EXPECT_TRUE(sp.RegDeleteDeviceKey(5));  // never there
  // ID 0 would be the provider key with every instance's settings.
  EXPECT_FALSE(sp.RegDeleteDeviceKey(0));
  EXPECT_TRUE(KeyExists(kProviderKey + "\\Device33"));

  // A subkey that cannot go stops the deletion, which fails.
  MakeKey(device + "\\Alpha\\Deeper");
  {
    FileSizeLimit full(0);  // no deletion can be written
    EXPECT_FALSE(sp.RegDeleteDeviceKey(3));
  }
  EXPECT_TRUE(KeyExists(device + "\\Alpha\\Deeper"));
}

TEST_F(RegistryProfileTest, InstallWritesTheDeviceValueAndRemoveDeletesItAndTheProviderKey) {
  EXPECT_EQ(sp.providerInstall(6, nullptr, nullptr), LINEERR_OPERATIONFAILED);  // no telephony key
  MakeKey(kTelephonyKey);
  SetValue(kTelephonyKey, "Device9", REG_SZ, "Another");
  ASSERT_EQ(sp.providerInstall(6, nullptr, nullptr), 0);
  EXPECT_EQ(Value(kTelephonyKey, "Device6"), Sz(kProviderName));
  EXPECT_EQ(sp.RegReadDword(0, "UsesTSPLib", 0), 1u);
  ASSERT_TRUE(sp.RegWriteDword(6, "Lines", 2));
  MakeKey(kProviderKey + "\\Device6\\Sub\\Sub");
  ASSERT_EQ(sp.providerRemove(6, nullptr, nullptr), 0);
  EXPECT_EQ(Value(kTelephonyKey, "Device6"), std::nullopt);
  EXPECT_FALSE(KeyExists(kProviderKey));
  EXPECT_NE(Value(kTelephonyKey, "Device9"), std::nullopt);  // others' values stay
  // Removing what is gone already is no failure; a missing telephony key is.
  EXPECT_EQ(sp.providerRemove(6, nullptr, nullptr), 0);
  setenv("OMBIX_REGISTRY", (dir_ / "other.reg").c_str(), 1);
  EXPECT_EQ(sp.providerRemove(6, nullptr, nullptr), LINEERR_OPERATIONFAILED);
}

// A lineGetProviderList over a fixed list, counting its calls.
std::vector<std::pair<DWORD, std::string>> g_providers;
std::vector<DWORD> g_sizesAsked;
LONG g_listResult = 0;
DWORD g_extraNeeded = 0;      // pretends the list grew by this much after the first call
constexpr LONG kDamaged = 1;  // as g_listResult: a list whose counts point past what was filled

LONG FakeGetProviderList(DWORD dwAPIVersion, LPLINEPROVIDERLIST lpList) {
  EXPECT_EQ(dwAPIVersion, 0x00020000u);
  g_sizesAsked.push_back(lpList->dwTotalSize);
  if (g_listResult == kDamaged) {
    lpList->dwNeededSize = lpList->dwUsedSize = sizeof(LINEPROVIDERLIST);
    lpList->dwNumProviders = 1000;
    lpList->dwProviderListSize = 12000;
    lpList->dwProviderListOffset = sizeof(LINEPROVIDERLIST);
    return 0;
  }
  if (g_listResult != 0) return g_listResult;
  DWORD needed = sizeof(LINEPROVIDERLIST) + g_providers.size() * sizeof(LINEPROVIDERENTRY);
  for (const auto& provider : g_providers) needed += provider.second.size() + 1;
  if (g_sizesAsked.size() > 1) needed += g_extraNeeded;
  const DWORD total = lpList->dwTotalSize;
  std::memset(lpList, 0, sizeof(*lpList));
  lpList->dwTotalSize = total;
  lpList->dwNeededSize = needed;
  lpList->dwUsedSize = sizeof(LINEPROVIDERLIST);
  if (needed > total) return 0;
  auto* bytes = reinterpret_cast<BYTE*>(lpList);
  DWORD names = sizeof(LINEPROVIDERLIST) + g_providers.size() * sizeof(LINEPROVIDERENTRY);
  for (size_t i = 0; i < g_providers.size(); ++i) {
    const std::string& name = g_providers[i].second;
    LINEPROVIDERENTRY entry{g_providers[i].first, static_cast<DWORD>(name.size() + 1), names};
    std::memcpy(bytes + sizeof(LINEPROVIDERLIST) + i * sizeof(entry), &entry, sizeof(entry));
    std::memcpy(bytes + names, name.c_str(), name.size() + 1);
    names += entry.dwProviderFilenameSize;
  }
  lpList->dwNumProviders = static_cast<DWORD>(g_providers.size());
  lpList->dwProviderListSize = static_cast<DWORD>(g_providers.size() * sizeof(LINEPROVIDERENTRY));
  lpList->dwProviderListOffset = sizeof(LINEPROVIDERLIST);
  lpList->dwUsedSize = needed;
  return 0;
}

struct LookupCase {
  const char* what;
  std::vector<std::pair<DWORD, std::string>> providers;
  LONG listResult;
  DWORD extraNeeded;
  LONG expected;
  DWORD expectedID;  // 0xEEEE: left as it was
  size_t expectedCalls;
};

TEST(FindInstalledProviderTest, FindsTheFileNameAfterTheLastBackslashWithoutRegardToCase) {
  const std::string longPath = "C:\\" + std::string(300, 'd') + "\\ombix.tsp";
  constexpr LONG kTaken = LINEERR_NOMULTIPLEINSTANCE;
  constexpr LONG kFailed = LINEERR_OPERATIONFAILED;
  const LookupCase cases[] = {
      {"empty list", {}, 0, 0, 0, 0xEEEE, 1},
      {"other providers", {{1, "unimdm.tsp"}, {2, "C:\\x\\OMBIX.TS"}}, 0, 0, 0, 0xEEEE, 1},
      {"bare name", {{1, "unimdm.tsp"}, {4, "OMBIX.TSP"}}, 0, 0, kTaken, 4, 1},
      {"path, lower case", {{3, "C:\\WIN\\ombix.tsp"}}, 0, 0, kTaken, 3, 1},
      {"first match wins", {{5, "ombix.tsp"}, {6, "OMBIX.TSP"}}, 0, 0, kTaken, 5, 1},
      {"asked again with the size needed", {{8, longPath}}, 0, 0, kTaken, 8, 2},
      {"still growing", {{8, longPath}}, 0, 16, kFailed, 0xEEEE, 2},
      {"list refused", {}, LINEERR_NOMEM, 0, kFailed, 0xEEEE, 1},
      {"damaged list, not read past its filling", {}, kDamaged, 0, kFailed, 0xEEEE, 1},
  };
  for (const LookupCase& c : cases) {
    SCOPED_TRACE(c.what);
    g_providers = c.providers;
    g_listResult = c.listResult;
    g_extraNeeded = c.extraNeeded;
    g_sizesAsked.clear();
    DWORD id = 0xEEEE;
    EXPECT_EQ(CServiceProvider::FindInstalledProvider("OMBIX.TSP", &id, &FakeGetProviderList),
              c.expected);
    EXPECT_EQ(id, c.expectedID);
    ASSERT_EQ(g_sizesAsked.size(), c.expectedCalls);
    EXPECT_EQ(g_sizesAsked[0], 240u);
    if (c.expectedCalls == 2 && c.extraNeeded == 0) {
      EXPECT_EQ(g_sizesAsked[1],
                sizeof(LINEPROVIDERLIST) + sizeof(LINEPROVIDERENTRY) + longPath.size() + 1);
    }
  }
}

}  // namespace
