// Ordered output of tsp-host.
#include "tools/tsp-host/output.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <deque>
#include <mutex>
#include <utility>

#include "tools/tsp-host/line_editor.h"
#include "tools/tsp-host/names.h"

namespace tsphost {
namespace {

constexpr size_t kWrapWidth = 100;

struct Prompt {
  bool bShown = false;
  std::string prompt;
  std::string typed;
};

std::mutex g_mutex;  // guards the prompt and standard output (main thread's)
Prompt g_prompt;
// The queue has a lock of its own, never held while writing: a provider thread that queues a
// line never waits for the terminal (a stopped or slow one).
std::mutex g_queue_mutex;
std::deque<std::string> g_queue;  // under g_queue_mutex
bool g_bWakeOnQueue = false;      // under g_queue_mutex: a prompt waits for input

// The wake-up pipe, made at first use; its write end is non-blocking, so a full pipe (a wake-up
// already waiting) never holds up a provider thread.
struct WakeupPipe {
  int fds[2] = {-1, -1};
  WakeupPipe() {
    if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) fds[0] = fds[1] = -1;
  }
};

WakeupPipe& Wakeup() {
  static WakeupPipe pipe;
  return pipe;
}

size_t TerminalColumns() {
  winsize size{};
  return ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

void WriteText(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
}

void ErasePromptLocked() {
  if (!g_prompt.bShown) return;
  WriteText(EraseShown(TextColumns(g_prompt.prompt + g_prompt.typed), TerminalColumns()));
}

void DrawPromptLocked() {
  if (g_prompt.bShown) WriteText(g_prompt.prompt + g_prompt.typed);
}

void WriteLocked(const std::string& line) {
  WriteText(line);
  std::fputc('\n', stdout);
}

std::deque<std::string> TakeQueue() {
  std::lock_guard<std::mutex> lock(g_queue_mutex);
  return std::exchange(g_queue, {});
}

// Whether a queued line wakes the prompt's wait. Set before the prompt takes the queue, so a
// line is either taken there or wakes the wait.
void WakeOnQueue(bool bWake) {
  std::lock_guard<std::mutex> lock(g_queue_mutex);
  g_bWakeOnQueue = bWake;
}

void WriteQueueLocked(std::deque<std::string> lines) {
  for (const std::string& line : lines) WriteLocked(line);
}

}  // namespace

void PrintLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ErasePromptLocked();
  WriteLocked(line);
  DrawPromptLocked();
  std::fflush(stdout);
}

void PrintWrapped(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ErasePromptLocked();
  for (const std::string& part : WrapText(line, kWrapWidth)) WriteLocked(part);
  DrawPromptLocked();
  std::fflush(stdout);
}

void QueueLine(const std::string& line) {
  std::lock_guard<std::mutex> lock(g_queue_mutex);
  g_queue.push_back(line);
  if (g_bWakeOnQueue && Wakeup().fds[1] >= 0) {
    const char byte = 1;
    if (write(Wakeup().fds[1], &byte, 1) < 0) {
      // The pipe is full: a wake-up is waiting already.
    }
  }
}

std::deque<std::string> TakeQueuedLines() {
  return TakeQueue();
}

void PrintQueuedLines(std::deque<std::string> lines) {
  if (lines.empty()) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  ErasePromptLocked();
  WriteQueueLocked(std::move(lines));
  DrawPromptLocked();
  std::fflush(stdout);
}

void FlushQueuedLines() {
  PrintQueuedLines(TakeQueue());
}

void ShowPrompt(const std::string& prompt, const std::string& typed) {
  std::lock_guard<std::mutex> lock(g_mutex);
  WakeOnQueue(true);
  // What was queued since the last flush goes above the prompt now: it set no wake-up.
  WriteQueueLocked(TakeQueue());
  g_prompt = Prompt{true, prompt, typed};
  DrawPromptLocked();
  std::fflush(stdout);
}

void UpdatePrompt(const std::string& typed) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_prompt.bShown) return;
  // Text added at the end is echoed; anything else draws the line again.
  if (typed.compare(0, g_prompt.typed.size(), g_prompt.typed) == 0) {
    WriteText(typed.substr(g_prompt.typed.size()));
  } else {
    ErasePromptLocked();
    WriteText(g_prompt.prompt + typed);
  }
  g_prompt.typed = typed;
  std::fflush(stdout);
}

void EndPrompt() {
  std::lock_guard<std::mutex> lock(g_mutex);
  WakeOnQueue(false);
  if (!g_prompt.bShown) return;
  g_prompt = Prompt{};
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

int QueueWakeupFd() {
  return Wakeup().fds[0];
}

void DrainQueueWakeups() {
  char bytes[64];
  while (Wakeup().fds[0] >= 0 && read(Wakeup().fds[0], bytes, sizeof(bytes)) > 0) {
  }
}

}  // namespace tsphost
