#include "tests/tools/tool_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace tooltest {

ToolProcess::ToolProcess(const std::string& path, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name == "HOME" || name == "XDG_CONFIG_HOME" || name == "OMBIX_REGISTRY") continue;
    if (env.count(name) != 0) continue;
    environment.push_back(text);
  }
  for (const auto& [name, value] : env) environment.push_back(name + "=" + value);

  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv{const_cast<char*>(path.c_str())};
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  // The tool gets the default SIGPIPE, which the test ignores (a tool may stop reading early).
  signal(SIGPIPE, SIG_IGN);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const int rc = posix_spawn(&pid_, path.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_ = out[0];
  err_ = err[0];
  if (rc != 0) throw std::runtime_error(path + ": " + std::strerror(rc));
}

ToolProcess::~ToolProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    Finish();
  }
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

// How long a tool may keep a test waiting for its output or its end: far beyond any healthy run,
// so that a hung tool fails its test with what it wrote rather than stopping the suite.
constexpr auto kPatience = std::chrono::seconds(60);

using Clock = std::chrono::steady_clock;

int MsecsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool ToolProcess::ReadSome(Clock::time_point deadline) {
  pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
  if (out_ < 0 && err_ < 0) return false;
  const int ready = poll(fds, 2, MsecsLeft(deadline));
  if (ready < 0) return errno == EINTR;
  if (ready == 0) return false;  // out of patience
  char buffer[65536];
  for (pollfd& fd : fds) {
    if (fd.fd < 0 || fd.revents == 0) continue;
    const ssize_t n = read(fd.fd, buffer, sizeof buffer);
    if (n > 0) {
      (fd.fd == out_ ? result_.out : result_.err).append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      close(fd.fd);
      (fd.fd == out_ ? out_ : err_) = -1;
    }
  }
  return true;
}

bool ToolProcess::ReadUntil(const std::string& text) {
  const auto deadline = Clock::now() + kPatience;
  while (result_.out.find(text) == std::string::npos) {
    if (!ReadSome(deadline)) return false;
  }
  return true;
}

void ToolProcess::Signal(int signal) {
  kill(pid_, signal);
}

std::string ToolProcess::ReadLineWith(const std::string& text) {
  const auto deadline = Clock::now() + kPatience;
  for (;;) {
    const size_t at = result_.out.find(text);
    const size_t end = at == std::string::npos ? at : result_.out.find('\n', at);
    if (end != std::string::npos) {
      const size_t begin = result_.out.rfind('\n', at);
      return result_.out.substr(begin == std::string::npos ? 0 : begin + 1,
                                end - (begin == std::string::npos ? 0 : begin + 1));
    }
    if (!ReadSome(deadline)) return "";
  }
}

ToolResult ToolProcess::Finish() {
  CloseInput();
  const auto deadline = Clock::now() + kPatience;
  while (ReadSome(deadline)) {
  }
  // A tool that has not ended by now never will: it is ended, and the test sees the signal.
  if (out_ >= 0 || err_ >= 0) kill(pid_, SIGKILL);
  int status = 0;
  while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  if (WIFEXITED(status)) result_.exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result_.signal = WTERMSIG(status);
  return result_;
}

ToolResult RunTool(const std::string& path, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env, const std::string& input) {
  ToolProcess tool(path, args, env);
  tool.Write(input);
  return tool.Finish();
}

}  // namespace tooltest
