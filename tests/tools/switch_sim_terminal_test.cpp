// switch-sim beside a host in one terminal: started in the background it serves on and takes
// its commands once brought to the foreground; its log tells of sessions and errors, and of every
// datagram only when asked; input at its end ends the commands, not the serving.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "tests/tools/tool_process.h"
#include "tests/tools/tool_test_support.h"
#include "tests/tools/udp_peer.h"

using tooltest::ListeningPort;
using tooltest::LogIn;
using tooltest::ToolProcess;
using tooltest::ToolResult;
using tooltest::UdpPeer;

namespace {

TEST(SwitchSimLog, TellsOfSessionsAndOfDatagramsOnlyWhenAsked) {
  struct LogCase {
    std::vector<std::string> options;
    bool sessions;   // sessions beginning and ending, and listening again after a restart
    bool datagrams;  // a line per datagram, and the link's small print
    bool trace;      // dumps on standard output, after a note of whose side they show
  } cases[] = {{{}, true, false, false},
               {{"--verbose"}, true, true, false},
               {{"--quiet"}, false, false, false},
               {{"--trace"}, true, false, true}};
  for (const LogCase& c : cases) {
    SCOPED_TRACE(c.options.empty() ? "default" : c.options[0]);
    // Types and codes given by their names.
    std::vector<std::string> args{"--port", "0", "--result", "OMBIX_MAKE_CALL_REQ=none"};
    args.insert(args.end(), {"--result", "OMBIX_MONITOR_STOP_REQ=OMBIX_ERROR_INVALID_PASSWORD"});
    args.insert(args.end(), c.options.begin(), c.options.end());
    ToolProcess sim(SWITCH_SIM_PATH, args, {});
    const std::string listening = sim.ReadLineWith("listening on") + "\n";
    const int port = ListeningPort(listening);
    ASSERT_NE(port, 0);
    // A restart listens on the same port again, without a second listening line.
    sim.Write("restart\n");
    ASSERT_TRUE(sim.ReadUntil("ok\n"));
    sim.CloseInput();  // no more commands; the sim serves on

    UdpPeer client;
    ASSERT_TRUE(LogIn(client, port));
    client.Send(port, {1, OMBIX_DISCONNECT});
    // Handled in order: the answer to a new login comes after the disconnect was acted on, and
    // that of the second request after the first was left unanswered.
    ASSERT_TRUE(LogIn(client, port));
    client.Send(port, {1, OMBIX_MAKE_CALL_REQ, 7});
    client.Send(port, {2, OMBIX_MONITOR_STOP_REQ, 8});
    ASSERT_EQ(client.Receive(4),
              (std::vector<DWORD>{1, OMBIX_MONITOR_STOP_RSP, 8, OMBIX_ERROR_INVALID_PASSWORD}));
    sim.Signal(SIGTERM);
    const ToolResult result = sim.Finish();
    EXPECT_EQ(result.exit_code, 0) << result.err;

    // Standard output holds the listening line and the command's answer alone, or with --trace
    // the note and the dumps besides.
    EXPECT_EQ(tooltest::Count(result.out + result.err, "listening on"), 1u) << result.out;
    const std::string side = "the trace shows the client's side";
    if (c.trace) {
      EXPECT_TRUE(tooltest::InOrder(result.out, {side, listening, " Send "}));
      EXPECT_TRUE(tooltest::InOrder(result.out, {side, " Recv "}));
    } else {
      EXPECT_EQ(result.out, listening + "ok\n");
    }
    const std::string again =
        "switch-sim: listening again on 127.0.0.1 port " + std::to_string(port) + "\n";
    const std::string client_at = "127.0.0.1:" + std::to_string(client.port());
    const std::string session_lines[] = {
        again, "switch-sim: session 1: login from " + client_at + " accepted\n",
        "switch-sim: session 1 ended by the client\n",
        "switch-sim: session 2: login from " + client_at + " accepted\n"};
    for (const std::string& line : session_lines) {
      EXPECT_EQ(tooltest::Count(result.err, line), c.sessions ? 1u : 0u) << line << result.err;
    }
    const std::string datagram_lines[] = {
        "switch-sim: received " + client_at + " seq 0 OMBIX_LOGIN_REQ",
        "switch-sim: sent " + client_at + " seq 0 OMBIX_ACK",
        "switch-sim: received " + client_at + " seq 1 OMBIX_DISCONNECT",
        "switch-sim: left unanswered: OMBIX_MAKE_CALL_REQ\n"};
    for (const std::string& line : datagram_lines) {
      EXPECT_EQ(result.err.find(line) != std::string::npos, c.datagrams) << line << result.err;
    }
    if (c.options.empty()) {
      // Nothing else: the restart, the sessions and the sim's own stop.
      const std::string stopped = "switch-sim: stopped\n";
      EXPECT_EQ(result.err, stopped + session_lines[0] + session_lines[1] + session_lines[2] +
                                session_lines[3] + stopped);
    }
  }
}

// A terminal of the test's own (a pseudo-terminal) with a session on it: its leader holds the
// foreground, as a shell does, and runs switch-sim as a job in the background, which it brings to
// the foreground when told and ends with the test. What the test types is not echoed; with tostop
// ("stty tostop") a background job that writes to the terminal is stopped unless it ignores
// SIGTTOU.
class BackgroundJob {
 public:
  BackgroundJob(std::vector<std::string> args, bool tostop) {
    std::string name;
    master_ = tooltest::OpenTerminal(name);
    if (master_ < 0) return;
    int report[2];
    if (pipe2(go_, O_CLOEXEC) != 0 || pipe2(report, O_CLOEXEC) != 0) return;
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    // Only async-signal-safe calls between fork and exec.
    leader_ = fork();
    if (leader_ == 0) {
      close(go_[1]);
      close(report[0]);
      close(master_);
      setsid();
      const int tty = open(name.c_str(), O_RDWR);  // the session's controlling terminal, held by it
      termios modes{};
      tcgetattr(tty, &modes);
      modes.c_lflag &= ~static_cast<tcflag_t>(ECHO | TOSTOP);
      if (tostop) modes.c_lflag |= TOSTOP;
      tcsetattr(tty, TCSANOW, &modes);
      const pid_t job = fork();
      if (job == 0) {
        setpgid(0, 0);
        dup2(tty, 0);
        dup2(tty, 1);
        dup2(tty, 2);
        execv(argv[0], argv.data());
        _exit(127);
      }
      setpgid(job, job);
      (void)!write(report[1], &job, sizeof(job));
      // "g": to the foreground; the pipe's end: the test is over, the job too.
      for (char go = 0; read(go_[0], &go, 1) == 1;) tcsetpgrp(tty, job);
      kill(job, SIGKILL);
      waitpid(job, nullptr, 0);
      _exit(0);
    }
    close(report[1]);
    if (read(report[0], &job_, sizeof(job_)) != sizeof(job_)) job_ = -1;
    close(report[0]);
    shown_.Attach(fcntl(master_, F_DUPFD_CLOEXEC, 0), -1);
  }
  ~BackgroundJob() {
    if (job_ > 0) kill(job_, SIGKILL);
    if (go_[1] >= 0) close(go_[1]);
    if (leader_ > 0) waitpid(leader_, nullptr, 0);
    if (go_[0] >= 0) close(go_[0]);
    if (master_ >= 0) close(master_);
  }
  bool Started() const { return job_ > 0; }
  void Type(const std::string& text) {
    ASSERT_EQ(write(master_, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  void BringToForeground() { ASSERT_EQ(write(go_[1], "g", 1), 1); }
  // What the terminal showed (lines end in "\r\n"), until it holds text; whether it came.
  bool ReadUntil(const std::string& text) { return shown_.WaitFor(text) != std::string::npos; }
  const std::string& Shown() const { return shown_.out; }

 private:
  int master_ = -1;
  int go_[2] = {-1, -1};
  pid_t leader_ = -1;
  pid_t job_ = -1;
  tooltest::OutputReader shown_;
};

// A login answered while the sim is a background job of the terminal; a command typed then is
// taken once it is brought to the foreground, and it serves on.
TEST(SwitchSimTerminal, ServesInTheBackgroundAndTakesCommandsInTheForeground) {
  for (const bool tostop : {false, true}) {
    SCOPED_TRACE(tostop ? "stty tostop" : "stty -tostop");
    BackgroundJob sim({SWITCH_SIM_PATH, "--port", "0"}, tostop);
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.ReadUntil("listening on")) << sim.Shown();
    ASSERT_TRUE(sim.ReadUntil("\n")) << sim.Shown();
    const int port = ListeningPort(sim.Shown());
    ASSERT_NE(port, 0) << sim.Shown();

    UdpPeer client;
    EXPECT_TRUE(LogIn(client, port)) << sim.Shown();
    const std::string accepted =
        "session 1: login from 127.0.0.1:" + std::to_string(client.port()) + " accepted\r\n";
    EXPECT_TRUE(sim.ReadUntil(accepted)) << sim.Shown();
    EXPECT_EQ(sim.Shown().find("OMBIX_LOGIN_REQ"), std::string::npos) << sim.Shown();

    // Typed while the sim is in the background: it waits in the terminal until the sim is brought
    // to the foreground.
    sim.Type("frobnicate\n");
    sim.BringToForeground();
    EXPECT_TRUE(sim.ReadUntil("error: not understood: frobnicate\r\n")) << sim.Shown();
    // And it still serves.
    UdpPeer other;
    EXPECT_TRUE(LogIn(other, port)) << sim.Shown();
  }
}

}  // namespace
