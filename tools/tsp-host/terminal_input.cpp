// tsp-host's prompt on a terminal.
#include "tools/tsp-host/terminal_input.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tools/tsp-host/output.h"

namespace tsphost {
namespace {

// Written to when tsp-host continues after a stop (Ctrl-Z, then fg): the shell has set the
// terminal back to its own ways meanwhile.
int g_fdContinued[2] = {-1, -1};

extern "C" void OnContinued(int) {
  const int nSavedErrno = errno;
  const char byte = 1;
  if (write(g_fdContinued[1], &byte, 1) < 0) {
    // The pipe is full: a wake-up is waiting already.
  }
  errno = nSavedErrno;
}

// -1 when it cannot be had; the prompt then does without.
int ContinuedFd() {
  static const bool bInstalled = [] {
    if (pipe2(g_fdContinued, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action = {};
    action.sa_handler = &OnContinued;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return sigaction(SIGCONT, &action, nullptr) == 0;
  }();
  return bInstalled ? g_fdContinued[0] : -1;
}

void DrainContinued() {
  char bytes[16];
  while (read(g_fdContinued[0], bytes, sizeof(bytes)) > 0) {
  }
}

// The terminal set for the prompt while it lives; as it was again afterwards.
class PromptMode {
 public:
  explicit PromptMode(int fd) : m_fd(fd) {
    if (tcgetattr(fd, &m_saved) != 0) return;
    m_bSaved = true;
    Apply();
  }
  ~PromptMode() {
    if (m_bSaved) tcsetattr(m_fd, TCSANOW, &m_saved);
  }
  PromptMode(const PromptMode&) = delete;
  PromptMode& operator=(const PromptMode&) = delete;

  // No line collecting and no echo of its own; signals stay.
  void Apply() {
    if (!m_bSaved) return;
    termios raw = m_saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(m_fd, TCSANOW, &raw);
  }

 private:
  int m_fd;
  termios m_saved{};
  bool m_bSaved = false;
};

}  // namespace

bool TerminalInput::FeedPending(std::string& line, InputLines::Result* pResult) {
  const std::string before = m_editor.Typed();
  size_t nUsed = 0;
  bool bDone = false;
  while (nUsed < m_pending.size() && !bDone) {
    switch (m_editor.Feed(m_pending[nUsed++])) {
      case LineEditor::Key::kLine:
        line = m_editor.TakeLine();
        *pResult = InputLines::Result::kLine;
        bDone = true;
        break;
      case LineEditor::Key::kEnd:
        *pResult = InputLines::Result::kEnd;
        bDone = true;
        break;
      default:
        break;
    }
  }
  m_pending.erase(0, nUsed);
  if (bDone) {
    // The completed line stays on the screen as typed.
    UpdatePrompt(*pResult == InputLines::Result::kLine ? line : m_editor.Typed());
  } else if (m_editor.Typed() != before) {
    UpdatePrompt(m_editor.Typed());
  }
  return bDone;
}

InputLines::Result TerminalInput::Next(std::string& line) {
  const int fdContinued = ContinuedFd();
  PromptMode mode(m_fd);
  ShowPrompt(m_prompt, m_editor.Typed());
  InputLines::Result result = InputLines::Result::kLine;
  for (;;) {
    if (InterruptSignal() != 0) {
      result = InputLines::Result::kInterrupted;
      break;
    }
    if (FeedPending(line, &result)) break;
    pollfd fds[4] = {{m_fd, POLLIN, 0},
                     {QueueWakeupFd(), POLLIN, 0},
                     {InterruptFd(), POLLIN, 0},
                     {fdContinued, POLLIN, 0}};
    if (poll(fds, 4, -1) < 0) {
      if (errno == EINTR) continue;
      result = InputLines::Result::kError;
      break;
    }
    if (fds[3].revents != 0) {
      // Back in the foreground: the prompt's terminal and the prompt itself again.
      DrainContinued();
      mode.Apply();
      ShowPrompt(m_prompt, m_editor.Typed());
    }
    if (fds[1].revents != 0) {
      DrainQueueWakeups();
      FlushQueuedLines();
    }
    if (fds[0].revents == 0) continue;
    char chunk[256];
    const ssize_t nRead = read(m_fd, chunk, sizeof(chunk));
    if (nRead < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      result = InputLines::Result::kError;
      break;
    }
    if (nRead == 0) {
      result = InputLines::Result::kEnd;
      break;
    }
    m_pending.append(chunk, static_cast<size_t>(nRead));
  }
  const int nSavedErrno = errno;
  EndPrompt();
  errno = nSavedErrno;
  return result;
}

}  // namespace tsphost
