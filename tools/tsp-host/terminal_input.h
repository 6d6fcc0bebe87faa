// Commands typed at tsp-host's prompt on a terminal. While it waits for a line, the terminal
// does not echo or collect lines itself (no ICANON, no ECHO; signals stay on, so Ctrl-C still
// sends SIGINT): tsp-host keeps the line being typed (line_editor.h) and prints the provider's
// events and completions above the prompt as they come. Between lines the terminal is as it
// was, so that a dialog on the terminal reads it normally and an ending signal leaves it usable.
// After a stop (Ctrl-Z) and fg, the prompt sets the terminal up again and draws itself anew.
#pragma once

#include <string>

#include "tools/tsp-host/interrupt.h"
#include "tools/tsp-host/line_editor.h"

namespace tsphost {

class TerminalInput {
 public:
  TerminalInput(int fd, std::string prompt) : m_fd(fd), m_prompt(std::move(prompt)) {}
  // Shows the prompt and returns the next line typed (kError leaves errno set).
  InputLines::Result Next(std::string& line);

 private:
  // Feeds the bytes read and not yet used to the editor; true when they completed a line or
  // ended the input, with *pResult set.
  bool FeedPending(std::string& line, InputLines::Result* pResult);

  int m_fd;
  std::string m_prompt;
  LineEditor m_editor;
  std::string m_pending;  // bytes read after the last completed line
};

}  // namespace tsphost
