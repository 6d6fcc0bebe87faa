// Runs dialogs under a script presenter made from a string; the previous choice comes back
// after the test. `Base` is the fixture it stands on.
#pragma once

#include <gtest/gtest.h>

#include <sstream>

#include "platform/afxdlg.h"
#include "platform/dialog_presenter.h"

template <class Base = ::testing::Test>
class ScriptedDialogTestOn : public Base {
 protected:
  void TearDown() override {
    AfxSetDialogPresenter(nullptr);
    Base::TearDown();
  }

  CScriptDialogPresenter& Play(const std::string& script) {
    std::istringstream in(script);
    m_script = std::make_shared<CScriptDialogPresenter>(in);
    AfxSetDialogPresenter(m_script);
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
};
using ScriptedDialogTest = ScriptedDialogTestOn<>;
