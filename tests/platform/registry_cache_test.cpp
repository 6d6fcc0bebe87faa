// The registry kept in memory between calls: what it writes, and what it notices of others.
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

}  // namespace
}  // namespace ombix::registry_test
