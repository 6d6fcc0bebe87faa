// The tools' error paths, each tool run as a user runs it. One table per tool: arguments and
// input, the exit status, and what must and must not be said.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/tools/tool_process.h"

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::ToolProcess;
using tooltest::ToolResult;

namespace {

// "@" in a table's text stands for the test's scratch folder.
std::string Expand(std::string text, const std::string& dir) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + dir.size())) {
    text.replace(at, 1, dir);
  }
  return text;
}

struct Case {
  const char* name;
  std::vector<std::string> args;
  std::map<std::string, std::string> env;
  std::string input;
  int exit_code;
  std::string says;           // on standard error, or on standard output when it starts with "out:"
  std::string not_says = {};  // on either
  std::string exists = {};    // a path that must exist afterwards
  std::string absent = {};    // a path that must not
};

class ToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ombix-tools-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Check(const std::string& tool, const Case& c) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(Expand(arg, dir_));
    std::map<std::string, std::string> env{{"HOME", dir_ + "/home"}, {"TZ", "UTC"}};
    for (const auto& [name, value] : c.env) env[name] = Expand(value, dir_);
    const ToolResult result = RunTool(tool, args, env, c.input);
    EXPECT_EQ(result.exit_code, c.exit_code) << result.out << result.err;
    const bool on_out = c.says.rfind("out:", 0) == 0;
    const std::string says = Expand(on_out ? c.says.substr(4) : c.says, dir_);
    EXPECT_NE((on_out ? result.out : result.err).find(says), std::string::npos)
        << "expected [" << says << "] in:\n"
        << (on_out ? result.out : result.err);
    if (!c.not_says.empty()) {
      EXPECT_EQ((result.out + result.err).find(c.not_says), std::string::npos)
          << result.out << result.err;
    }
    if (!c.exists.empty()) {
      EXPECT_TRUE(fs::exists(Expand(c.exists, dir_))) << c.exists;
    }
    if (!c.absent.empty()) {
      EXPECT_FALSE(fs::exists(Expand(c.absent, dir_))) << c.absent;
    }
  }

  std::string dir_;
};

TEST_F(ToolTest, RegtoolErrors) {
  std::ofstream(dir_ + "/registry.reg") << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"1\"\n";
  const Case cases[] = {
      {"missing file, get",
       {"--file", "@/none.reg", "get", "K", "V"},
       {},
       "",
       1,
       "the registry file @/none.reg does not exist",
       "not found"},
      {"missing file, dump",
       {"--file", "@/none.reg", "dump"},
       {},
       "",
       1,
       "the registry file @/none.reg does not exist",
       "REGEDIT4"},
      {"missing file from the environment, keys",
       {"keys", "K"},
       {{"OMBIX_REGISTRY", "@/none.reg"}},
       "",
       1,
       "the registry file @/none.reg does not exist"},
      {"missing file, delete",
       {"--file", "@/none.reg", "delete", "K"},
       {},
       "",
       1,
       "does not exist",
       "",
       "",
       "@/none.reg"},
      {"missing key of a file that exists",
       {"--file", "@/registry.reg", "get", "K\\L", "V"},
       {},
       "",
       1,
       "HKEY_LOCAL_MACHINE\\K\\L: not found",
       "does not exist"},
      {"given folder missing",
       {"--file", "@/no/such/r.reg", "set", "K", "V", "2"},
       {},
       "",
       3,
       "@/no/such/r.reg: its folder does not exist",
       "",
       "",
       "@/no"},
      {"folder from the environment missing",
       {"set", "K", "V", "2"},
       {{"OMBIX_REGISTRY", "@/no/r.reg"}},
       "",
       3,
       "its folder does not exist",
       "",
       "",
       "@/no"},
      {"default folder made on a fresh account",
       {"set", "K", "V", "2"},
       {},
       "",
       0,
       "",
       "",
       "@/home/.config/ombix/registry.reg"},
      {"unknown option before the command",
       {"--frob", "get", "K"},
       {},
       "",
       2,
       "unknown option --frob",
       "unknown command"},
      {"unknown option after the command",
       {"get", "K", "--frob"},
       {},
       "",
       2,
       "unknown option --frob",
       "switch"},
      {"option that only starts like --file",
       {"--filex", "get", "K"},
       {},
       "",
       2,
       "unknown option --filex"},
      {"--file without a path", {"--file"}, {}, "", 2, "--file takes a PATH"},
      {"help explains the lock file", {"--help"}, {}, "", 0, "out:FILE.lock"},
  };
  for (const Case& c : cases) Check(REGTOOL_PATH, c);
}

