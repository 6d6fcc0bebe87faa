// tsp-host as a user meets it: start-up that keeps the configured lines, a script's output that
// tells its own story, a prompt on a terminal that shows events as they come, and the demo's
// refusal to use a switch it did not start.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/tools/tool_process.h"
#include "tests/tools/tool_test_support.h"
#include "tools/tsp-host/line_editor.h"

using tooltest::Count;
using tooltest::InOrder;
using tooltest::ReadFile;
using tooltest::RunTool;
using tooltest::ToolProcess;
using tooltest::ToolResult;
using tooltest::WriteTwoLines;

namespace {

std::string OwnAddress() {
  return tooltest::OwnLoopbackAddress(79);
}

class TspHostTest : public tooltest::ScratchDirTest {
 protected:
  // tsp-host with OMBIX.TSP and two lines against that switch.
  std::unique_ptr<ToolProcess> StartHost(
      ToolProcess::Streams streams = ToolProcess::Streams::kPipes) {
    WriteTwoLines(dir_ + "/registry.reg", OwnAddress());
    return std::make_unique<ToolProcess>(
        TSP_HOST_PATH,
        std::vector<std::string>{OMBIX_TSP_PATH, "--registry", dir_ + "/registry.reg"},
        std::map<std::string, std::string>{{"HOME", dir_ + "/home"}}, streams);
  }
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
  // The switch holds its answer to the call back until told, so that the call's completion
  // comes only after the second wait has begun; its log tells when it holds the call.
  const auto sim = tooltest::StartSwitch(OwnAddress(), {"--verbose"});
  sim->Write("defer OMBIX_MAKE_CALL_REQ\n");
  ASSERT_NE(sim->ReadLineWith("ok"), "");
  const auto host = StartHost();
  host->Write(
      "# the line logs in to the switch when it opens\n"
      "init\nopen 0\nwait\n"
      "   # 200 calls 201  \n"
      "make 0 201\nwait\nshutdown\n");
  const size_t make = host->WaitFor("> make 0 201\n");
  ASSERT_NE(make, std::string::npos) << host->Output();
  ASSERT_NE(host->WaitFor("> wait\n", make), std::string::npos) << host->Output();
  ASSERT_TRUE(sim->ReadErrorUntil("held back: OMBIX_MAKE_CALL_REQ")) << host->Output();
  sim->Write("release\n");
  const ToolResult result = host->Finish();
  EXPECT_EQ(result.exit_code, 0) << result.err;
  EXPECT_TRUE(InOrder(
      result.out,
      {"loaded OMBIX.TSP", "\n# the line logs in to the switch when it opens\n> init\n",
       "lineOpen(0, 0x00020001) = 0", "> wait\n", "wait: no request pending\n",
       "# 200 calls 201\n> make 0 201\n", "lineMakeCall(0, \"201\") = 1 (request 1)", "> wait\n",
       "completion request 1: 0\n", "wait: request 1 completed\n", "> shutdown\n"}))
      << result.out;
}

// sleep pauses, printing the switch's events as they come: it is still pausing when an event
// and then a signal come, which ends it and tsp-host.
TEST_F(TspHostTest, SleepPausesUntilItsTimeOrASignal) {
  const auto sim = tooltest::StartSwitch(OwnAddress());
  const auto host = StartHost();
  host->Write("sleep 1\ninit\nopen 0\nstatusmsgs 0 0x00100030 0\nsleep 600000\n");
  const size_t sleep = host->WaitFor("> sleep 600000\n");
  ASSERT_NE(sleep, std::string::npos) << host->Output();
  sim->Write("messages 200 1\n");
  EXPECT_NE(host->WaitFor("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITON", sleep),
            std::string::npos)
      << host->Output();
  host->Signal(SIGINT);
  const ToolResult result = host->Finish();
  EXPECT_EQ(result.exit_code, 130);
  EXPECT_TRUE(
      InOrder(result.out, {"> sleep 1\n> init\n", "lineOpen(0, 0x00020001) = 0", "> sleep 600000\n",
                           "LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITON",
                           "sleep: ended by SIGINT\n", "interrupted by SIGINT"}));
}

// What a shell does to the terminal while the program is stopped.
void MakeCooked(int terminal) {
  termios modes{};
  ASSERT_EQ(tcgetattr(terminal, &modes), 0);
  modes.c_lflag |= ICANON | ECHO;
  ASSERT_EQ(tcsetattr(terminal, TCSANOW, &modes), 0);
}

bool IsCooked(int terminal) {
  termios modes{};
  return tcgetattr(terminal, &modes) == 0 && (modes.c_lflag & ICANON) != 0 &&
         (modes.c_lflag & ECHO) != 0;
}

// While the user types at the prompt, the switch's events are printed above it as they come,
// and the prompt with the half-typed line is drawn again below them; the line then runs as
// typed.
TEST_F(TspHostTest, EventsAppearAboveThePromptWhileTheUserTypes) {
  const auto sim = tooltest::StartSwitch(OwnAddress());
  const auto host = StartHost(ToolProcess::Streams::kTerminal);
  size_t at = 0;
  auto command = [&](const std::string& line, const std::string& answer) {
    ASSERT_NE(at = host->WaitFor("tsp> ", at), std::string::npos) << host->Output();
    host->Write(line + "\n");
    ASSERT_NE(at = host->WaitFor(answer, at), std::string::npos) << host->Output();
  };
  command("init", "providerInit(");
  command("open 0", "lineOpen(0, 0x00020001) = 0");
  command("statusmsgs 0 0x00100030 0", "lineSetStatusMessages(0, ");
  ASSERT_NE(at = host->WaitFor("tsp> ", at), std::string::npos) << host->Output();

  // Half a command, with a typing error mended.
  host->Write("stq\x7f");
  host->Write("a");
  ASSERT_NE(at = host->WaitFor("sta", at), std::string::npos) << host->Output();
  sim->Write("messages 200 2\n");
  const size_t event = host->WaitFor("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITON", at);
  ASSERT_NE(event, std::string::npos) << host->Output();
  // The prompt line was erased for the event, and is back below it with what was typed.
  const std::string erase = tsphost::EraseShown(tsphost::TextColumns("tsp> sta"), 80);
  ASSERT_GE(event, erase.size());
  EXPECT_EQ(host->Output().substr(event - erase.size(), erase.size()), erase) << host->Output();
  ASSERT_NE(at = host->WaitFor("\ntsp> sta", event), std::string::npos) << host->Output();
  EXPECT_EQ(host->Output().find("> status", event), std::string::npos);

  // Stopped and continued, as Ctrl-Z and fg do, with the terminal reset meanwhile: the prompt
  // comes back with the half-typed line and echoes once.
  host->Signal(SIGSTOP);
  MakeCooked(host->Terminal());
  host->Signal(SIGCONT);
  ASSERT_NE(at = host->WaitFor("tsp> sta", at + std::string("\ntsp> sta").size()),
            std::string::npos)
      << host->Output();
  host->Write("tus 0\n");
  ASSERT_NE(at = host->WaitFor("lineGetLineDevStatus(0) = 0", at), std::string::npos)
      << host->Output();
  EXPECT_EQ(Count(host->Output(), "tus 0"), 1u) << host->Output();
  ASSERT_NE(at = host->WaitFor("tsp> ", at), std::string::npos) << host->Output();
  host->Write("\x04");  // Ctrl-D on the empty line ends the input
  EXPECT_EQ(host->Finish().exit_code, 0) << host->Output();
  EXPECT_NE(host->Output().find("unloaded OMBIX.TSP", at), std::string::npos) << host->Output();
  // The terminal is left as it was found.
  EXPECT_TRUE(IsCooked(host->Terminal()));
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
