// The tools' error paths, each tool run as a user runs it. One table per tool: arguments and
// input, the exit status, and what must and must not be said.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "tests/tools/tool_process.h"
#include "tests/tools/tool_test_support.h"
#include "tests/tools/udp_peer.h"

namespace fs = std::filesystem;
using tooltest::Count;
using tooltest::RunTool;
using tooltest::ToolProcess;
using tooltest::ToolResult;
using tooltest::UdpPeer;

namespace {

// "@" in a table's text stands for the test's scratch folder.
std::string Expand(std::string text, const std::string& dir) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + dir.size())) {
    text.replace(at, 1, dir);
  }
  return text;
}

// Arguments given as one text, split at its blanks.
std::vector<std::string> Args(const std::string& text) {
  std::vector<std::string> args;
  std::istringstream in(text);
  for (std::string arg; in >> arg;) args.push_back(arg);
  return args;
}

struct Case {
  const char* name;
  std::vector<std::string> args;
  int exit_code;
  std::string says;           // on standard error, or on standard output when it starts with "out:"
  std::string not_says = {};  // on either
  std::string input = {};
  std::string env = {};     // "NAME=value", put in the environment
  std::string exists = {};  // a path that must exist afterwards
  std::string absent = {};  // a path that must not
};

class ToolTest : public tooltest::ScratchDirTest {
 protected:
  void Check(const std::string& tool, const Case& c) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args;
    for (const std::string& arg : c.args) args.push_back(Expand(arg, dir_));
    std::map<std::string, std::string> env{{"HOME", dir_ + "/home"}, {"TZ", "UTC"}};
    const size_t eq = c.env.find('=');
    if (eq != std::string::npos) env[c.env.substr(0, eq)] = Expand(c.env.substr(eq + 1), dir_);
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
    EXPECT_TRUE(c.exists.empty() || fs::exists(Expand(c.exists, dir_))) << c.exists;
    EXPECT_TRUE(c.absent.empty() || !fs::exists(Expand(c.absent, dir_))) << c.absent;
  }
};

TEST_F(ToolTest, RegtoolErrors) {
  std::ofstream(dir_ + "/registry.reg") << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"1\"\n";
  const std::string missing = "the registry file @/none.reg does not exist";
  const Case cases[] = {
      {"missing file, get", Args("--file @/none.reg get K V"), 1, missing, "not found"},
      {"missing file, dump", Args("--file @/none.reg dump"), 1, missing, "REGEDIT4"},
      {"missing file from the environment, keys", Args("keys K"), 1, missing, "", "",
       "OMBIX_REGISTRY=@/none.reg"},
      {"missing file, delete", Args("--file @/none.reg delete K"), 1, "does not exist", "", "", "",
       "", "@/none.reg"},
      {"missing key of a file that exists", Args("--file @/registry.reg get K\\L V"), 1,
       "HKEY_LOCAL_MACHINE\\K\\L: not found", "does not exist"},
      {"given folder missing", Args("--file @/no/such/r.reg set K V 2"), 3,
       "@/no/such/r.reg: its folder does not exist", "", "", "", "", "@/no"},
      {"folder from the environment missing", Args("set K V 2"), 3, "its folder does not exist", "",
       "", "OMBIX_REGISTRY=@/no/r.reg", "", "@/no"},
      {"default folder made on a fresh account", Args("set K V 2"), 0, "", "", "", "",
       "@/home/.config/ombix/registry.reg"},
      {"unknown option before the command", Args("--frob get K"), 2, "unknown option --frob",
       "unknown command"},
      {"unknown option after the command", Args("get K --frob"), 2, "unknown option --frob",
       "switch"},
      {"option that only starts like --file", Args("--filex get K"), 2, "unknown option --filex"},
      {"--file without a path", {"--file"}, 2, "--file takes a PATH"},
      {"help explains the lock file", {"--help"}, 0, "out:FILE.lock holds nothing; deleting it"},
  };
  for (const Case& c : cases) Check(REGTOOL_PATH, c);
}