TEST_F(ToolTest, SwitchDecodeErrors) {
  std::string binary;
  for (int i = 0; i < 3000; ++i)
    binary += std::string(
                  "\x7f"
                  "ELF\x02\x01\x00\x1b[2J",
                  11) +
              "\n";
  const std::string too_long(8 * 65535 + 10, 'a');
  const Case cases[] = {
      {"0x groups, commas and a comment",
       {"--time", "0"},
       {},
       "# a datagram\n0x01 0x00 0x00 0x00 0x00,00,00,00  # seq 1\n",
       0,
       "out:00:00:00: Recv    8 bytes"},
      {"binary input refused once",
       {"--time", "0"},
       {},
       binary,
       1,
       "<stdin>:1: binary data, not hexadecimal text",
       "<stdin>:2"},
      {"a bad digit, then a good line",
       {"--time", "0"},
       {},
       "01 0g\n01000000 00000000\n",
       1,
       "<stdin>:1: not a hexadecimal digit: 'g' in '0g'",
       "<stdin>:2"},
      {"the good line is still printed",
       {"--time", "0"},
       {},
       "01 0g\n01000000 00000000\n",
       1,
       "out:Recv    8 bytes"},
      {"half a byte", {}, {}, "0x1 0x2\n", 1, "odd number of hexadecimal digits in '0x1'"},
      {"0x alone", {}, {}, "01 0x\n", 1, "no hexadecimal digits after '0x'"},
      {"a line too long for any datagram",
       {},
       {},
       too_long,
       1,
       "longer than any datagram's text",
       "aaaa"},
      {"missing file", {"@/none.hex"}, {}, "", 1, "@/none.hex: No such file or directory"},
      {"negative time", {"--time", "-1"}, {}, "", 2, "--time takes seconds since 1970"},
      {"time past what local time shows",
       {"--time", "99999999999999999"},
       {},
       "",
       2,
       "--time takes seconds since 1970"},
      {"time with trailing text", {"--time", "12s"}, {}, "", 2, "--time takes seconds"},
      {"help describes the input", {"--help"}, {}, "", 0, "out:a group may start\nwith 0x"},
  };
  for (const Case& c : cases) Check(SWITCH_DECODE_PATH, c);

  // No byte of the refused input comes back: only text and newlines on standard error.
  const ToolResult result = RunTool(SWITCH_DECODE_PATH, {}, {}, binary);
  const size_t raw = result.err.find_first_not_of(
      "\n !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
      "abcdefghijklmnopqrstuvwxyz{|}~");
  EXPECT_EQ(raw, std::string::npos) << result.err;
}

// The switch provider starts only with a server address; no lines, so nothing waits for a switch.
void WriteProviderRegistry(const std::string& path) {
  std::ofstream(path) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                         "CurrentVersion\\Telephony\\VOIP Service Provider (Z9410)\\Device1]\n"
                         "\"IP1\"=\"127.0.0.1\"\n";
}

TEST_F(ToolTest, TspHostErrors) {
  WriteProviderRegistry(dir_ + "/registry.reg");
  const std::vector<std::string> host{OMBIX_TSP_PATH, "--registry", "@/registry.reg"};
  auto with = [&host](std::vector<std::string> more) {
    more.insert(more.begin(), host.begin(), host.end());
    return more;
  };
  const std::string twice = "negotiate\nenum\ninit\ninit\n";
  const Case cases[] = {
      {"missing script",
       with({"--script", "@/none.txt"}),
       {},
       "",
       1,
       "cannot read the script @/none.txt: No such file or directory"},
      {"script that is a folder", with({"--script", "@"}), {}, "", 1, "@: Is a directory"},
      {"a code that is no TAPI error is described",
       host,
       {},
       twice,
       0,
       "out:= 0xFFFFFFFF (-1, not a TAPI error code), options 0x00000000; provider ID 1 is "
       "started already"},
      {"--strict stops at a TAPI error",
       with({"--strict"}),
       {},
       twice + "caps 0\n",
       1,
       "out:stopped: --strict, and the provider reported an error",
       "> caps 0"},
      {"--strict stops at a bad line",
       with({"--strict"}),
       {},
       "frobnicate\nnegotiate\n",
       1,
       "out:stopped: --strict, and the line was no valid command",
       "> negotiate"},
      {"--strict passes a clean script",
       with({"--strict"}),
       {},
       "negotiate\nenum\ninit\nshutdown\n",
       0,
       "out:unloaded OMBIX.TSP",
       "stopped"},
      {"help tells the exit status", {"--help"}, {}, "", 0, "out:130 SIGINT"},
  };
  for (const Case& c : cases) Check(TSP_HOST_PATH, c);
}

// A signal while tsp-host waits for input: the provider it started is shut down, then
// unloaded, and the status tells which signal ended it.
TEST_F(ToolTest, TspHostStopsTheProviderOnSignals) {
  struct SignalCase {
    int signal;
    std::string input;
    bool started;
  } cases[] = {{SIGINT, "negotiate\nenum\ninit\n", true}, {SIGTERM, "negotiate\n", false}};
  WriteProviderRegistry(dir_ + "/registry.reg");
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.signal);
    ToolProcess host(TSP_HOST_PATH, {OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"},
                     {{"HOME", dir_ + "/home"}});
    host.Write(c.input);
    ASSERT_TRUE(host.ReadUntil(c.started ? "options 0x" : "version 0x"));
    host.Signal(c.signal);  // standard input stays open: the signal alone must end the wait
    const ToolResult result = host.Finish();
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_code, 128 + c.signal);
    const size_t interrupted =
        result.out.find(c.signal == SIGINT ? "interrupted by SIGINT" : "interrupted by SIGTERM");
    const size_t shutdown = result.out.find("providerShutdown(0x00020001, 1) = 0\n");
    const size_t unloaded = result.out.find("unloaded OMBIX.TSP\n");
    ASSERT_NE(interrupted, std::string::npos) << result.out;
    ASSERT_NE(unloaded, std::string::npos) << result.out;
    if (c.started) {
      ASSERT_NE(shutdown, std::string::npos) << result.out;
      EXPECT_LT(interrupted, shutdown);
      EXPECT_LT(shutdown, unloaded);
    } else {
      EXPECT_EQ(shutdown, std::string::npos) << result.out;
    }
  }
}

}  // namespace
