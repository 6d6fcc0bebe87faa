// tsp-host as a user meets it: start-up that keeps the configured lines, a script's output that
// tells its own story, a prompt on a terminal that shows events as they come, and the demo's
// refusal to use a switch it did not start.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/tools/tool_process.h"
#include "tools/tsp-host/line_editor.h"

namespace fs = std::filesystem;
using tooltest::RunTool;
using tooltest::ToolProcess;
using tooltest::ToolResult;

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kPatience = std::chrono::seconds(20);  // a bound for reads, never a measure

// A loopback address of this test process's own, so that no switch elsewhere on this machine
// (a user's on 127.0.0.1, another test's) answers for the one the test starts.
std::string OwnAddress() {
  const unsigned pid = static_cast<unsigned>(getpid());
  return "127.79." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(2 + pid % 250);
}

// Two lines, phones 200 and 201, against a switch at `address`.
void WriteTwoLines(const std::string& path, const std::string& address) {
  std::ofstream(path) << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\"
                         "CurrentVersion\\Telephony\\VOIP Service Provider (Z9410)\\Device1]\n"
                         "\"Lines\"=dword:00000002\n\"IP1\"=\""
                      << address
                      << "\"\n\"IP2\"=\"\"\n"
                         "\"Line.0.Number\"=\"200\"\n\"Line.0.Password\"=\"1234\"\n"
                         "\"Line.1.Number\"=\"201\"\n\"Line.1.Password\"=\"1234\"\n";
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

size_t Count(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

// Whether the parts come in text in this order.
::testing::AssertionResult InOrder(const std::string& text, const std::vector<std::string>& parts) {
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

class TspHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "ombix-tsp-host-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A switch-sim on this test's own address; its listening line has come.
  std::unique_ptr<ToolProcess> StartSwitch(std::vector<std::string> options = {}) {
    options.insert(options.begin(), {"--address", OwnAddress()});
    auto sim = std::make_unique<ToolProcess>(SWITCH_SIM_PATH, options,
                                             std::map<std::string, std::string>{});
    EXPECT_NE(sim->ReadLineWith("listening on " + OwnAddress()), "");
    return sim;
  }

  std::string dir_;
};

TEST(TspHostLineEditor, KeepsWhatIsTypedAndSwallowsWhatIsNot) {
  struct Case {
    const char* pszName;
    std::string keys;
    std::string typed;  // what the line holds afterwards
    tsphost::LineEditor::Key last;
  };
  using Key = tsphost::LineEditor::Key;
  const Case cases[] = {
      {"printable characters", "sta", "sta", Key::kAppended},
      {"backspace takes the last one", "stq\x7f", "st", Key::kChanged},
      {"Ctrl-H is a backspace too", "ab\x08", "a", Key::kChanged},
      {"backspace on an empty line", "\x7f", "", Key::kNone},
      {"a UTF-8 character goes whole", "a\xc3\xa9\x7f", "a", Key::kChanged},
      {"arrow keys are swallowed", "st\x1b[Aa\x1bOB", "sta", Key::kNone},
      {"a sequence with parameters", "\x1b[1;5Cx", "x", Key::kAppended},
      {"other control characters are ignored", "a\x01\x02", "a", Key::kNone},
      {"a tab is a blank", "a\tb", "a b", Key::kAppended},
      {"Ctrl-D on a line with text does nothing", "ab\x04", "ab", Key::kNone},
      {"Ctrl-D on an empty line ends the input", "\x04", "", Key::kEnd},
      {"Enter completes the line", "status 0\n", "status 0", Key::kLine},
      {"so does a carriage return", "ab\r", "ab", Key::kLine},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    tsphost::LineEditor editor;
    Key last = Key::kNone;
    for (char ch : c.keys) last = editor.Feed(ch);
    EXPECT_EQ(last, c.last);
    if (last == Key::kLine) {
      EXPECT_EQ(editor.TakeLine(), c.typed);
      EXPECT_EQ(editor.Typed(), "");
    } else {
      EXPECT_EQ(editor.Typed(), c.typed);
    }
  }
  // After a completed line the next one starts empty.
  tsphost::LineEditor editor;
  for (char ch : std::string("one\n")) editor.Feed(ch);
  EXPECT_EQ(editor.TakeLine(), "one");
  EXPECT_EQ(editor.Feed('2'), tsphost::LineEditor::Key::kAppended);
  EXPECT_EQ(editor.Typed(), "2");
}

TEST(TspHostLineEditor, ErasesEveryRowThePromptTakes) {
  struct Case {
    size_t nShown, nColumns;
    const char* pszErase;
  };
  const Case cases[] = {
      {8, 80, "\r\x1b[J"},                                 // one row
      {80, 80, "\r\x1b[J"},                                // a full row: the cursor is still on it
      {81, 80, "\r\x1b[1A\x1b[J"},                         // one character on the second row
      {200, 80, "\r\x1b[2A\x1b[J"}, {200, 0, "\r\x1b[J"},  // width unknown
      {0, 80, "\r\x1b[J"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tsphost::EraseShown(c.nShown, c.nColumns), c.pszErase)
        << c.nShown << " on " << c.nColumns;
  }
  EXPECT_EQ(tsphost::TextColumns("tsp> \xc3\xa9t\xc3\xa9"), 8u);
}

// Typed at the prompt, init starts the provider with the lines it has, and its start-up
// rewrite of its settings keeps them. lines=N, for tests, is taken as given.
TEST_F(TspHostTest, InitEnumeratesFirstAndKeepsTheConfiguredLines) {
  struct Case {
    const char* pszName;
    std::string input;
    size_t nEnums;
    std::string starts;  // in the providerInit line
    bool bKeepsLines;
  };
  const Case cases[] = {
      {"init alone", "init\nshutdown\n", 1, "2 lines, 0 phones) = 0", true},
      {"after an enum, none more", "enum\ninit\nshutdown\n", 1, "2 lines, 0 phones) = 0", true},
      {"again after a shutdown", "init\nshutdown\ninit\nshutdown\n", 2, "2 lines", true},
      {"lines=N without an enum", "init lines=1\nshutdown\n", 0, "1 lines, 0 phones) = 0", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    const std::string registry = dir_ + "/registry.reg";
    // Never opened here: no switch is asked.
    WriteTwoLines(registry, "192.0.2.1");
    const ToolResult result =
        RunTool(TSP_HOST_PATH, {OMBIX_TSP_PATH, "--registry", registry, "--strict"},
                {{"HOME", dir_ + "/home"}}, c.input);
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_EQ(Count(result.out, "providerEnumDevices(1) = 0, lines 2, phones 0\n"), c.nEnums)
        << result.out;
    EXPECT_TRUE(InOrder(result.out, {"> init", "providerInit(", c.starts}));
    if (!c.bKeepsLines) continue;
    const std::string settings = ReadFile(registry);
    for (const char* value : {"\"Lines\"=dword:00000002", "\"Line.0.Number\"=\"200\"",
                              "\"Line.1.Number\"=\"201\"", "\"Line.1.Password\"=\"1234\""}) {
      EXPECT_NE(settings.find(value), std::string::npos) << value << " lost:\n" << settings;
    }
  }
}

// Read top to bottom, a script's output tells what happened: its comments come where they
// stand, and wait says whether it waited for a completion.
TEST_F(TspHostTest, AScriptsOutputTellsItsStory) {
  // Every datagram of the switch held back, so that the call's completion comes only after
  // wait has begun.
  const auto sim = StartSwitch({"--delay", "500"});
  WriteTwoLines(dir_ + "/registry.reg", OwnAddress());
  const ToolResult result =
      RunTool(TSP_HOST_PATH, {OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"},
              {{"HOME", dir_ + "/home"}},
              "# the line logs in to the switch when it opens\n"
              "init\nopen 0\nwait\n"
              "   # 200 calls 201  \n"
              "make 0 201\nwait\nshutdown\n");
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(InOrder(
      result.out,
      {"loaded OMBIX.TSP", "\n# the line logs in to the switch when it opens\n> init\n",
       "lineOpen(0, 0x00020001) = 0", "> wait\n", "wait: no request pending\n",
       "# 200 calls 201\n> make 0 201\n", "lineMakeCall(0, \"201\") = 1 (request 1)", "> wait\n",
       "completion request 1: 0\n", "wait: request 1 completed\n", "> shutdown\n"}))
      << result.out;
}

// sleep pauses: it is still pausing when a signal comes, which ends it and tsp-host.
TEST_F(TspHostTest, SleepPausesUntilItsTimeOrASignal) {
  ToolProcess host(TSP_HOST_PATH, {OMBIX_TSP_PATH}, {{"HOME", dir_ + "/home"}});
  host.Write("sleep 1\nsleep 600000\n");
  ASSERT_TRUE(host.ReadUntil("> sleep 600000\n"));
  host.Signal(SIGINT);
  const ToolResult result = host.Finish();
  EXPECT_EQ(result.exit_code, 130);
  EXPECT_TRUE(InOrder(result.out, {"> sleep 1\n> sleep 600000\nsleep: ended by SIGINT\n",
                                   "interrupted by SIGINT"}));
}

// tsp-host on a pseudo-terminal, as a user at a terminal runs it.
class TerminalHost {
 public:
  explicit TerminalHost(const std::vector<std::string>& args) {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0) return;
    const std::string slave = ptsname(m_master);
    std::vector<std::string> argv{TSP_HOST_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> pointers;
    for (std::string& arg : argv) pointers.push_back(arg.data());
    pointers.push_back(nullptr);
    m_pid = fork();
    if (m_pid == 0) {
      // Its own session, with the terminal as its controlling one and its three streams.
      setsid();
      const int fd = open(slave.c_str(), O_RDWR);
      if (fd < 0) _exit(127);
      dup2(fd, 0);
      dup2(fd, 1);
      dup2(fd, 2);
      execve(pointers[0], pointers.data(), environ);
      _exit(127);
    }
  }
  ~TerminalHost() {
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
    if (m_master >= 0) close(m_master);
  }
  bool Started() const { return m_master >= 0 && m_pid > 0; }
  void Type(const std::string& keys) {
    ASSERT_EQ(write(m_master, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }
  // Reads until what came from position nFrom on holds text; where it starts, or npos.
  size_t ReadUntil(const std::string& text, size_t nFrom = 0) {
    const auto end = Clock::now() + kPatience;
    for (;;) {
      const size_t at = m_out.find(text, nFrom);
      if (at != std::string::npos || Clock::now() >= end) return at;
      ReadSome(200);
    }
  }
  // Waits for the exit; its status, or -1.
  int Finish() {
    const auto end = Clock::now() + kPatience;
    while (Clock::now() < end) {
      ReadSome(100);
      int status = 0;
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        while (ReadSome(0)) {
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
    }
    return -1;
  }
  void Signal(int nSignal) { kill(m_pid, nSignal); }
  // What a shell does to the terminal while the program is stopped.
  void MakeCooked() {
    termios modes{};
    ASSERT_EQ(tcgetattr(m_master, &modes), 0);
    modes.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(m_master, TCSANOW, &modes), 0);
  }
  bool TerminalIsCooked() const {
    termios modes{};
    return tcgetattr(m_master, &modes) == 0 && (modes.c_lflag & ICANON) != 0 &&
           (modes.c_lflag & ECHO) != 0;
  }
  const std::string& Output() const { return m_out; }

 private:
  bool ReadSome(int nMillis) {
    pollfd fd{m_master, POLLIN, 0};
    if (poll(&fd, 1, nMillis) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(m_master, buffer, sizeof(buffer));
    if (n <= 0) return false;
    m_out.append(buffer, static_cast<size_t>(n));
    return true;
  }

  int m_master = -1;
  pid_t m_pid = -1;
  std::string m_out;
};

// While the user types at the prompt, the switch's events are printed above it as they come,
// and the prompt with the half-typed line is drawn again below them; the line then runs as
// typed.
TEST_F(TspHostTest, EventsAppearAboveThePromptWhileTheUserTypes) {
  const auto sim = StartSwitch();
  WriteTwoLines(dir_ + "/registry.reg", OwnAddress());
  TerminalHost host({OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"});
  ASSERT_TRUE(host.Started());
  size_t at = 0;
  auto command = [&](const std::string& line, const std::string& answer) {
    ASSERT_NE(at = host.ReadUntil("tsp> ", at), std::string::npos) << host.Output();
    host.Type(line + "\n");
    ASSERT_NE(at = host.ReadUntil(answer, at), std::string::npos) << host.Output();
  };
  command("init", "providerInit(");
  command("open 0", "lineOpen(0, 0x00020001) = 0");
  command("statusmsgs 0 0x00100030 0", "lineSetStatusMessages(0, ");
  ASSERT_NE(at = host.ReadUntil("tsp> ", at), std::string::npos) << host.Output();

  // Half a command, with a typing error mended.
  host.Type("stq\x7f");
  host.Type("a");
  ASSERT_NE(at = host.ReadUntil("sta", at), std::string::npos) << host.Output();
  sim->Write("messages 200 2\n");
  const size_t event = host.ReadUntil("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITON", at);
  ASSERT_NE(event, std::string::npos) << host.Output();
  // The prompt line was erased for the event, and is back below it with what was typed.
  ASSERT_GE(event, 4u);
  EXPECT_EQ(host.Output().substr(event - 4, 4), "\r\x1b[J") << host.Output();
  ASSERT_NE(at = host.ReadUntil("\ntsp> sta", event), std::string::npos) << host.Output();
  EXPECT_EQ(host.Output().find("> status", event), std::string::npos);

  // Stopped and continued, as Ctrl-Z and fg do, with the terminal reset meanwhile: the prompt
  // comes back with the half-typed line and echoes once.
  host.Signal(SIGSTOP);
  host.MakeCooked();
  host.Signal(SIGCONT);
  ASSERT_NE(at = host.ReadUntil("tsp> sta", at + std::strlen("\ntsp> sta")), std::string::npos)
      << host.Output();
  host.Type("tus 0\n");
  ASSERT_NE(at = host.ReadUntil("lineGetLineDevStatus(0) = 0", at), std::string::npos)
      << host.Output();
  EXPECT_EQ(Count(host.Output(), "tus 0"), 1u) << host.Output();
  ASSERT_NE(at = host.ReadUntil("tsp> ", at), std::string::npos) << host.Output();
  host.Type("\x04");  // Ctrl-D on the empty line ends the input
  EXPECT_EQ(host.Finish(), 0) << host.Output();
  EXPECT_NE(host.Output().find("unloaded OMBIX.TSP", at), std::string::npos) << host.Output();
  // The terminal is left as it was found.
  EXPECT_TRUE(host.TerminalIsCooked());
}

// The demo never talks to a switch it did not start: with its address taken, it stops with the
// simulator's error, says how to choose another and runs nothing.
TEST_F(TspHostTest, TheDemoStopsWhenItsSwitchCannotListen) {
  const std::string address = OwnAddress();
  const int taken = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(taken, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(29051);
  ASSERT_EQ(inet_pton(AF_INET, address.c_str(), &addr.sin_addr), 1);
  ASSERT_EQ(bind(taken, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)), 0) << address;

  const ToolResult result = RunTool("/bin/bash", {DEMO_SCRIPT_PATH},
                                    {{"DEMO_BUILD", BUILD_DIR}, {"DEMO_ADDRESS", address}}, "");
  close(taken);
  EXPECT_NE(result.exit_code, 0) << result.out << result.err;
  EXPECT_TRUE(InOrder(result.err, {"switch-sim cannot serve on " + address, "the port is in use",
                                   "DEMO_ADDRESS="}));
  EXPECT_EQ(result.out.find("loaded OMBIX.TSP"), std::string::npos) << result.out;
  EXPECT_EQ(result.out.find("building"), std::string::npos) << result.out;
}

}  // namespace
