// tsp-host's prompt line.
#include "tools/tsp-host/line_editor.h"

namespace tsphost {
namespace {

constexpr char kEscape = 0x1B;
constexpr char kCtrlD = 0x04;
constexpr char kBackspace = 0x08;
constexpr char kDelete = 0x7F;

bool IsContinuation(char ch) {
  return (static_cast<unsigned char>(ch) & 0xC0) == 0x80;
}

}  // namespace

LineEditor::Key LineEditor::Feed(char ch) {
  const auto byte = static_cast<unsigned char>(ch);
  // An escape sequence: ESC, then '[' or 'O' and parameters up to a final byte, or one more
  // character.
  if (m_escape == Escape::kStarted) {
    m_escape = ch == '[' || ch == 'O' ? Escape::kSequence : Escape::kNone;
    return Key::kNone;
  }
  if (m_escape == Escape::kSequence) {
    if (byte >= 0x40 && byte <= 0x7E) m_escape = Escape::kNone;
    return Key::kNone;
  }
  switch (ch) {
    case kEscape:
      m_escape = Escape::kStarted;
      return Key::kNone;
    case '\n':
    case '\r':
      return Key::kLine;
    case kCtrlD:
      return m_typed.empty() ? Key::kEnd : Key::kNone;
    case kBackspace:
    case kDelete:
      if (m_typed.empty()) return Key::kNone;
      while (m_typed.size() > 1 && IsContinuation(m_typed.back())) m_typed.pop_back();
      m_typed.pop_back();
      return Key::kChanged;
    case '\t':
      m_typed += ' ';
      return Key::kAppended;
    default:
      if (byte < 0x20) return Key::kNone;
      m_typed += ch;
      return Key::kAppended;
  }
}

std::string LineEditor::TakeLine() {
  std::string line;
  line.swap(m_typed);
  m_escape = Escape::kNone;
  return line;
}

size_t TextColumns(const std::string& text) {
  size_t nColumns = 0;
  for (char ch : text) {
    if (!IsContinuation(ch)) ++nColumns;
  }
  return nColumns;
}

std::string EraseShown(size_t nShown, size_t nColumns) {
  // A terminal leaves the cursor on the last column of a full row until the next character, so
  // a line of exactly k rows of text still ends on its k-th row.
  const size_t nRowsAbove = nColumns == 0 || nShown == 0 ? 0 : (nShown - 1) / nColumns;
  std::string text = "\r";
  if (nRowsAbove > 0) text += "\x1B[" + std::to_string(nRowsAbove) + "A";
  return text + "\x1B[J";
}

}  // namespace tsphost
