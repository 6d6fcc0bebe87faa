// The line being typed at tsp-host's prompt, kept by tsp-host itself so that lines printed while
// the user types can go above the prompt and the prompt with the typed text be drawn again below
// them. Minimal on purpose: printable characters, backspace, Enter, Ctrl-D on an empty line;
// escape sequences (arrow keys and the like) are swallowed, other control characters ignored.
// Ctrl-C stays the terminal's: it sends SIGINT.
#pragma once

#include <cstddef>
#include <string>

namespace tsphost {

class LineEditor {
 public:
  enum class Key {
    kNone,      // nothing changed
    kAppended,  // text was added at the end (echo it)
    kChanged,   // text was taken away (draw the line again)
    kLine,      // Enter: the line is complete (TakeLine)
    kEnd,       // Ctrl-D on an empty line: no more input
  };
  Key Feed(char ch);
  const std::string& Typed() const { return m_typed; }
  // The completed line; the editor starts a new one.
  std::string TakeLine();

 private:
  enum class Escape { kNone, kStarted, kSequence };
  std::string m_typed;
  Escape m_escape = Escape::kNone;
};

// How many columns text takes on a terminal: its characters, UTF-8 sequences counted once.
size_t TextColumns(const std::string& text);

// What moves the cursor from the end of a prompt line nShown columns long, which the terminal
// wrapped at nColumns (0: unknown, taken as one row), to the start of its first row and clears
// from there to the end of the screen.
std::string EraseShown(size_t nShown, size_t nColumns);

}  // namespace tsphost
