// Small pieces the tests that run tools share: a scratch folder, a loopback address of the test's
// own and a switch-sim on it, the settings of a two-line switch, a file's text, how often a text
// appears and whether texts appear in order.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "tests/tools/tool_process.h"

namespace tooltest {

// A folder of the test's own in dir_, removed afterwards.
class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "ombix-tools-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string dir_;
};

// A loopback address 127.`octet`.x.y of this test process's own, so that no switch elsewhere on
// this machine (a user's on 127.0.0.1, another test's) answers for the one the test starts; each
// test program picks its own `octet`. x.y counts the process ID through 64000 addresses (y from 2
// to 251), so test processes running side by side, whose IDs lie closer than that, never share
// one.
inline std::string OwnLoopbackAddress(int octet) {
  const unsigned slot = static_cast<unsigned>(getpid()) % (256 * 250);
  return "127." + std::to_string(octet) + "." + std::to_string(slot / 250) + "." +
         std::to_string(2 + slot % 250);
}

// Writes a registry file with two lines, each a phone number and its password, against the
// switch at `address`.
inline void WriteTwoLines(const std::string& path, const std::string& address,
                          const std::pair<std::string, std::string> (&lines)[2] = {
                              {"200", "1234"}, {"201", "1234"}}) {
  std::ofstream registry(path);
  registry << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
              "CurrentVersion\\Telephony\\VOIP Service Provider (Z9410)\\Device1]\n"
              "\"Lines\"=dword:00000002\n\"IP1\"=\""
           << address << "\"\n\"IP2\"=\"\"\n";
  for (int i = 0; i < 2; ++i) {
    registry << "\"Line." << i << ".Number\"=\"" << lines[i].first << "\"\n\"Line." << i
             << ".Password\"=\"" << lines[i].second << "\"\n";
  }
}

// A switch-sim with these options on `address`; its listening line has come.
inline std::unique_ptr<ToolProcess> StartSwitch(const std::string& address,
                                                std::vector<std::string> options = {}) {
  options.insert(options.begin(), {"--address", address});
  auto sim =
      std::make_unique<ToolProcess>(SWITCH_SIM_PATH, options, std::map<std::string, std::string>{});
  EXPECT_NE(sim->ReadLineWith("listening on " + address), "") << sim->Output();
  return sim;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Whether the parts come in text in this order.
inline ::testing::AssertionResult InOrder(const std::string& text,
                                          const std::vector<std::string>& parts) {
  size_t at = 0;
  for (const std::string& part : parts) {
    const size_t found = text.find(part, at);
    if (found == std::string::npos) {
      return ::testing::AssertionFailure() << "[" << part << "] missing or out of order in:\n"
                                           << text;
    }
    at = found + part.size();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace tooltest
