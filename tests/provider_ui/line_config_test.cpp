#include "provider/ui/dlg_line_config.h"
#include "tests/provider_ui/script_fixture.h"

using LineConfigTest = ScriptedDialogTest;

// OK waits for all three; a confirmation that differs, if only in case, is refused and focused.
TEST_F(LineConfigTest, AddsALineOnceNumberPasswordAndConfirmationAreGiven) {
  Play(R"(dialog "Add Line"
check 1 disabled
check focus 1008
set 1008 5551000
set 1009 secret
check 1 disabled
set 1010 Secret
check 1 enabled
click 1
box ok "The passwords you typed do not match.  Please re-enter the password confirmation."
check focus 1010
set 1010 secret
click 1
)");
  CDlgLineConfig dlg;
  EXPECT_EQ(Run(dlg), IDOK);
  EXPECT_EQ(dlg.m_strNumber, "5551000");
  EXPECT_EQ(dlg.m_strPassword, "secret");

  // Without a number it adds a line even when asked to change the password.
  Play("dialog \"Add Line\"\nescape\n");
  CDlgLineConfig other;
  other.m_bModifyPassword = TRUE;
  EXPECT_EQ(Run(other), IDCANCEL);
}
