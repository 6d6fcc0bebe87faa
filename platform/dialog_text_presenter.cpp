// The terminal presenter.
#include <istream>
#include <ostream>
#include <string>

#include "platform/dialog_commands.h"
#include "platform/dialog_presenter.h"

using namespace dialog_commands;

CTextDialogPresenter::CTextDialogPresenter(std::istream& in, std::ostream& out)
    : m_in(in), m_out(out) {}

void CTextDialogPresenter::RunModal(CDialog& dlg) {
  RenderDialog(dlg, m_out);
  std::string line;
  while (!dlg.IsEnded()) {
    m_out << "> " << std::flush;
    if (!std::getline(m_in, line)) {
      m_out << "(end of input)\n";
      dlg.EndDialog(-1);
      break;
    }
    std::vector<CString> words;
    if (!Split(line, words)) {
      m_out << "unclosed quote\n";
      continue;
    }
    if (words.empty()) continue;
    if (words[0] == "show") {
      RenderDialog(dlg, m_out);
      continue;
    }
    if (words[0] == "help") {
      m_out << "set ID TEXT | click ID | select ID INDEX | escape | enter | show\n";
      continue;
    }
    BOOL bKnown = FALSE;
    if (const LPCSTR pszRefused = Apply(dlg, words, &bKnown)) {
      m_out << pszRefused << (bKnown ? "" : " (try help)") << '\n';
      continue;
    }
    if (!dlg.IsEnded()) RenderDialog(dlg, m_out);
  }
  m_out << "dialog " << dlg.GetTemplateID() << " closed\n";
}

int CTextDialogPresenter::MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) {
  RenderBox(pszText, pszCaption, nType, m_out);
  std::string line;
  for (;;) {
    m_out << "> " << std::flush;
    if (!std::getline(m_in, line)) {
      m_out << "(end of input)\n";
      return AfxDefaultBoxAnswer(nType);
    }
    std::vector<CString> words;
    if (Split(line, words) && words.size() == 1) {
      if (const int nAnswer = ParseAnswer(words[0], nType)) return nAnswer;
    }
    m_out << "answer with one of the buttons\n";
  }
}
