// The registry kept in memory between calls: what it writes, and what it notices of others.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/platform/registry_test_support.h"

namespace ombix::registry_test {
namespace {

namespace fs = std::filesystem;

using RegistryCacheTest = RegistryFileTest;

// A sequence of changes touching every way the file's text can come out: spellings, order,
// rewrites, deletions and every value type.
void WriteSample() {
  HKEY zeta = RegistryFileTest::Create("Software\\Ombix\\Zeta");
  RegistryFileTest::SetString(zeta, "Name", "first");
  RegistryFileTest::SetDword(zeta, "count", 1);
  RegistryFileTest::SetString(zeta, nullptr, "default");
  RegistryFileTest::SetString(zeta, "NAME", "second");  // keeps its place and first spelling
  const BYTE bytes[] = {0x00, 0x01, 0xfe};
  RegSetValueExA(zeta, "Bin", 0, REG_BINARY, bytes, sizeof bytes);
  RegSetValueExA(zeta, "Multi", 0, REG_SZ, reinterpret_cast<const BYTE*>("two\nlines"), 9);
  RegSetValueExA(zeta, "Odd", 0, 0x20, bytes, sizeof bytes);
  RegistryFileTest::SetString(zeta, "Quote\"d\\", "va\"l\\ue");
  RegDeleteValueA(zeta, "COUNT");
  RegistryFileTest::SetDword(zeta, "Count", 2);  // written again: now last, in its new spelling
  RegCloseKey(zeta);
  HKEY deep = RegistryFileTest::Create("software\\OMBIX\\alpha\\Deep");
  RegistryFileTest::SetDword(deep, "x", 7);
  RegCloseKey(deep);
  RegCloseKey(RegistryFileTest::Create("Software\\Ombix\\beta"));
  RegCloseKey(RegistryFileTest::Create("Software\\Ombix\\Gamma"));
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, "Software\\Ombix\\BETA");
  HKEY lines = RegistryFileTest::Create("Software\\Ombix\\Zeta\\Device1");
  for (int i = 2; i >= 0; --i) {
    const std::string number = "Line." + std::to_string(i) + ".Number";
    const std::string password = "Line." + std::to_string(i) + ".Password";
    RegistryFileTest::SetString(lines, number.c_str(), std::to_string(100 + i));
    RegistryFileTest::SetString(lines, password.c_str(), "pw" + std::to_string(i));
  }
  RegistryFileTest::SetString(lines, "Line.1.Number", "201");
  RegCloseKey(lines);
  RegistryFileTest::SetString(HKEY_LOCAL_MACHINE, "AtTheRoot", "r");
}

// What the file has always held after WriteSample.
const char kSampleText[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE]\n"
    "\"AtTheRoot\"=\"r\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Ombix]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Ombix\\alpha]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Ombix\\alpha\\Deep]\n"
    "\"x\"=dword:00000007\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Ombix\\Gamma]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Ombix\\Zeta]\n"
    "\"Name\"=\"second\"\n"
    "@=\"default\"\n"
    "\"Bin\"=hex:00,01,fe\n"
    "\"Multi\"=hex(1):74,77,6f,0a,6c,69,6e,65,73\n"
    "\"Odd\"=hex(20):00,01,fe\n"
    "\"Quote\\\"d\\\\\"=\"va\\\"l\\\\ue\"\n"
    "\"Count\"=dword:00000002\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Ombix\\Zeta\\Device1]\n"
    "\"Line.2.Number\"=\"102\"\n"
    "\"Line.2.Password\"=\"pw2\"\n"
    "\"Line.1.Number\"=\"201\"\n"
    "\"Line.1.Password\"=\"pw1\"\n"
    "\"Line.0.Number\"=\"100\"\n"
    "\"Line.0.Password\"=\"pw0\"\n"
    "\n";

// A hand-written file with one value added: in the registry's own form, values in first-written
// order, the later of two spellings holding the value under the first.
const char kRewrittenByHand[] =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\a]\n"
    "@=\"d\"\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\B]\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\B\\x]\n"
    "\"v\"=\"again\"\n"
    "\"w\"=hex:01,02\n"
    "\"z\"=\"last\"\n"
    "\"new\"=\"n\"\n"
    "\n";

TEST_F(RegistryCacheTest, WritesTheSameTextAsEver) {
  WriteSample();
  EXPECT_EQ(FileText(), kSampleText);
}

TEST_F(RegistryCacheTest, RewritesAHandWrittenFile) {
  std::ofstream(path_, std::ios::binary)
      << "REGEDIT4\r\n; by hand\r\n[hkey_local_machine\\B\\x]\r\n\"v\"=dword:00000001\r\n"
         "\"V\"=\"again\"\r\n\"w\"=hex:01,\\\r\n 02\r\n[HKEY_LOCAL_MACHINE\\a]\r\n@=\"d\"\r\n"
         "[HKEY_LOCAL_MACHINE\\B\\x]\r\n\"z\"=\"last\"\r\n";
  HKEY key = Create("b\\X");
  SetString(key, "new", "n");
  RegCloseKey(key);
  EXPECT_EQ(FileText(), kRewrittenByHand);
}

TEST_F(RegistryCacheTest, AFileAnotherProcessChangedIsSeenByTheNextRead) {
  HKEY key = Create("K");
  ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS);
  for (DWORD next = 2; next <= 5; ++next) {
    ASSERT_EQ(GetDword(key, "D"), next - 1);  // the tree is kept from here
    // Two writes of the same size at once: the second may reuse the first file's inode number
    // and, on a coarse clock, its time.
    ASSERT_EQ(Wait(Spawn([next] {
                HKEY other = Create("K");
                return SetDword(other, "D", 100) == ERROR_SUCCESS &&
                               SetDword(other, "D", next) == ERROR_SUCCESS
                           ? 0
                           : 1;
              })),
              0);
    EXPECT_EQ(GetDword(key, "D"), next);
  }
  RegCloseKey(key);
}

