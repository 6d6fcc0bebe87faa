// Ctrl-C (SIGINT) and SIGTERM for tsp-host. The handler only records the signal and writes a
// byte to a pipe; the main thread, woken by the pipe while it waits for input or seeing the
// signal between commands, shuts the provider down itself once the command in progress has
// returned. A second such signal, of either kind, ends the process at once (the default action),
// for a provider that does not come back.
#pragma once

#include <string>

namespace tsphost {

// Installs the handlers; false (errno set) when the pipe or a handler cannot be made.
bool InstallInterruptHandlers();
// The signal that asked tsp-host to end, 0 while none did. Any thread.
int InterruptSignal();
// A descriptor that becomes readable when such a signal came (-1 before the handlers are
// installed), for a reader that waits for input.
int InterruptFd();
// "SIGINT" or "SIGTERM".
std::string InterruptName(int nSignal);

// The lines of a file descriptor, read as they come; reading ends early when a signal comes.
class InputLines {
 public:
  enum class Result { kLine, kEnd, kInterrupted, kError };
  explicit InputLines(int fd) : m_fd(fd) {}
  // The next line without its newline; kError leaves errno set.
  Result Next(std::string& line);

 private:
  int m_fd;
  std::string m_buffer;
  bool m_bEnd = false;
};

}  // namespace tsphost
