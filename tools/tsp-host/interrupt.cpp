// tsp-host's signal handling and interruptible input.
#include "tools/tsp-host/interrupt.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace tsphost {
namespace {

std::atomic<int> g_nSignal{0};  // lock-free, so the handler may store to it
int g_fdWake[2] = {-1, -1};

constexpr int kEndSignals[] = {SIGINT, SIGTERM};

extern "C" void OnSignal(int nSignal) {
  const int nSavedErrno = errno;
  // Whichever comes second, of either kind, takes the default action: it ends the process.
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  for (int nEnd : kEndSignals) sigaction(nEnd, &action, nullptr);
  int nNone = 0;
  g_nSignal.compare_exchange_strong(nNone, nSignal);
  const char byte = 1;
  if (write(g_fdWake[1], &byte, 1) < 0) {
    // The pipe is full: a byte is waiting already.
  }
  errno = nSavedErrno;
}

}  // namespace

bool InstallInterruptHandlers() {
  if (pipe2(g_fdWake, O_CLOEXEC | O_NONBLOCK) != 0) return false;
  struct sigaction action = {};
  action.sa_handler = &OnSignal;
  // Both held back while the handler runs, so that the second finds the default action.
  sigemptyset(&action.sa_mask);
  for (int nEnd : kEndSignals) sigaddset(&action.sa_mask, nEnd);
  // The provider's threads may be inside system calls; theirs resume.
  action.sa_flags = SA_RESTART;
  for (int nEnd : kEndSignals) {
    if (sigaction(nEnd, &action, nullptr) != 0) return false;
  }
  return true;
}

int InterruptSignal() {
  return g_nSignal.load();
}

int InterruptFd() {
  return g_fdWake[0];
}

std::string InterruptName(int nSignal) {
  return nSignal == SIGINT ? "SIGINT" : nSignal == SIGTERM ? "SIGTERM" : std::to_string(nSignal);
}

InputLines::Result InputLines::Next(std::string& line) {
  for (;;) {
    if (InterruptSignal() != 0) return Result::kInterrupted;
    const size_t newline = m_buffer.find('\n');
    if (newline != std::string::npos) {
      line = m_buffer.substr(0, newline);
      m_buffer.erase(0, newline + 1);
      return Result::kLine;
    }
    if (m_bEnd) {
      if (m_buffer.empty()) return Result::kEnd;
      line.swap(m_buffer);
      m_buffer.clear();
      return Result::kLine;
    }
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {g_fdWake[0], POLLIN, 0}};
    const nfds_t nFds = g_fdWake[0] >= 0 ? 2 : 1;
    if (poll(fds, nFds, -1) < 0) {
      if (errno == EINTR) continue;
      return Result::kError;
    }
    if (fds[0].revents == 0) continue;  // the wake-up pipe: the signal is seen above
    char chunk[4096];
    const ssize_t nRead = read(m_fd, chunk, sizeof(chunk));
    if (nRead < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      return Result::kError;
    }
    if (nRead == 0) m_bEnd = true;
    m_buffer.append(chunk, static_cast<size_t>(nRead));
  }
}

}  // namespace tsphost
