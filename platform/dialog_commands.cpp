// The command words and renderings of the text and script presenters.
#include "platform/dialog_commands.h"

#include <cstdlib>
#include <ostream>

namespace dialog_commands {

BOOL Split(const std::string& line, std::vector<CString>& words) {
  words.clear();
  size_t i = 0;
  while (i < line.size()) {
    if (line[i] == ' ' || line[i] == '\t' || line[i] == '\r') {
      ++i;
      continue;
    }
    std::string word;
    if (line[i] == '"') {
      ++i;
      BOOL bClosed = FALSE;
      while (i < line.size()) {
        const char ch = line[i++];
        if (ch == '"') {
          bClosed = TRUE;
          break;
        }
        if (ch == '\\' && i < line.size()) {
          const char esc = line[i++];
          word += esc == 'n' ? '\n' : esc;
        } else {
          word += ch;
        }
      }
      if (!bClosed) return FALSE;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        word += line[i++];
      }
    }
    words.emplace_back(word.c_str(), static_cast<int>(word.size()));
  }
  return TRUE;
}

CString Quote(const CString& text) {
  CString quoted("\"");
  for (int i = 0; i < text.GetLength(); ++i) {
    const char ch = text[i];
    if (ch == '"' || ch == '\\') {
      quoted += '\\';
      quoted += ch;
    } else if (ch == '\n') {
      quoted += "\\n";
    } else {
      quoted += ch;
    }
  }
  return quoted + "\"";
}

BOOL ParseInt(const CString& word, int& value) {
  if (word.IsEmpty()) return FALSE;
  char* end = nullptr;
  const long n = std::strtol(word, &end, 10);
  if (*end != '\0' || n < -0x7FFFFFFFL || n > 0x7FFFFFFFL) return FALSE;
  value = static_cast<int>(n);
  return TRUE;
}

LPCSTR Apply(CDialog& dlg, const std::vector<CString>& words, BOOL* pbKnown) {
  *pbKnown = TRUE;
  const CString verb = words.empty() ? CString() : words[0];
  const size_t n = words.size();
  int nID = 0;
  if (verb == "escape" && n == 1) return dlg.UserEscape();
  if (verb == "enter" && n == 1) return dlg.UserEnter();
  if (verb == "set" && (n == 2 || n == 3)) {
    if (!ParseInt(words[1], nID)) return "usage: set ID TEXT";
    return dlg.UserSetText(nID, n == 3 ? words[2].GetString() : "");
  }
  if (verb == "click" && n == 2) {
    if (!ParseInt(words[1], nID)) return "usage: click ID";
    return dlg.UserClick(nID);
  }
  int nIndex = 0;
  if (verb == "select" && n == 3) {
    if (!ParseInt(words[1], nID) || !ParseInt(words[2], nIndex)) return "usage: select ID INDEX";
    return dlg.UserSelect(nID, nIndex);
  }
  *pbKnown = FALSE;
  return "unknown command";
}

int ParseAnswer(const CString& word, UINT nType) {
  const UINT nButtons = nType & MB_TYPEMASK;
  CString lower(word);
  lower.MakeLower();
  if (lower == "ok" && (nButtons == MB_OK || nButtons == MB_OKCANCEL)) return IDOK;
  if (lower == "cancel" && (nButtons == MB_OKCANCEL || nButtons == MB_YESNOCANCEL)) {
    return IDCANCEL;
  }
  if (lower == "yes" && (nButtons == MB_YESNO || nButtons == MB_YESNOCANCEL)) return IDYES;
  if (lower == "no" && (nButtons == MB_YESNO || nButtons == MB_YESNOCANCEL)) return IDNO;
  return 0;
}

LPCSTR AnswerName(int nAnswer) {
  switch (nAnswer) {
    case IDOK:
      return "ok";
    case IDCANCEL:
      return "cancel";
    case IDYES:
      return "yes";
    case IDNO:
      return "no";
    default:
      return "?";
  }
}

namespace {

LPCSTR KindName(DlgControlKind kind) {
  switch (kind) {
    case DlgControlKind::Edit:
      return "edit";
    case DlgControlKind::Button:
      return "button";
    case DlgControlKind::ListBox:
      return "list";
    case DlgControlKind::Static:
      break;
  }
  return "static";
}

}  // namespace

void RenderDialog(const CDialog& dlg, std::ostream& out) {
  out << "dialog " << dlg.GetTemplateID() << ' ' << Quote(dlg.GetCaption()).GetString() << '\n';
  for (const auto& c : dlg.GetControls()) {
    const DLGITEMDEF& item = *c->pItem;
    out << "  ";
    if (item.nID != IDC_STATIC) out << item.nID << ' ';
    out << KindName(item.kind);
    if (item.kind == DlgControlKind::Static && (c->dwStyle & SS_ETCHEDHORZ) != 0) {
      out << " ----\n";
      continue;
    }
    const BOOL bPassword = item.kind == DlgControlKind::Edit && (c->dwStyle & ES_PASSWORD) != 0;
    if (item.kind != DlgControlKind::ListBox) {
      out << ' ' << (bPassword ? Quote(CString('*', c->strText.GetLength())) : Quote(c->strText));
    }
    if (item.kind == DlgControlKind::Button && (c->dwStyle & 0xF) == BS_DEFPUSHBUTTON) {
      out << " default";
    }
    if (bPassword) out << " password";
    if (!c->bEnabled) out << " disabled";
    if (c->IsReadOnly()) out << " read-only";
    if (dlg.GetFocusID() == item.nID && item.nID != IDC_STATIC) out << " focus";
    out << '\n';
    for (size_t i = 0; i < c->items.size(); ++i) {
      out << "    " << (static_cast<int>(i) == c->nCurSel ? '>' : ' ') << ' ' << i << ' '
          << Quote(c->items[i]).GetString() << '\n';
    }
  }
}

void RenderBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType, std::ostream& out) {
  static const char* const kIcons[] = {"", " (stop)", " (question)", " (exclamation)",
                                       " (information)"};
  const UINT nIcon = (nType & MB_ICONMASK) >> 4;
  out << "box " << Quote(pszCaption).GetString() << (nIcon < 5 ? kIcons[nIcon] : "") << '\n'
      << "  ";
  for (LPCSTR p = pszText; *p != '\0'; ++p) {
    out << *p;
    if (*p == '\n') out << "  ";
  }
  out << '\n';
  switch (nType & MB_TYPEMASK) {
    case MB_OKCANCEL:
      out << "  [ok] [cancel]\n";
      break;
    case MB_YESNO:
      out << "  [yes] [no]\n";
      break;
    case MB_YESNOCANCEL:
      out << "  [yes] [no] [cancel]\n";
      break;
    default:
      out << "  [ok]\n";
      break;
  }
}

}  // namespace dialog_commands