TEST_F(ToolTest, SwitchDecodeErrors) {
  std::string binary;
  for (int i = 0; i < 3000; ++i) binary += std::string("\177ELF\x02\x01\x00\x1b[2J\n", 12);
  const std::string too_long(8 * 65535 + 10, 'a');
  const std::vector<std::string> at0 = Args("--time 0");
  const Case cases[] = {
      {"0x groups, commas and a comment", at0, 0, "out:00:00:00: Recv    8 bytes", "",
       "# a datagram\n0x01 0x00 0x00 0x00 0x00,00,00,00  # seq 1\n"},
      {"binary input refused once", at0, 1, "<stdin>:1: binary data, not hexadecimal text",
       "<stdin>:2", binary},
      {"a bad digit, then a good line", at0, 1, "<stdin>:1: not a hexadecimal digit: 'g' in '0g'",
       "<stdin>:2", "01 0g\n01000000 00000000\n"},
      {"the good line is still printed", at0, 1, "out:Recv    8 bytes", "",
       "01 0g\n01000000 00000000\n"},
      {"half a byte", {}, 1, "odd number of hexadecimal digits in '0x1'", "", "0x1 0x2\n"},
      {"0x alone", {}, 1, "no hexadecimal digits after '0x'", "", "01 0x\n"},
      {"a line too long", {}, 1, "longer than any datagram's text", "aaaa", too_long},
      {"missing file", {"@/none.hex"}, 1, "@/none.hex: No such file or directory"},
      {"negative time", Args("--time -1"), 2, "--time takes seconds since 1970"},
      {"time past what local time shows", Args("--time 99999999999999999"), 2,
       "--time takes seconds since 1970"},
      {"time with trailing text", Args("--time 12s"), 2, "--time takes seconds"},
      {"help describes the input", {"--help"}, 0, "out:a group may start\nwith 0x"},
  };
  for (const Case& c : cases) Check(SWITCH_DECODE_PATH, c);

  // No byte of the refused input comes back: only text and newlines on standard error.
  const ToolResult result = RunTool(SWITCH_DECODE_PATH, {}, {}, binary);
  const size_t raw = result.err.find_first_not_of(
      "\n !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_`"
      "abcdefghijklmnopqrstuvwxyz{|}~");
  EXPECT_EQ(raw, std::string::npos) << result.err;
}

TEST_F(ToolTest, SwitchSimErrors) {
  UdpPeer taken;  // holds a port, so that the sim cannot listen on it
  const std::string port = std::to_string(taken.port());
  std::ofstream(dir_ + "/phones.txt") << "# phones\n300:1:a\n301\n";
  // Every case asks for a free port first: should one start listening after all, it takes none
  // that a switch elsewhere on this machine needs, and the time limit ends it.
  const Case cases[] = {
      {"unknown option", {"--frob"}, 2, "unknown option --frob", "listening"},
      {"value missing", {"--port"}, 2, "--port takes a number from 0 to 65535"},
      {"port too large", Args("--port 65536"), 2, "from 0 to 65535, not '65536'"},
      {"port with a sign", Args("--port -1"), 2, "not '-1'"},
      {"port with a blank", {"--port", " 5"}, 2, "not ' 5'"},
      {"port with text after", Args("--port 29051x"), 2, "not '29051x'"},
      {"port in use", {"--port", port}, 2, "port " + port + ": the port is in use", "listening"},
      {"host name for an address", Args("--address localhost"), 2,
       "--address takes an IPv4 address such as 127.0.0.1, not 'localhost'"},
      {"address of three parts", Args("--address 127.0.1"), 2, "not '127.0.1'"},
      {"address of no interface here", Args("--address 192.0.2.1"), 2,
       "cannot listen on 192.0.2.1 port 0: 192.0.2.1 is no address of this machine", "listening"},
      {"share above 1", Args("--drop-in 1.5"), 2, "--drop-in takes a share from 0 to 1"},
      {"share below 0", Args("--duplicate -0.1"), 2, "--duplicate takes a share"},
      {"share not a number", Args("--delay-share nan"), 2, "--delay-share takes a share"},
      {"milliseconds in octal look", Args("--ping 1e3"), 2, "--ping takes milliseconds"},
      {"type name cut short", Args("--result OMBIX_MAKE_CALL=1"), 2, "--result takes TYPE=CODE"},
      {"code name unknown", Args("--result OMBIX_MAKE_CALL_REQ=OMBIX_ERROR_NOPE"), 2,
       "not 'OMBIX_MAKE_CALL_REQ=OMBIX_ERROR_NOPE'"},
      {"login refused with no answer", Args("--login refuse=none"), 2,
       "--login takes accept, refuse, refuse=CODE or ignore"},
      {"phones file missing", Args("--phones @/none.txt"), 2,
       "cannot read the phones file @/none.txt: No such file or directory"},
      {"phones file a folder", Args("--phones @"), 2, "@: Is a directory"},
      {"phones file with a bad line", Args("--phones @/phones.txt"), 2,
       "@/phones.txt: not NUMBER:PASSWORD[:DEVICE]: '301'"},
      {"script missing", Args("--script @/none.txt"), 2,
       "cannot read the script @/none.txt: No such file or directory", "listening"},
      {"script a folder", Args("--script @"), 2, "cannot read the script @: Is a directory"},
      {"no log and every datagram", Args("--verbose --quiet"), 2,
       "--quiet and --verbose exclude each other", "listening"},
      {"help states the defaults", {"--help"}, 0, "out:(127.0.0.1; 0.0.0.0"},
      {"help states the port", {"--help"}, 0, "out:0 to 65535 (29051; 0: a free one"},
      {"help states the exit status",
       {"--help"},
       0,
       "out:Exit status: 0 after SIGINT or SIGTERM; 2 for a usage error"},
  };
  for (Case c : cases) {
    c.args.insert(c.args.begin(), {"10", SWITCH_SIM_PATH, "--port", "0"});
    Check("/usr/bin/timeout", c);
  }
}

