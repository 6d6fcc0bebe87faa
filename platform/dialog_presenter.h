// Dialog presenters: who plays the user of the modal dialogs and message boxes.
//
// Contract:
// - One presenter is current for the process. Unless one was set, the first use takes it from
//   the environment variable OMBIX_DIALOGS: "text" (the terminal), "script:FILE" (a script, see
//   CScriptDialogPresenter), "none" or unset (the null presenter). A bad value falls back to the
//   null presenter, with a warning on standard error.
// - The null presenter never blocks: dialogs return -1 without being shown; boxes are written to
//   standard error and answered IDOK (IDNO when the box has no OK button).
// - RunModal runs on the dialog's thread and returns only when the dialog has ended; a presenter
//   that cannot go on ends the dialog with -1. MessageBox returns a button that the box has.
// - Swapping the presenter is thread-safe; a dialog keeps the presenter it started with.
// - A script presenter chosen by name reports to standard error, and also to the descriptor that
//   OMBIX_DIALOGS_REPORT names when it is set (for a host that must learn of its failures); the
//   script is then read when the module loads, so that a script no dialog came for is reported
//   as left unplayed too.
#pragma once

#include <iosfwd>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/afx_string.h"

class CDialog;

class CDialogPresenter {
 public:
  virtual ~CDialogPresenter() = default;
  virtual BOOL ShowsDialogs() const = 0;
  virtual void RunModal(CDialog& dlg) = 0;
  virtual int MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) = 0;
};

std::shared_ptr<CDialogPresenter> AfxGetDialogPresenter();
// NULL restores the choice by environment.
void AfxSetDialogPresenter(std::shared_ptr<CDialogPresenter> presenter);
// Makes the presenter that a name ("text", "script:FILE", "none") names current;
// FALSE, the current one kept, for an unknown value or an unreadable script.
BOOL AfxSelectDialogPresenter(LPCSTR pszSpec);

// The answer a box gets when nobody can give one: OK, else No, else Cancel.
int AfxDefaultBoxAnswer(UINT nType);

class CNullDialogPresenter : public CDialogPresenter {
 public:
  explicit CNullDialogPresenter(std::ostream& err);
  BOOL ShowsDialogs() const override { return FALSE; }
  void RunModal(CDialog& dlg) override;
  int MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) override;

 private:
  std::mutex m_mutex;
  std::ostream& m_err;
};

// Shows each dialog on a terminal after every action and reads the user's commands, one a line:
//   set ID TEXT | click ID | select ID INDEX | escape | enter | show | help
// Boxes are answered with ok, cancel, yes or no. End of input ends a dialog with -1 and answers
// a box as nobody would (AfxDefaultBoxAnswer).
class CTextDialogPresenter : public CDialogPresenter {
 public:
  CTextDialogPresenter(std::istream& in, std::ostream& out);
  BOOL ShowsDialogs() const override { return TRUE; }
  void RunModal(CDialog& dlg) override;
  int MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) override;

 private:
  std::istream& m_in;
  std::ostream& m_out;
};

// Plays a script: one step a line, blank lines and lines starting with # ignored. TEXT is one
// word or a "quoted string" (\" \\ \n inside). Steps:
//   dialog ID | dialog "CAPTION"   the next dialog to open (template id or caption)
//   set ID TEXT | click ID | select ID INDEX | escape | enter      the user's actions
//   check ID enabled|disabled|readonly|writable | check ID text TEXT
//   check ID items TEXT... | check ID selected INDEX | check focus ID
//   box ok|cancel|yes|no [TEXT]    the next box (its text, when given) and the answer
// Anything else than the script expects (another dialog or box, a refused action, a failed
// check, the script running out while a dialog is open) is a failure: it is recorded, and from
// then on every dialog ends with -1 and every box gets the default answer, so nothing waits.
// Steps still unplayed when the presenter ends (its module unloaded, the process ending) are
// reported then, unless a failure was.
class CScriptDialogPresenter : public CDialogPresenter {
 public:
  // Reports ("dialog script: REASON" lines) go to pReport when it is given, and to the
  // descriptor fdReport when it is not -1.
  explicit CScriptDialogPresenter(std::istream& script, std::ostream* pReport = nullptr,
                                  int fdReport = -1);
  ~CScriptDialogPresenter() override;
  BOOL ShowsDialogs() const override { return TRUE; }
  void RunModal(CDialog& dlg) override;
  int MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) override;

  // What was shown and done, one entry a line, failures as "FAIL: ...".
  std::vector<CString> GetTranscript() const;
  std::vector<CString> GetFailures() const;
  // TRUE when every step was played and nothing failed.
  BOOL IsComplete() const;

 private:
  struct Step {
    int nLine;
    std::vector<CString> words;
  };
  BOOL NextStep(Step& step);
  void Advance();
  BOOL IsFailed() const;
  void Fail(const CString& reason);
  void Report(const CString& reason);
  void Log(const CString& entry);
  BOOL PlayAction(CDialog& dlg, const Step& step);
  BOOL Check(CDialog& dlg, const Step& step);

  mutable std::recursive_mutex m_mutex;
  std::vector<Step> m_steps;
  size_t m_nNext = 0;
  BOOL m_bFailed = FALSE;
  std::vector<CString> m_transcript;
  std::vector<CString> m_failures;
  std::ostream* m_pReport;
  int m_fdReport;
};
