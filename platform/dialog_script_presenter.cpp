// The scripted presenter.
#include <unistd.h>

#include <cerrno>
#include <istream>
#include <ostream>
#include <string>

#include "platform/dialog_commands.h"
#include "platform/dialog_presenter.h"

using namespace dialog_commands;

namespace {

CString Joined(const std::vector<CString>& words) {
  CString text;
  for (const CString& word : words) {
    if (!text.IsEmpty()) text += ' ';
    text += word.FindOneOf(" \t\"\\\n") >= 0 || word.IsEmpty() ? Quote(word) : word;
  }
  return text;
}

CString DialogName(const CDialog& dlg) {
  CString name;
  name.Format("dialog %u %s", dlg.GetTemplateID(), Quote(dlg.GetCaption()).GetString());
  return name;
}

}  // namespace

CScriptDialogPresenter::CScriptDialogPresenter(std::istream& script, std::ostream* pReport,
                                               int fdReport)
    : m_pReport(pReport), m_fdReport(fdReport) {
  std::string line;
  for (int nLine = 1; std::getline(script, line); ++nLine) {
    Step step{nLine, {}};
    if (!Split(line, step.words)) {
      Fail("line " + CString(std::to_string(nLine).c_str()) + ": unclosed quote");
      continue;
    }
    if (step.words.empty()) continue;
    if (step.words[0].IsEmpty()) {
      // A quoted "" names no command; nor can it start a comment.
      Fail("line " + CString(std::to_string(nLine).c_str()) + ": empty first word");
      continue;
    }
    if (step.words[0][0] != '#') m_steps.push_back(std::move(step));
  }
}

CScriptDialogPresenter::~CScriptDialogPresenter() {
  if (m_bFailed || m_nNext >= m_steps.size()) return;
  const size_t nLeft = m_steps.size() - m_nNext;
  Report(CString(std::to_string(nLeft).c_str()) + (nLeft == 1 ? " step" : " steps") +
         " left unplayed, the first at line " + std::to_string(m_steps[m_nNext].nLine).c_str());
}

BOOL CScriptDialogPresenter::NextStep(Step& step) {
  std::lock_guard lock(m_mutex);
  if (m_nNext >= m_steps.size()) return FALSE;
  step = m_steps[m_nNext];
  return TRUE;
}

void CScriptDialogPresenter::Fail(const CString& reason) {
  std::lock_guard lock(m_mutex);
  m_bFailed = TRUE;
  m_failures.push_back(reason);
  m_transcript.push_back("FAIL: " + reason);
  Report(reason);
}

void CScriptDialogPresenter::Report(const CString& reason) {
  const std::string line = std::string("dialog script: ") + reason.GetString() + '\n';
  if (m_pReport != nullptr) *m_pReport << line;
  for (size_t nDone = 0; m_fdReport >= 0 && nDone < line.size();) {
    const ssize_t nWritten = write(m_fdReport, line.data() + nDone, line.size() - nDone);
    if (nWritten < 0 && errno == EINTR) continue;
    if (nWritten <= 0) break;
    nDone += static_cast<size_t>(nWritten);
  }
}

void CScriptDialogPresenter::Log(const CString& entry) {
  std::lock_guard lock(m_mutex);
  m_transcript.push_back(entry);
}

void CScriptDialogPresenter::RunModal(CDialog& dlg) {
  Step step;
  if (IsFailed()) {
    dlg.EndDialog(-1);
    return;
  }
  if (!NextStep(step) || step.words[0] != "dialog" || step.words.size() != 2) {
    Fail("unexpected " + DialogName(dlg) +
         (NextStep(step) ? " at line " + CString(std::to_string(step.nLine).c_str())
                         : CString(" after the end of the script")));
    dlg.EndDialog(-1);
    return;
  }
  int nID = 0;
  const BOOL bMatch = ParseInt(step.words[1], nID) ? nID == static_cast<int>(dlg.GetTemplateID())
                                                   : step.words[1] == dlg.GetCaption();
  if (!bMatch) {
    Fail(DialogName(dlg) + " where line " + std::to_string(step.nLine).c_str() + " expects " +
         Joined(step.words));
    dlg.EndDialog(-1);
    return;
  }
  Advance();
  Log(DialogName(dlg));
  while (!dlg.IsEnded()) {
    if (IsFailed()) {
      dlg.EndDialog(-1);
      break;
    }
    if (!NextStep(step)) {
      Fail("the script ended with " + DialogName(dlg) + " open");
      dlg.EndDialog(-1);
      break;
    }
    Advance();
    const BOOL bDone = step.words[0] == "check" ? Check(dlg, step) : PlayAction(dlg, step);
    if (!bDone) dlg.EndDialog(-1);
  }
  CString end;
  end.Format("end %u", dlg.GetTemplateID());
  Log(end);
}