TEST_F(ToolTest, TspHostErrors) {
  tooltest::WriteTwoLines(dir_ + "/registry.reg", "192.0.2.1");  // never opened: no switch asked
  const std::vector<std::string> host{OMBIX_TSP_PATH, "--registry", "@/registry.reg"};
  auto with = [&host](std::vector<std::string> more) {
    more.insert(more.begin(), host.begin(), host.end());
    return more;
  };
  // Dialog scripts for the provider dialog (101), which Cancel (2) closes.
  std::ofstream(dir_ + "/other.txt") << "dialog 102\n";
  std::ofstream(dir_ + "/left.txt") << "dialog 101\nclick 2\ndialog 102\n";
  std::ofstream(dir_ + "/whole.txt") << "dialog 101\nclick 2\n";
  const Case cases[] = {
      {"missing script", with({"--script", "@/none.txt"}), 1,
       "cannot read the script @/none.txt: No such file or directory"},
      {"script that is a folder", with({"--script", "@"}), 1, "@: Is a directory"},
      {"--strict stops at a TAPI error", with({"--strict"}), 1,
       "out:stopped: --strict, and the provider reported an error", "> caps 0",
       "negotiate\nenum\ninit\ninit\ncaps 0\n"},
      {"--strict stops at a bad line", with({"--strict"}), 1,
       "out:stopped: --strict, and the line was no valid command", "> negotiate",
       "frobnicate\nnegotiate\n"},
      {"--strict passes a clean script", with({"--strict"}), 0, "out:unloaded OMBIX.TSP", "stopped",
       "negotiate\nenum\ninit\nshutdown\n"},
      {"help tells the exit status", {"--help"}, 0, "out:130 SIGINT"},
      // A registry file that does not exist is named beside enum's and init's results.
      {"a registry file given by --registry",
       {OMBIX_TSP_PATH, "--registry", "@/given.reg", "init"},
       0,
       "out:LINEERR_NODEVICE (0x80000042), options 0x00000000\n  the registry file @/given.reg "
       "(given by --registry) does not exist\n"},
      {"one from OMBIX_REGISTRY",
       {OMBIX_TSP_PATH, "init"},
       0,
       "out:  the registry file @/env.reg (from OMBIX_REGISTRY) does not exist",
       "",
       "",
       "OMBIX_REGISTRY=@/env.reg"},
      {"the default one",
       {OMBIX_TSP_PATH, "enum"},
       0,
       "out:lines 0, phones 0\n  the registry file @/home/.config/ombix/registry.reg (the "
       "default) does not exist\n"},
      {"one that exists", with({"enum"}), 0, "out:lines 2, phones 0", "does not exist"},
      {"a dialog script that fails", with({"--dialogs", "script:@/other.txt", "config", "1"}), 1,
       "dialog script: dialog 101 \"VOIP Telephony Service Provider\" where line 1 expects "
       "dialog 102",
       "unplayed"},
      {"so with --strict", with({"--strict", "--dialogs", "script:@/other.txt", "config", "1"}), 1,
       "where line 1 expects dialog 102"},
      {"a dialog script left unplayed", with({"--dialogs", "script:@/left.txt", "config", "1"}), 1,
       "dialog script: 1 step left unplayed, the first at line 3"},
      {"a dialog script no dialog came for", with({"--dialogs", "script:@/whole.txt", "enum"}), 1,
       "dialog script: 2 steps left unplayed, the first at line 1"},
      {"a dialog script played whole", with({"--dialogs", "script:@/whole.txt", "config", "1"}), 0,
       "out:providerConfig(1) = ", "dialog script"},
      {"help tells the dialog script's status",
       {"--help"},
       0,
       "out:the dialog script reported a failure or left steps unplayed (with or\nwithout "
       "--strict)"},
  };
  for (const Case& c : cases) Check(TSP_HOST_PATH, c);
}

