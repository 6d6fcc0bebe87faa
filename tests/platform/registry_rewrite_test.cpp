// What a rewrite of the file keeps (a hand-written last line) and what it clears away (the
// temporary files of writers killed mid-write).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

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

TEST_F(RegistryRewriteTest, AWriterRemovesWhatKilledWritersLeftAndNothingElse) {
  // Through a link the file is elsewhere/real.reg: its writers' temporary files are beside it.
  fs::create_directory(dir_ / "elsewhere");
  const fs::path link = dir_ / "link.reg";
  fs::create_symlink(dir_ / "elsewhere/real.reg", link);
  auto plant = [](const fs::path& path) {
    std::ofstream(path) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"Password\"=\"secret\"\n";
  };
  const std::vector<fs::path> leftovers = {
      dir_ / "registry.reg.tmp-Ab3xYz",
      dir_ / "registry.reg.tmp-000000",
      dir_ / "elsewhere/real.reg.tmp-abcDEF",
  };
  const std::vector<fs::path> others = {
      dir_ / "registry.reg.tmp-Ab3xY",    // too short
      dir_ / "registry.reg.tmp-Ab3xYz7",  // too long
      dir_ / "registry.reg.tmp-Ab_xYz",   // not a character of ours
      dir_ / "registry.reg.tmp-Ab xYz",   //
      dir_ / "registry.reg.tmp_Ab3xYz",   // another infix
      dir_ / "xregistry.reg.tmp-Ab3xYz",  // another file's
      dir_ / "registry.re.tmp-Ab3xYz",    //
      dir_ / "link.reg.tmp-abcDEF",       // beside the link, where no writer puts one
      dir_ / "elsewhere/target",          // what the link below names
  };
  for (const fs::path& path : leftovers) plant(path);
  for (const fs::path& path : others) plant(path);
  fs::create_symlink(dir_ / "elsewhere/target", dir_ / "registry.reg.tmp-Link01");
  fs::create_directory(dir_ / "registry.reg.tmp-Dir001");
  plant(dir_ / "registry.reg.tmp-Dir001/inside");
  ASSERT_EQ(mkfifo((dir_ / "registry.reg.tmp-Fifo01").c_str(), 0600), 0);

  for (const std::string& file : {path_, link.string()}) {
    setenv("OMBIX_REGISTRY", file.c_str(), 1);
    HKEY key = Create("K");
    ASSERT_EQ(SetDword(key, "D", 1), ERROR_SUCCESS) << file;
    RegCloseKey(key);
  }
  for (const fs::path& path : leftovers) EXPECT_FALSE(fs::exists(path)) << path;
  for (const fs::path& path : others) EXPECT_TRUE(fs::is_regular_file(path)) << path;
  EXPECT_TRUE(fs::is_symlink(dir_ / "registry.reg.tmp-Link01"));
  EXPECT_TRUE(fs::is_regular_file(dir_ / "registry.reg.tmp-Dir001/inside"));
  EXPECT_TRUE(fs::is_fifo(dir_ / "registry.reg.tmp-Fifo01"));
  EXPECT_NE(FileText().find("\"D\"=dword:00000001"), std::string::npos);
  EXPECT_NE(ReadText((dir_ / "elsewhere/real.reg").string()).find("\"D\"=dword:00000001"),
            std::string::npos);
}

}  // namespace
}  // namespace ombix::registry_test
