// tsp-host's prompt on a terminal.
#include "tools/tsp-host/terminal_input.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include "tools/tsp-host/output.h"

namespace tsphost {
namespace {

// The terminal set for the prompt while it lives; as it was again afterwards.
class PromptMode {
 public:
  explicit PromptMode(int fd) : m_fd(fd) {
    if (tcgetattr(fd, &m_saved) != 0) return;
    termios raw = m_saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    m_bSet = tcsetattr(fd, TCSANOW, &raw) == 0;
  }
  ~PromptMode() {
    if (m_bSet) tcsetattr(m_fd, TCSANOW, &m_saved);
  }
  PromptMode(const PromptMode&) = delete;
  PromptMode& operator=(const PromptMode&) = delete;

 private:
  int m_fd;
  termios m_saved{};
  bool m_bSet = false;
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
  const PromptMode mode(m_fd);
  ShowPrompt(m_prompt, m_editor.Typed());
  InputLines::Result result = InputLines::Result::kLine;
  for (;;) {
    if (InterruptSignal() != 0) {
      result = InputLines::Result::kInterrupted;
      break;
    }
    if (FeedPending(line, &result)) break;
    pollfd fds[3] = {{m_fd, POLLIN, 0}, {QueueWakeupFd(), POLLIN, 0}, {InterruptFd(), POLLIN, 0}};
    if (poll(fds, 3, -1) < 0) {
      if (errno == EINTR) continue;
      result = InputLines::Result::kError;
      break;
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