// A signal while tsp-host waits for input: the provider it started is shut down, then
// unloaded, and the status tells which signal ended it.
TEST_F(ToolTest, TspHostStopsTheProviderOnSignals) {
  struct SignalCase {
    int signal;
    const char* name;
    std::string input;
    bool started;
  } cases[] = {{SIGINT, "SIGINT", "negotiate\nenum\ninit\n", true},
               {SIGTERM, "SIGTERM", "negotiate\n", false}};
  tooltest::WriteTwoLines(dir_ + "/registry.reg", "192.0.2.1");
  for (const SignalCase& c : cases) {
    SCOPED_TRACE(c.name);
    ToolProcess host(TSP_HOST_PATH, {OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"},
                     {{"HOME", dir_ + "/home"}});
    host.Write(c.input);
    ASSERT_TRUE(host.ReadUntil(c.started ? "options 0x" : "version 0x"));
    host.Signal(c.signal);  // standard input stays open: the signal alone must end the wait
    const ToolResult result = host.Finish();
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exit_code, 128 + c.signal);
    const std::string shutdown = "providerShutdown(0x00020001, 1) = 0\n";
    EXPECT_EQ(Count(result.out, shutdown), c.started ? 1u : 0u) << result.out;
    EXPECT_TRUE(tooltest::InOrder(result.out, {std::string("interrupted by ") + c.name,
                                               c.started ? shutdown : "", "unloaded OMBIX.TSP\n"}));
  }
}

// Whether the process still has a handler of its own for the signal.
bool Catches(pid_t pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("SigCgt:", 0) == 0) {
      return ((std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1u) != 0;
    }
  }
  return false;
}

// A signal during a provider call (here the test provider's dialog, which waits for its input)
// stops the provider once the call returns; a second one, of either kind, ends tsp-host at once,
// the call still waiting.
TEST_F(ToolTest, TspHostEndsAtOnceOnASecondSignal) {
  const int cases[][2] = {
      {SIGINT, 0}, {SIGINT, SIGINT}, {SIGINT, SIGTERM}, {SIGTERM, SIGINT}, {SIGTERM, SIGTERM}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c[0]) + " then " + std::to_string(c[1]));
    ToolProcess host(TSP_HOST_PATH, {FAKE_TSP_PATH, "config", "1"}, {{"HOME", dir_ + "/home"}});
    ASSERT_TRUE(host.ReadUntil("> config 1\n")) << host.Output();
    host.Signal(c[0]);
    // Its handler has run once it is gone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (Catches(host.Pid(), c[0]) && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_FALSE(Catches(host.Pid(), c[0]));
    if (c[1] != 0) host.Signal(c[1]);
    // End of input ends the dialog, and with it the call.
    const ToolResult result = host.Finish();
    const bool interrupted = result.out.find("interrupted by") != std::string::npos;
    if (c[1] == 0) {
      EXPECT_EQ(result.exit_code, 128 + c[0]);
      EXPECT_TRUE(tooltest::InOrder(
          result.out, {"providerConfig(1) = 0", "interrupted by", "unloaded FAKE.TSP\n"}));
    } else {
      EXPECT_EQ(result.signal, c[1]);
      EXPECT_FALSE(interrupted) << result.out;
    }
  }
}

}  // namespace
