// What a rewrite of the file keeps (a hand-written last line).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/platform/registry_test_support.h"

namespace ombix::registry_test {
namespace {

namespace fs = std::filesystem;

using RegistryRewriteTest = RegistryFileTest;

const char kHead[] = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Dev]\n\"IP1\"=\"10.0.0.1\"\n";

TEST_F(RegistryRewriteTest, ALastLineWithoutALineBreakIsReadAndKept) {
  struct Case {
    const char* name;
    std::string text;  // ends without a line break
    const char* key;
    const char* value;  // nullptr: only the key is looked for
    std::string data;
    std::string kept;  // in the rewritten file; empty when the line is damaged
  };
  const Case cases[] = {
      {"text", std::string(kHead) + "\"IP2\"=\"10.0.0.2\"", "Dev", "IP2",
       std::string("10.0.0.2", 9), "\"IP2\"=\"10.0.0.2\"\n"},
      {"text, CRLF lines",
       "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Dev]\r\n\"IP1\"=\"10.0.0.1\"\r\n\"IP2\"=\"10.0.0.2\"",
       "Dev", "IP2", std::string("10.0.0.2", 9), "\"IP2\"=\"10.0.0.2\"\n"},
      {"a number", std::string(kHead) + "\"Lines\"=dword:00000020", "Dev", "Lines",
       std::string("\x20\0\0\0", 4), "\"Lines\"=dword:00000020\n"},
      {"continued bytes", std::string(kHead) + "\"B\"=hex:01,\\\n  02", "Dev", "B", "\x01\x02",
       "\"B\"=hex:01,02\n"},
      {"a key", std::string(kHead) + "\n[HKEY_LOCAL_MACHINE\\Dev\\Sub]", "Dev\\Sub", nullptr, "",
       "[HKEY_LOCAL_MACHINE\\Dev\\Sub]\n"},
      // Still damaged: the file ends where the bytes go on.
      {"bytes continued past the end", std::string(kHead) + "\"B\"=hex:01,\\", "Dev", "B", "", ""},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = (dir_ / ("case" + std::to_string(++row) + ".reg")).string();
    setenv("OMBIX_REGISTRY", file.c_str(), 1);
    std::ofstream(file, std::ios::binary) << c.text;

    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, c.key, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    if (c.value != nullptr) {
      char data[16] = {};
      DWORD size = sizeof data;
      const LONG read =
          RegQueryValueExA(key, c.value, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
      if (c.kept.empty()) {
        EXPECT_EQ(read, ERROR_FILE_NOT_FOUND);
      } else {
        ASSERT_EQ(read, ERROR_SUCCESS);
        EXPECT_EQ(std::string(data, size), c.data);
      }
    }
    ASSERT_EQ(SetString(key, "New", "n"), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(report.find(file + " is damaged") != std::string::npos, c.kept.empty()) << report;

    const std::string text = ReadText(file);
    if (!c.kept.empty()) {
      EXPECT_NE(text.find(c.kept), std::string::npos) << text;
    }
    EXPECT_NE(text.find("\"IP1\"=\"10.0.0.1\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"New\"=\"n\""), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace ombix::registry_test
