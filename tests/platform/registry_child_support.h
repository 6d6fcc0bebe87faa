// Child processes for registry tests that wait: pipes to step them, deadlines so that a hang
// fails instead of hanging, and other user and group numbers.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ombix::registry_test {

// Reached only by a hang, also on a loaded machine under the sanitizers.
inline constexpr std::chrono::milliseconds kDeadline{30000};

// One byte at a time from a process to another (made before the fork).
class Pipe {
 public:
  Pipe() {
    if (pipe2(fds_, O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    for (int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }
  void Send(char byte) const {
    if (write(fds_[1], &byte, 1) != 1) {
      // The other side is gone: its Receive has ended already.
    }
  }
  // The next byte, or 0 when none came within `limit`.
  char Receive(std::chrono::milliseconds limit = kDeadline) const {
    pollfd ready{fds_[0], POLLIN, 0};
    char byte = 0;
    if (poll(&ready, 1, static_cast<int>(limit.count())) != 1 || read(fds_[0], &byte, 1) != 1) {
      return 0;
    }
    return byte;
  }

 private:
  int fds_[2];
};

// The exit status of `pid` once it ends within `limit`; -1 when it dies of a signal or does not
// end in time (it is then killed).
inline int WaitWithin(pid_t pid, std::chrono::milliseconds limit = kDeadline) {
  const auto end = std::chrono::steady_clock::now() + limit;
  int status = 0;
  for (;;) {
    const pid_t ended = waitpid(pid, &status, WNOHANG);
    if (ended == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (ended < 0) return -1;
    if (std::chrono::steady_clock::now() >= end) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

// TRUE when the kernel lists a lock request of `pid` as waiting ("N: -> FLOCK ... PID ...").
inline bool WaitsForALock(pid_t pid) {
  std::ifstream locks("/proc/locks");
  for (std::string line; std::getline(locks, line);) {
    std::istringstream fields(line);
    std::string number, arrow, kind, mode, access;
    pid_t holder = 0;
    if (fields >> number >> arrow >> kind >> mode >> access >> holder && arrow == "->" &&
        holder == pid) {
      return true;
    }
  }
  return false;
}

// Waits until `pid` either reports through `done` or waits for a lock; FALSE when neither
// happens within `limit`.
inline bool FinishesOrWaitsForALock(pid_t pid, const Pipe& done,
                                    std::chrono::milliseconds limit = kDeadline) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (done.Receive(std::chrono::milliseconds(2)) != 0 || WaitsForALock(pid)) return true;
  }
  return false;
}

// Runs `body` in a child process as user `uid` with group `gid` and supplementary `groups`
// (numbers need no account); the child's exit status is body's, or 120 when it could not
// become that user.
inline pid_t SpawnAs(uid_t uid, gid_t gid, std::vector<gid_t> groups,
                     const std::function<int()>& body) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (setgroups(groups.size(), groups.data()) != 0 || setgid(gid) != 0 || setuid(uid) != 0) {
      _exit(120);
    }
    _exit(body());
  }
  return pid;
}

}  // namespace ombix::registry_test
