// The built OMBIX.TSP in tsp-host against switch-sim, each in its own process, as the telephony
// service and the switch would run it: start, open both lines (login, monitors, phone state),
// phone events reaching TAPI, a lost link and its recovery, a shutdown right after it, a refused
// login shown to the user on the next request, and the start and stop transcript. Each test has a
// switch of its own, on a loopback address of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A program with its standard input and output on pipes; standard error is kept in a file.
class Child {
 public:
  Child(std::vector<std::string> args, const std::string& errFile) {
    int in[2];
    int out[2];
    // Close-on-exec: no child may hold another one's pipe open.
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    m_pid = fork();
    if (m_pid == 0) {
      dup2(in[0], 0);
      dup2(out[1], 1);
      const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (err >= 0) dup2(err, 2);
      std::vector<char*> argv;
      for (std::string& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_in = in[1];
    m_out = out[0];
  }
  ~Child() {
    if (m_in >= 0) close(m_in);
    if (m_out >= 0) close(m_out);
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, nullptr, 0);
    }
  }
  bool Started() const { return m_pid > 0; }
  void Send(const std::string& line) {
    const std::string text = line + "\n";
    ASSERT_EQ(write(m_in, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  }
  // Waits up to 20 s for a line from index nFrom on that holds the text; its index, or -1.
  // pfnNudge, when given, runs whenever nothing came for a while (tsp-host prints the events
  // it queued only between commands).
  int WaitFor(const std::string& text, size_t nFrom = 0, void (Child::*pfnNudge)() = nullptr) {
    const auto end = Clock::now() + std::chrono::seconds(20);
    for (;;) {
      for (size_t i = nFrom; i < m_lines.size(); ++i) {
        if (m_lines[i].find(text) != std::string::npos) return static_cast<int>(i);
      }
      if (Clock::now() >= end) return -1;
      if (!ReadSome(200) && pfnNudge != nullptr) (this->*pfnNudge)();
    }
  }
  void PrintQueued() { Send("wait 0"); }
  size_t LineCount() const { return m_lines.size(); }
  const std::string& Line(int nIndex) const { return m_lines[static_cast<size_t>(nIndex)]; }
  // Closes standard input and waits for the exit status (-1: killed or not ended in time).
  int Finish() {
    close(m_in);
    m_in = -1;
    const auto end = Clock::now() + std::chrono::seconds(20);
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
  std::string Transcript() const {
    std::string all;
    for (const std::string& line : m_lines) all += line + "\n";
    return all + m_partial;
  }

 private:
  bool ReadSome(int nMillis) {
    pollfd pfd{m_out, POLLIN, 0};
    if (poll(&pfd, 1, nMillis) <= 0) return false;
    char buffer[4096];
    const ssize_t n = read(m_out, buffer, sizeof(buffer));
    if (n <= 0) return false;
    m_partial.append(buffer, static_cast<size_t>(n));
    for (size_t pos; (pos = m_partial.find('\n')) != std::string::npos;) {
      m_lines.push_back(m_partial.substr(0, pos));
      m_partial.erase(0, pos + 1);
    }
    return true;
  }

  pid_t m_pid = -1;
  int m_in = -1;
  int m_out = -1;
  std::vector<std::string> m_lines;
  std::string m_partial;
};

class SwitchLineE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_IGN);
    m_dir = std::filesystem::temp_directory_path() / ("ombix-e2e-" + std::to_string(getpid()));
    std::filesystem::create_directories(m_dir);
    // The provider always calls the switch's port; an address of its own keeps this run apart
    // from any other switch on this machine.
    const unsigned pid = static_cast<unsigned>(getpid());
    address = "127.77." + std::to_string((pid >> 8) & 0xFF) + "." + std::to_string(2 + pid % 250);
    WriteRegistry({{"200", "1234"}, {"201", "1234"}});
  }
  // Two lines, each a phone number and its password, on the switch at address.
  void WriteRegistry(const std::pair<std::string, std::string> (&lines)[2]) {
    std::ofstream registry(m_dir / "registry.reg");
    registry << "REGEDIT4\n\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\"
                "VOIP Service Provider (Z9410)\\Device1]\n"
                "\"Lines\"=dword:00000002\n\"IP1\"=\""
             << address << "\"\n\"IP2\"=\"\"\n";
    for (int i = 0; i < 2; ++i) {
      registry << "\"Line." << i << ".Number\"=\"" << lines[i].first << "\"\n\"Line." << i
               << ".Password\"=\"" << lines[i].second << "\"\n";
    }
  }
  void TearDown() override { std::filesystem::remove_all(m_dir); }
  std::string Path(const char* name) const { return (m_dir / name).string(); }
  std::string Read(const std::string& name) const {
    std::ifstream in(m_dir / name);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string address;

 private:
  std::filesystem::path m_dir;
};

TEST_F(SwitchLineE2E, TwoLinesLogInHearTheirPhonesAndRecoverFromALostLink) {
  Child sim({SWITCH_SIM_PATH, "--address", address, "--quiet"}, Path("sim.err"));
  ASSERT_TRUE(sim.Started());
  ASSERT_GE(sim.WaitFor("listening on " + address), 0) << sim.Transcript();
  Child host({TSP_HOST_PATH, "--provider", OMBIX_TSP_PATH, "--registry", Path("registry.reg")},
             Path("host.err"));
  ASSERT_TRUE(host.Started());
  auto event = [&](const std::string& expected, size_t nFrom = 0) {
    ASSERT_GE(host.WaitFor(expected, nFrom, &Child::PrintQueued), 0) << host.Transcript();
  };
  auto step = [&](const std::string& command, const std::string& expected) {
    host.Send(command);
    ASSERT_GE(host.WaitFor(expected), 0) << host.Transcript();
  };

  step("enum", "providerEnumDevices(1) = 0, lines 2");
  step("init", "providerInit(0x00020001, 1, line base 0, phone base 0, 2 lines, 0 phones) = 0");
  step("open 0", "lineOpen(0, 0x00020001) = 0");
  step("open 1", "lineOpen(1, 0x00020001) = 0");
  // Both phones were queried: each line is in service with its phone's state.
  step("status 1", "status flags LINEDEVSTATUSFLAGS_CONNECTED|LINEDEVSTATUSFLAGS_INSERVICE");
  // Message waiting, forwarding and capability changes reach TAPI from here on.
  for (const char* line : {"0", "1"}) {
    step(std::string("statusmsgs ") + line + " 0x00100030 0x140",
         std::string("lineSetStatusMessages(") + line + ", LINEDEVSTATE_MSGWAITON|");
  }
  sim.Send("messages 200 2");
  event("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITON");
  sim.Send("forward 201 busy 555");
  event("LINE_ADDRESSSTATE line 1: address 0 LINEADDRESSSTATE_FORWARD");

  // The link drops; the provider logs in again and restarts both monitors, whose phone
  // configurations arrive anew.
  const size_t nBefore = host.LineCount();
  sim.Send("disconnect");
  for (const char* line : {"0", "1"}) {
    event(std::string("LINE_ADDRESSSTATE line ") + line + ": address 0 LINEADDRESSSTATE_CAPSCHANGE",
          nBefore);
  }
  // The new monitor hears the phone.
  sim.Send("messages 200 0");
  event("LINE_LINEDEVSTATE line 0: LINEDEVSTATE_MSGWAITOFF", nBefore);

  // Shut down while the calls are still being checked after the reconnect.
  step("shutdown", "providerShutdown(0x00020001, 1) = 0");
  EXPECT_EQ(host.Finish(), 0) << host.Transcript();
  EXPECT_GE(host.WaitFor("unloaded OMBIX.TSP"), 0) << host.Transcript();
}

TEST_F(SwitchLineE2E, ARefusedLoginIsShownToTheUserOnTheNextRequest) {
  Child sim({SWITCH_SIM_PATH, "--address", address, "--quiet", "--login", "refuse=13"},
            Path("sim.err"));
  ASSERT_TRUE(sim.Started());
  ASSERT_GE(sim.WaitFor("listening on " + address), 0) << sim.Transcript();
  // The user side runs where nobody can answer: the box goes to standard error.
  Child host({TSP_HOST_PATH, "--dialogs", "none", "--provider", OMBIX_TSP_PATH, "--registry",
              Path("registry.reg")},
             Path("host.err"));
  ASSERT_TRUE(host.Started());
  auto step = [&](const std::string& command, const std::string& expected) {
    host.Send(command);
    ASSERT_GE(host.WaitFor(expected), 0) << host.Transcript();
  };
  step("enum", "providerEnumDevices(1) = 0, lines 2");
  step("init", "providerInit(0x00020001, 1, line base 0, phone base 0, 2 lines, 0 phones) = 0");
  step("open 0", "lineOpen(0, 0x00020001) = 0");
  step("make 0 201", "lineMakeCall(0, \"201\") = LINEERR_INVALLINESTATE");
  step("wait 0", "TUISPI_providerGenericDialog = 0");
  // The dialog names its UI library by a path the loader here can open: the provider itself.
  const int nDialog = host.WaitFor("LINE_CREATEDIALOGINSTANCE");
  ASSERT_GE(nDialog, 0) << host.Transcript();
  const std::string dialog = host.Line(nDialog);
  const size_t nFrom = dialog.find("UI library \"");
  ASSERT_NE(nFrom, std::string::npos) << dialog;
  const size_t nStart = nFrom + std::string("UI library \"").size();
  const std::string library = dialog.substr(nStart, dialog.find('"', nStart) - nStart);
  std::error_code error;
  EXPECT_TRUE(std::filesystem::equivalent(library, OMBIX_TSP_PATH, error)) << dialog;
  step("shutdown", "providerShutdown(0x00020001, 1) = 0");
  EXPECT_EQ(host.Finish(), 0) << host.Transcript();
  EXPECT_NE(Read("host.err")
                .find("The Telephony Server has denied your login attempt.\n\n"
                      "Please contact your System Administrator."),
            std::string::npos)
      << Read("host.err");
}

// The telephony service starts the provider, opens a line and stops it again (the script and
// the transcript expected of it are files beside this test), against a switch of its own.
TEST_F(SwitchLineE2E, StartOpenAndStopGiveTheExpectedTranscript) {
  WriteRegistry({{"2001", "secret0"}, {"2002", "secret1"}});
  Child sim(
      {SWITCH_SIM_PATH, "--address", address, "--phone", "2001:secret0", "--phone", "2002:secret1"},
      Path("sim.err"));
  ASSERT_TRUE(sim.Started());
  ASSERT_GE(sim.WaitFor("listening on " + address), 0) << sim.Transcript();
  const std::string script = std::string(E2E_SOURCE_DIR) + "/tsp_host_start_stop";
  Child host({TSP_HOST_PATH, "--provider", OMBIX_TSP_PATH, "--registry", Path("registry.reg"),
              "--script", script + ".txt", "--wait", "5000"},
             Path("host.err"));
  ASSERT_TRUE(host.Started());
  EXPECT_EQ(host.Finish(), 0) << Read("host.err");
  EXPECT_EQ(host.Transcript(), Read(script + ".expected")) << Read("host.err");
  // The open was this switch's: its log tells of the session.
  const std::string log = Read("sim.err");
  const size_t login = log.find("switch-sim: session 1: login from ");
  EXPECT_NE(login, std::string::npos) << log;
  EXPECT_LT(log.find(" accepted\n", login), log.find('\n', login)) << log;
}

}  // namespace