BOOL CScriptDialogPresenter::PlayAction(CDialog& dlg, const Step& step) {
  const CString where = "line " + CString(std::to_string(step.nLine).c_str()) + ": ";
  Log(Joined(step.words));
  BOOL bKnown = FALSE;
  const LPCSTR pszRefused = Apply(dlg, step.words, &bKnown);
  if (pszRefused == nullptr) return TRUE;
  Fail(where + Joined(step.words) + " in " + DialogName(dlg) + ": " +
       (bKnown ? pszRefused : "not an action while the dialog is open"));
  return FALSE;
}

BOOL CScriptDialogPresenter::Check(CDialog& dlg, const Step& step) {
  const std::vector<CString>& w = step.words;
  Log(Joined(w));
  CString found;
  BOOL bOK = FALSE;
  int nID = 0;
  if (w.size() == 3 && w[1] == "focus" && ParseInt(w[2], nID)) {
    bOK = dlg.GetFocusID() == nID;
    found.Format("focus on %d", dlg.GetFocusID());
  } else if (w.size() >= 3 && ParseInt(w[1], nID)) {
    const AFX_WNDSTATE* pState = nullptr;
    for (const auto& c : dlg.GetControls()) {
      if (c->GetID() == nID) pState = c.get();
    }
    const CString& what = w[2];
    int nIndex = 0;
    if (pState == nullptr) {
      found = "no such control";
    } else if (w.size() == 3 && (what == "enabled" || what == "disabled")) {
      bOK = (what == "enabled") == (pState->bEnabled != FALSE);
      found = pState->bEnabled ? "enabled" : "disabled";
    } else if (w.size() == 3 && (what == "readonly" || what == "writable")) {
      bOK = (what == "readonly") == (pState->IsReadOnly() != FALSE);
      found = pState->IsReadOnly() ? "readonly" : "writable";
    } else if (w.size() == 4 && what == "text") {
      bOK = pState->strText == w[3];
      found = "text " + Quote(pState->strText);
    } else if (what == "items") {
      const std::vector<CString> expected(w.begin() + 3, w.end());
      bOK = pState->items == expected;
      found = "items " + Joined(pState->items);
    } else if (w.size() == 4 && what == "selected" && ParseInt(w[3], nIndex)) {
      bOK = pState->nCurSel == nIndex;
      found.Format("selected %d", pState->nCurSel);
    } else {
      found = "a check it does not know";
    }
  } else {
    found = "a check it does not know";
  }
  if (!bOK) {
    Fail("line " + CString(std::to_string(step.nLine).c_str()) + ": " + Joined(w) + " in " +
         DialogName(dlg) + " found " + found);
  }
  return bOK;
}

int CScriptDialogPresenter::MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) {
  const CString box = "box " + Quote(pszText);
  Step step;
  if (IsFailed()) {
    Log(box);
    return AfxDefaultBoxAnswer(nType);
  }
  if (!NextStep(step) || step.words[0] != "box" || step.words.size() > 3) {
    Fail("unexpected " + box + " (" + Quote(pszCaption) + ")");
    return AfxDefaultBoxAnswer(nType);
  }
  const CString where = "line " + CString(std::to_string(step.nLine).c_str()) + ": ";
  Advance();
  Log(box);
  const int nAnswer = step.words.size() >= 2 ? ParseAnswer(step.words[1], nType) : 0;
  if (step.words.size() == 3 && step.words[2] != pszText) {
    Fail(where + "expects " + Joined(step.words) + ", found " + box);
    return AfxDefaultBoxAnswer(nType);
  }
  if (nAnswer == 0) {
    Fail(where + "the box has no such button: " + Joined(step.words));
    return AfxDefaultBoxAnswer(nType);
  }
  Log(CString("answer ") + AnswerName(nAnswer));
  return nAnswer;
}

void CScriptDialogPresenter::Advance() {
  std::lock_guard lock(m_mutex);
  ++m_nNext;
}

BOOL CScriptDialogPresenter::IsFailed() const {
  std::lock_guard lock(m_mutex);
  return m_bFailed;
}

std::vector<CString> CScriptDialogPresenter::GetTranscript() const {
  std::lock_guard lock(m_mutex);
  return m_transcript;
}

std::vector<CString> CScriptDialogPresenter::GetFailures() const {
  std::lock_guard lock(m_mutex);
  return m_failures;
}

BOOL CScriptDialogPresenter::IsComplete() const {
  std::lock_guard lock(m_mutex);
  return !m_bFailed && m_nNext == m_steps.size();
}
