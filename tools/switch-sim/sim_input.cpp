// switch-sim's standard input; see sim_input.h.
#include "tools/switch-sim/sim_input.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

SimInputBuffer::SimInputBuffer(int fd, std::chrono::milliseconds recheck)
    : m_fd(fd), m_bTerminal(::isatty(fd) == 1), m_nRecheckMs(static_cast<int>(recheck.count())) {
  setg(m_buffer, m_buffer, m_buffer);
}

bool SimInputBuffer::InBackground() const {
  // Not the controlling terminal (tcgetpgrp fails): no job control applies, read it.
  const pid_t foreground = ::tcgetpgrp(m_fd);
  return foreground != -1 && foreground != ::getpgrp();
}

SimInputBuffer::int_type SimInputBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  for (;;) {
    if (m_bTerminal) {
      if (InBackground()) {
        ::poll(nullptr, 0, m_nRecheckMs);
        continue;
      }
      // Waits with a bound: the sim may be sent to the background while it waits.
      pollfd ready{m_fd, POLLIN, 0};
      const int nReady = ::poll(&ready, 1, m_nRecheckMs);
      if (nReady == 0 || (nReady < 0 && errno == EINTR) || InBackground()) continue;
    }
    const ssize_t nRead = ::read(m_fd, m_buffer, sizeof(m_buffer));
    if (nRead > 0) {
      setg(m_buffer, m_buffer, m_buffer + nRead);
      return traits_type::to_int_type(*gptr());
    }
    if (nRead == 0) return traits_type::eof();
    if (errno == EINTR) continue;
    if (m_bTerminal && errno == EIO) {
      // Sent to the background between the look and the read (SIGTTIN is ignored).
      ::poll(nullptr, 0, m_nRecheckMs);
      continue;
    }
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      pollfd ready{m_fd, POLLIN, 0};
      ::poll(&ready, 1, m_nRecheckMs);
      continue;
    }
    return traits_type::eof();
  }
}
