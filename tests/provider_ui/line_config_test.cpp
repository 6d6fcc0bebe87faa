#include "provider/ui/dlg_line_config.h"
#include "tests/provider_ui/script_fixture.h"

using LineConfigTest = ScriptedDialogTest;

TEST_F(LineConfigTest, AddsALineOnceNumberPasswordAndConfirmationAreGiven) {
  Play(R"(dialog "Add Line"
check 1 disabled
check focus 1008
set 1008 5551000
set 1009 secret
check 1 disabled
set 1010 secret
check 1 enabled
click 1
)");
  CDlgLineConfig dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(dlg.m_strNumber, "5551000");
  EXPECT_EQ(dlg.m_strPassword, "secret");
}

TEST_F(LineConfigTest, MismatchedConfirmationIsRefusedAndFocused) {
  Play(R"(dialog 102
set 1008 200
set 1009 Secret
set 1010 secret
click 1
box ok "The passwords you typed do not match.  Please re-enter the password confirmation."
check focus 1010
set 1010 Secret
click 1
)");
  CDlgLineConfig dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(dlg.m_strPassword, "Secret");
}

TEST_F(LineConfigTest, ModifyPasswordShowsTheNumberReadOnly) {
  Play(R"(dialog "Modify Password"
check 1008 text 300
check 1008 readonly
check focus 1009
check 1 disabled
set 1009 new
set 1010 new
click 1
)");
  CDlgLineConfig dlg;
  dlg.m_strNumber = "300";
  dlg.m_strPassword = "old";
  dlg.m_bModifyPassword = TRUE;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(dlg.m_strNumber, "300");
  EXPECT_EQ(dlg.m_strPassword, "new");

  // The user cannot type into it.
  Play("dialog 102\nset 1008 999\n");
  CDlgLineConfig again;
  again.m_strNumber = "300";
  again.m_bModifyPassword = TRUE;
  EXPECT_EQ(again.DoModal(), -1);
  ASSERT_EQ(m_script->GetFailures().size(), 1u);
  EXPECT_NE(std::string(m_script->GetFailures()[0]).find("read-only"), std::string::npos);
  EXPECT_EQ(again.m_strNumber, "300");
}

TEST_F(LineConfigTest, TitleFollowsNumberAndMode) {
  struct Case {
    const char* number;
    BOOL modifyPassword;
    const char* title;
  };
  const Case cases[] = {{"", FALSE, "Add Line"},
                        {"", TRUE, "Add Line"},
                        {"7", FALSE, "Modify Line"},
                        {"7", TRUE, "Modify Password"}};
  for (const Case& c : cases) {
    const std::string script = std::string("dialog \"") + c.title + "\"\nescape\n";
    Play(script.c_str());
    CDlgLineConfig dlg;
    dlg.m_strNumber = c.number;
    dlg.m_bModifyPassword = c.modifyPassword;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL) << c.title;
    EXPECT_TRUE(m_script->IsComplete()) << Report();
  }
}
