// What a rewrite of the file keeps (a hand-written last line), what it clears away (the
// temporary files of writers killed mid-write), and what may no longer fail once it is made.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/platform/registry_child_support.h"
#include "tests/platform/registry_test_support.h"

namespace ombix::registry_test {
namespace {

namespace fs = std::filesystem;

using RegistryRewriteTest = RegistryFileTest;

const char kHead[] = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Dev]\n";

TEST_F(RegistryRewriteTest, ALastLineWithoutALineBreakIsReadAndKept) {
  struct Case {
    const char* name;
    std::string text;  // ends without a line break
    std::string data;  // of "V"; empty when the line is damaged
    std::string kept;  // in the rewritten file
  };
  const Case cases[] = {
      {"text", std::string(kHead) + "\"V\"=\"10.0.0.2\"", std::string("10.0.0.2", 9),
       "\"V\"=\"10.0.0.2\"\n"},
      {"text, CRLF lines", "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Dev]\r\n\"V\"=\"10.0.0.2\"",
       std::string("10.0.0.2", 9), "\"V\"=\"10.0.0.2\"\n"},
      {"continued bytes", std::string(kHead) + "\"V\"=hex:01,\\\n  02", "\x01\x02",
       "\"V\"=hex:01,02\n"},
      // Still damaged: the file ends where the bytes go on.
      {"bytes continued past the end", std::string(kHead) + "\"V\"=hex:01,\\", "", ""},
  };
  int row = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = (dir_ / ("case" + std::to_string(++row) + ".reg")).string();
    setenv("OMBIX_REGISTRY", file.c_str(), 1);
    std::ofstream(file, std::ios::binary) << c.text;

    ::testing::internal::CaptureStderr();
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Dev", 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    char data[16] = {};
    DWORD size = sizeof data;
    const LONG read =
        RegQueryValueExA(key, "V", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    EXPECT_EQ(read == ERROR_SUCCESS ? std::string(data, size) : "", c.data);
    ASSERT_EQ(SetString(key, "New", "n"), ERROR_SUCCESS);
    RegCloseKey(key);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(report.find(file + " is damaged") != std::string::npos, c.data.empty()) << report;
    const std::string text = ReadText(file);
    EXPECT_NE(text.find(c.kept + "\"New\"=\"n\"\n"), std::string::npos) << text;
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
      dir_ / "xregistry.reg.tmp-Ab3xYz",  // another file's
      dir_ / "link.reg.tmp-abcDEF",       // beside the link, where no writer puts one
      dir_ / "elsewhere/target",          // what the link below names
  };
  for (const fs::path& path : leftovers) plant(path);
  for (const fs::path& path : others) plant(path);
  fs::create_symlink(dir_ / "elsewhere/target", dir_ / "registry.reg.tmp-Link01");
  fs::create_directory(dir_ / "registry.reg.tmp-Dir001");
  plant(dir_ / "registry.reg.tmp-Dir001/inside");

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
  EXPECT_NE(FileText().find("\"D\"=dword:00000001"), std::string::npos);
  EXPECT_NE(ReadText((dir_ / "elsewhere/real.reg").string()).find("\"D\"=dword:00000001"),
            std::string::npos);
}

// Memory that runs out once the new file has replaced the old one: the change is made, so it is
// answered as made, by a single write and by a batch's end alike, and the new file's descriptor
// is kept rather than lost (registry_after_rename_child.cpp says how).
TEST_F(RegistryRewriteTest, NothingAfterTheReplaceTurnsAMadeChangeIntoAFailure) {
  for (const char* mode : {"write", "batch"}) {
    SCOPED_TRACE(mode);
    const char* child = OMBIX_AFTER_RENAME_CHILD;
    EXPECT_EQ(WaitWithin(Spawn([&] { return execl(child, child, mode, nullptr), 127; })), 0)
        << "2: a failure answered; 3: no file replaced; 4: another value read back; "
           "5: a descriptor leaked";
    EXPECT_NE(FileText().find("\"D\"=dword:00000002"), std::string::npos) << FileText();
  }
}

}  // namespace
}  // namespace ombix::registry_test
