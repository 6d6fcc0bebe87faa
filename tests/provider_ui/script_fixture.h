// Runs dialogs under a script presenter made from a string; the previous choice comes back
// after the test. `Base` is the fixture it stands on. Play can also run what another program
// does while the user looks at a dialog: one step before each dialog opened from the first
// dialog, and before each box.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <vector>

#include "platform/afxdlg.h"
#include "platform/dialog_presenter.h"

template <class Base = ::testing::Test>
class ScriptedDialogTestOn : public Base {
 protected:
  void TearDown() override {
    AfxSetDialogPresenter(nullptr);
    Base::TearDown();
  }

  using Meanwhile = std::vector<std::function<void()>>;

  CScriptDialogPresenter& Play(const std::string& script, Meanwhile meanwhile = {}) {
    std::istringstream in(script);
    m_script = std::make_shared<CScriptDialogPresenter>(in);
    if (meanwhile.empty()) {
      AfxSetDialogPresenter(m_script);
    } else {
      AfxSetDialogPresenter(std::make_shared<MeanwhilePresenter>(m_script, std::move(meanwhile)));
    }
    return *m_script;
  }

  // The dialog's result, once the script has been played to its end.
  INT_PTR Run(CDialog& dlg) {
    const INT_PTR nResult = dlg.DoModal();
    EXPECT_TRUE(m_script->IsComplete()) << Report();
    return nResult;
  }

  // The failures and the transcript, for a readable assertion message.
  std::string Report() const {
    std::string report;
    for (const CString& line : m_script->GetTranscript()) report += std::string(line) + "\n";
    return report;
  }

  std::shared_ptr<CScriptDialogPresenter> m_script;

 private:
  // The script's presenter, with the next step of `meanwhile` run before each inner dialog and
  // each box is shown.
  class MeanwhilePresenter : public CDialogPresenter {
   public:
    MeanwhilePresenter(std::shared_ptr<CScriptDialogPresenter> script, Meanwhile meanwhile)
        : m_script(std::move(script)), m_meanwhile(std::move(meanwhile)) {}
    BOOL ShowsDialogs() const override { return TRUE; }
    void RunModal(CDialog& dlg) override {
      if (m_nDepth++ > 0) Next();
      m_script->RunModal(dlg);
      --m_nDepth;
    }
    int MessageBox(LPCSTR pszText, LPCSTR pszCaption, UINT nType) override {
      Next();
      return m_script->MessageBox(pszText, pszCaption, nType);
    }

   private:
    void Next() {
      if (m_nNext < m_meanwhile.size()) m_meanwhile[m_nNext++]();
    }
    std::shared_ptr<CScriptDialogPresenter> m_script;
    Meanwhile m_meanwhile;
    size_t m_nNext = 0;
    int m_nDepth = 0;
  };
};
using ScriptedDialogTest = ScriptedDialogTestOn<>;