TEST_F(RegistryCacheTest, AReplacementWithTheSameSizeAndTimesIsStillSeen) {
  HKEY key = Create("K");
  ASSERT_EQ(SetString(key, "S", "aaaa"), ERROR_SUCCESS);
  ASSERT_EQ(GetDword(key, "Missing"), 0xDEADBEEFu);  // read and kept
  std::string text = FileText();
  text.replace(text.find("aaaa"), 4, "bbbb");
  struct stat old_st {};
  ASSERT_EQ(stat(path_.c_str(), &old_st), 0);
  // Written by hand beside it, given the old file's times and renamed over it.
  const std::string other = path_ + ".hand";
  std::ofstream(other, std::ios::binary) << text;
  const timespec times[2] = {old_st.st_atim, old_st.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
  ASSERT_EQ(rename(other.c_str(), path_.c_str()), 0);
  char data[8] = {};
  DWORD size = sizeof data;
  ASSERT_EQ(RegQueryValueExA(key, "S", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size),
            ERROR_SUCCESS);
  EXPECT_STREQ(data, "bbbb");
  RegCloseKey(key);
}

TEST_F(RegistryCacheTest, FilesAreKeptByThePathTheyResolveTo) {
  const std::string first = (dir_ / "first.reg").string();
  const std::string second = (dir_ / "second.reg").string();
  const std::string link = (dir_ / "link.reg").string();
  fs::create_symlink("first.reg", link);
  auto set = [](const std::string& file, const char* name, DWORD value) {
    setenv("OMBIX_REGISTRY", file.c_str(), 1);
    HKEY key = Create("K");
    const LONG result = SetDword(key, name, value);
    RegCloseKey(key);
    return result;
  };
  auto get = [](const std::string& file, const char* name) {
    setenv("OMBIX_REGISTRY", file.c_str(), 1);
    return ReadDword("K", name);
  };
  ASSERT_EQ(set(link, "Through", 1), ERROR_SUCCESS);
  ASSERT_EQ(set(second, "Second", 2), ERROR_SUCCESS);
  EXPECT_EQ(get(first, "Through"), 1u);  // one file, by either name
  ASSERT_EQ(set(first, "Direct", 3), ERROR_SUCCESS);
  EXPECT_EQ(get(link, "Direct"), 3u);
  EXPECT_EQ(get(second, "Through"), 0xDEADBEEFu);
  EXPECT_EQ(get(second, "Second"), 2u);

  // The link turned to the other file: the same name now reads and writes that one.
  fs::remove(link);
  fs::create_symlink("second.reg", link);
  EXPECT_EQ(get(link, "Second"), 2u);
  EXPECT_EQ(get(link, "Direct"), 0xDEADBEEFu);
  ASSERT_EQ(set(link, "Later", 4), ERROR_SUCCESS);
  EXPECT_EQ(get(second, "Later"), 4u);
  EXPECT_EQ(get(first, "Later"), 0xDEADBEEFu);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(first).find("Later"), std::string::npos);
}

TEST_F(RegistryCacheTest, ManyValuesKeepTheirOrderThroughChangesAndDeletions) {
  constexpr int kValues = 3000;
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);  // one write for all of them
  HKEY key = Create("Many");
  for (int i = 0; i < kValues; ++i) {
    ASSERT_EQ(SetDword(key, ("Value." + std::to_string(i)).c_str(), i), ERROR_SUCCESS);
  }
  for (int i = 0; i < kValues; i += 3) {
    ASSERT_EQ(RegDeleteValueA(key, ("VALUE." + std::to_string(i)).c_str()), ERROR_SUCCESS);
  }
  for (int i = 1; i < kValues; i += 3) {
    ASSERT_EQ(SetDword(key, ("value." + std::to_string(i)).c_str(), i + 1), ERROR_SUCCESS);
  }
  ASSERT_EQ(SetDword(key, "Value.0", 7), ERROR_SUCCESS);  // written again: now last
  ASSERT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);

  std::string expected = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Many]\n";
  char line[64];
  for (int i = 0; i < kValues; ++i) {
    if (i % 3 == 0) continue;
    std::snprintf(line, sizeof line, "\"Value.%d\"=dword:%08x\n", i, i % 3 == 1 ? i + 1 : i);
    expected += line;
  }
  expected += "\"Value.0\"=dword:00000007\n\n";
  EXPECT_EQ(FileText(), expected);
  HKEY again = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "many", 0, KEY_READ, &again), ERROR_SUCCESS);
  for (int i = 0; i < kValues; ++i) {
    const DWORD want = i == 0 ? 7 : i % 3 == 0 ? 0xDEADBEEF : i % 3 == 1 ? i + 1 : i;
    ASSERT_EQ(GetDword(again, ("Value." + std::to_string(i)).c_str()), want) << i;
  }
  RegCloseKey(again);
  RegCloseKey(key);
}

TEST_F(RegistryCacheTest, ABatchWritesWhatSingleWritesWrite) {
  ASSERT_EQ(OmbixRegBeginBatch(), ERROR_SUCCESS);
  WriteSample();
  ASSERT_EQ(OmbixRegEndBatch(), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), kSampleText);
}

}  // namespace
}  // namespace ombix::registry_test
