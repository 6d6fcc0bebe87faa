#include "tests/tools/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace tooltest {

ToolProcess::ToolProcess(const std::string& path, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env, Streams streams) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name == "HOME" || name == "XDG_CONFIG_HOME" || name == "OMBIX_REGISTRY") continue;
    if (env.count(name) != 0) continue;
    environment.push_back(text);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);

  int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1};
  std::string terminal_name;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  short flags = POSIX_SPAWN_SETSIGDEF;
  if (streams == Streams::kTerminal) {
    terminal_ = OpenTerminal(terminal_name);
    if (terminal_ < 0) throw std::runtime_error("pseudo-terminal");
    // The tool opens the terminal after its setsid, which makes it the controlling one. This
    // side keeps the terminal side closed, so that the output ends when the tool's does.
    flags |= POSIX_SPAWN_SETSID;
    posix_spawn_file_actions_addopen(&actions, 0, terminal_name.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_adddup2(&actions, 0, 2);
  } else {
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  }
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  // The tool gets the default SIGPIPE, which the test ignores (a tool may stop reading early).
  signal(SIGPIPE, SIG_IGN);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, flags);
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (streams == Streams::kTerminal) {
    // Reading and writing go through descriptors of their own: the terminal stays open for its
    // modes after the output has ended.
    in_ = fcntl(terminal_, F_DUPFD_CLOEXEC, 0);
    output_.Attach(fcntl(terminal_, F_DUPFD_CLOEXEC, 0), -1);
  } else {
    close(in[0]);
    close(out[1]);
    close(err[1]);
    in_ = in[1];
    output_.Attach(out[0], err[0]);
  }
  if (rc != 0) throw std::runtime_error(path + ": " + std::strerror(rc));
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Finish();
  }
  CloseInput();
  if (terminal_ >= 0) close(terminal_);
}

void ToolProcess::Write(const std::string& text) {
  size_t done = 0;
  while (in_ >= 0 && done < text.size()) {
    const ssize_t n = write(in_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // the tool stopped reading
    done += static_cast<size_t>(n);
  }
}

void ToolProcess::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

namespace {

// How long a tool may keep a test waiting for its output or its end.
constexpr auto kPatience = std::chrono::seconds(60);
// How long nothing comes before a waiting reader asks the tool for more.
constexpr auto kIdle = std::chrono::milliseconds(200);

using Clock = std::chrono::steady_clock;

int MsecsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

int OpenTerminal(std::string& name) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  char buffer[128];
  // A size of its own, so that what a tool draws does not depend on where the test runs.
  const winsize size{24, 80, 0, 0};
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 ||
      ptsname_r(master, buffer, sizeof buffer) != 0 || ioctl(master, TIOCSWINSZ, &size) != 0) {
    if (master >= 0) close(master);
    return -1;
  }
  name = buffer;
  return master;
}

OutputReader::~OutputReader() {
  if (out_ >= 0) close(out_);
  if (err_ >= 0) close(err_);
}

bool OutputReader::ReadSome(Clock::time_point deadline) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (Ended()) return false;
  const int ready = poll(fds, 2, MsecsLeft(deadline));
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return false;
  char buffer[65536];
  for (pollfd& fd : fds) {
    if (fd.fd < 0 || fd.revents == 0) continue;
    const ssize_t n = read(fd.fd, buffer, sizeof buffer);
    if (n > 0) {
      (fd.fd == out_ ? out : err).append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {  // a terminal whose other side closed says EIO
      close(fd.fd);
      (fd.fd == out_ ? out_ : err_) = -1;
    }
  }
  return true;
}

size_t OutputReader::WaitFor(const std::string& text, size_t from,
                             const std::function<void()>& idle) {
  const auto deadline = Clock::now() + kPatience;
  for (;;) {
    const size_t at = out.find(text, from);
    if (at != std::string::npos) return at;
    if (ReadSome(idle ? std::min(deadline, Clock::now() + kIdle) : deadline)) continue;
    if (Ended() || Clock::now() >= deadline) return std::string::npos;
    idle();
  }
}

std::string OutputReader::ReadLineWith(const std::string& text) {
  const auto deadline = Clock::now() + kPatience;
  for (;;) {
    const size_t at = out.find(text);
    const size_t end = at == std::string::npos ? at : out.find('\n', at);
    if (end != std::string::npos) {
      const size_t begin = out.rfind('\n', at) + 1;  // 0 when no line comes before
      return out.substr(begin, end - begin);
    }
    if (!ReadSome(deadline)) return "";
  }
}

bool OutputReader::ReadErrorUntil(const std::string& text) {
  const auto deadline = Clock::now() + kPatience;
  while (err.find(text) == std::string::npos) {
    if (!ReadSome(deadline)) return false;
  }
  return true;
}

bool OutputReader::ReadToEnd() {
  const auto deadline = Clock::now() + kPatience;
  while (ReadSome(deadline)) {
  }
  return Ended();
}

ToolResult ToolProcess::Finish() {
  CloseInput();
  // A tool that has not ended by now never will: it is ended, and the test sees the signal.
  if (!output_.ReadToEnd()) kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status)) result_.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  result_.out = output_.out;
  result_.err = output_.err;
  return result_;
}

}  // namespace tooltest
