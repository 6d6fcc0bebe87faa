#include <gtest/gtest.h>

#include <sstream>

#include "platform/afxdlg.h"
#include "platform/dialog_presenter.h"

namespace {

constexpr UINT kTemplateID = 9101;
constexpr int kName = 9001, kSecret = 9002, kList = 9003;

const DLGITEMDEF kItems[] = {
    {IDC_STATIC, DlgControlKind::Static, "Name:", 4, 4, 40, 8, 0},
    {kName, DlgControlKind::Edit, nullptr, 50, 4, 80, 12, WS_TABSTOP},
    {kSecret, DlgControlKind::Edit, nullptr, 50, 20, 80, 12, WS_TABSTOP | ES_PASSWORD},
    {kList, DlgControlKind::ListBox, nullptr, 4, 36, 126, 40, LBS_NOTIFY | WS_TABSTOP},
    {IDOK, DlgControlKind::Button, "OK", 30, 80, 50, 14, BS_DEFPUSHBUTTON | WS_TABSTOP},
    {IDCANCEL, DlgControlKind::Button, "Cancel", 84, 80, 50, 14, WS_TABSTOP | WS_DISABLED},
};
const DLGTEMPLATEDEF kTemplate = {kTemplateID, "Account",       140, 100,    WS_POPUP | WS_CAPTION,
                                  0,           "MS Sans Serif", 8,   kItems, 6};
const DLGTEMPLATEDEF* const kTemplates[] = {&kTemplate};
const STRINGTABLEENTRY kStrings[] = {{9100, "Keep %s?"}};
const CResourceRegistration kResources(kTemplates, 1, kStrings, 1);

// Counts its notifications and asks before it closes with OK.
class CAccountDlg : public CDialog {
 public:
  CAccountDlg() : CDialog(kTemplateID) {}
  CString m_strName = "ann";
  CString m_strSecret;
  int m_nNameChanges = 0;
  int m_nSelChanges = 0;
  BOOL m_bInitialised = FALSE;
  CListBox m_list;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    DDX_Control(pDX, kList, m_list);
    DDX_Text(pDX, kName, m_strName);
    DDX_Text(pDX, kSecret, m_strSecret);
  }
  BOOL OnInitDialog() override {
    m_bInitialised = TRUE;
    CDialog::OnInitDialog();
    m_list.AddString("red");
    m_list.AddString("green");
    return TRUE;
  }
  void OnOK() override {
    UpdateData(TRUE);
    CString prompt;
    prompt.LoadString(9100);
    CString text;
    text.Format(prompt, m_strName.GetString());
    if (AfxMessageBox(text, MB_YESNO | MB_ICONQUESTION) == IDYES) EndDialog(IDOK);
  }
  void OnNameChange() { ++m_nNameChanges; }
  void OnSelChange() { ++m_nSelChanges; }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CAccountDlg, CDialog)
ON_EN_CHANGE(kName, OnNameChange)
ON_LBN_SELCHANGE(kList, OnSelChange)
END_MESSAGE_MAP()

class DialogTest : public ::testing::Test {
 protected:
  void TearDown() override { AfxSetDialogPresenter(nullptr); }
};

TEST_F(DialogTest, TextPresenterShowsStateTakesCommandsAndEndsWithItsInput) {
  std::istringstream in(
      "set 9002 hunter2\n"
      "select 9003 1\n"
      "click 2\n"
      "set 9001 \"bo b\"\n"
      "enter\n"
      "maybe\n"
      "yes\n");
  std::ostringstream out;
  AfxSetDialogPresenter(std::make_shared<CTextDialogPresenter>(in, out));
  CAccountDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  const std::string shown = out.str();
  EXPECT_NE(shown.find("dialog 9101 \"Account\"\n  static \"Name:\"\n  9001 edit \"ann\" focus\n"),
            std::string::npos)
      << shown;
  EXPECT_NE(shown.find("9002 edit \"*******\" password"), std::string::npos) << shown;
  EXPECT_EQ(shown.find("hunter2"), std::string::npos) << shown;
  EXPECT_NE(shown.find("9003 list focus\n      0 \"red\"\n    > 1 \"green\""), std::string::npos)
      << shown;
  EXPECT_NE(shown.find("the button is disabled"), std::string::npos) << shown;
  EXPECT_NE(shown.find("Keep bo b?\n  [yes] [no]\n> answer with one of the buttons"),
            std::string::npos)
      << shown;
  EXPECT_EQ(dlg.m_strName, "bo b");
  EXPECT_EQ(dlg.m_strSecret, "hunter2");
  EXPECT_EQ(dlg.m_nNameChanges, 2);  // once by the program, once by the user
  EXPECT_EQ(dlg.m_nSelChanges, 1);

  std::istringstream ended("enter\n");
  AfxSetDialogPresenter(std::make_shared<CTextDialogPresenter>(ended, out));
  EXPECT_EQ(CAccountDlg().DoModal(), -1);  // the box got No, then the input ran out
}

TEST_F(DialogTest, NullPresenterNeverBlocksAndOthersAreChosenByName) {
  std::ostringstream err;
  AfxSetDialogPresenter(std::make_shared<CNullDialogPresenter>(err));
  CAccountDlg dlg;
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_FALSE(dlg.m_bInitialised);
  EXPECT_EQ(MessageBoxA(nullptr, "Disk full", "Saver", MB_OK | MB_ICONEXCLAMATION), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Delete?", "Saver", MB_YESNO), IDNO);
  EXPECT_EQ(err.str(), "Saver: Disk full\nSaver: Delete?\n");

  // A name that serves no presenter keeps the one there is.
  const auto kept = AfxGetDialogPresenter();
  EXPECT_FALSE(AfxSelectDialogPresenter("script:/nonexistent/dialogs.txt"));
  EXPECT_FALSE(AfxSelectDialogPresenter("window"));
  EXPECT_EQ(AfxGetDialogPresenter(), kept);
  EXPECT_TRUE(AfxSelectDialogPresenter("text"));
  EXPECT_TRUE(AfxGetDialogPresenter()->ShowsDialogs());
  EXPECT_TRUE(AfxSelectDialogPresenter("none"));
  EXPECT_FALSE(AfxGetDialogPresenter()->ShowsDialogs());
}

// Whatever goes off script, the dialog ends with -1 and the failure is recorded; a dialog
// without its template ends with -1 as well.
TEST_F(DialogTest, ScriptFailuresEndTheDialog) {
  struct Case {
    const char* script;
    const char* failure;  // part of the recorded failure
  };
  const Case cases[] = {
      {"dialog \"Other\"\n", "expects dialog Other"},
      {"dialog 9101\nset 9001 x\n", "the script ended with dialog 9101"},
      {"dialog 9101\nescape\n", "Cancel is disabled"},
      {"dialog 9101\nenter\nbox ok\n", "no such button"},
      {"dialog 9101\nenter\nbox yes \"Keep bob?\"\n", "found box \"Keep ann?\""},
      {"dialog 9101\nclick 1\nclick 1\n", "unexpected box"},
      {"dialog 9101\ncheck 9002 text x\n", "found text \"\""},
      {"dialog 9101\ncheck 9003 items red\n", "found items red green"},
      {"dialog 9101\ncheck focus 9002\n", "found focus on 9001"},
      {"dialog 9101\nselect 9003 2\n", "no such item"},
      {"dialog 9101\nbox ok\n", "not an action"},
      {"\"open\n", "unclosed quote"},
      {"\"\" 9101\n", "line 1: empty first word"},
      {"dialog 9101\n  \"\"  \n", "line 2: empty first word"},
  };
  for (const Case& c : cases) {
    std::istringstream script(c.script);
    auto presenter = std::make_shared<CScriptDialogPresenter>(script);
    AfxSetDialogPresenter(presenter);
    CAccountDlg dlg;
    EXPECT_EQ(dlg.DoModal(), -1) << c.script;
    ASSERT_FALSE(presenter->GetFailures().empty()) << c.script;
    EXPECT_NE(std::string(presenter->GetFailures()[0]).find(c.failure), std::string::npos)
        << c.script << " -> " << presenter->GetFailures()[0].GetString();
    EXPECT_FALSE(presenter->IsComplete());
    // After a failure nothing is shown any more.
    EXPECT_EQ(CAccountDlg().DoModal(), -1);
    EXPECT_EQ(MessageBoxA(nullptr, "Again?", "t", MB_YESNO), IDNO);
  }
  std::istringstream script("dialog 4242\nclick 1\n");  // a dialog without a template
  AfxSetDialogPresenter(std::make_shared<CScriptDialogPresenter>(script));
  EXPECT_EQ(CDialog(4242).DoModal(), -1);
}

TEST_F(DialogTest, ScriptTranscriptRecordsTheRun) {
  std::istringstream script(
      "# a comment\n"
      "dialog \"Account\"\n"
      "check 2 disabled\n"
      "select 9003 0\n"
      "enter\n"
      "box yes \"Keep ann?\"\n");
  auto presenter = std::make_shared<CScriptDialogPresenter>(script);
  AfxSetDialogPresenter(presenter);
  CAccountDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_TRUE(presenter->IsComplete());
  const std::vector<CString> expected = {
      "dialog 9101 \"Account\"", "check 2 disabled", "select 9003 0", "enter",
      "box \"Keep ann?\"",       "answer yes",       "end 9101"};
  EXPECT_EQ(presenter->GetTranscript(), expected);
  EXPECT_EQ(dlg.m_list.GetState(), nullptr);  // detached when the dialog ended
}

// A dialog that edits its list box from OnInitDialog and records what it found.
class CListDlg : public CDialog {
 public:
  CListDlg() : CDialog(kTemplateID) {}
  std::vector<int> m_found;

 protected:
  BOOL OnInitDialog() override {
    CListBox& list = *static_cast<CListBox*>(GetDlgItem(kList));
    for (const char* item : {"a", "b", "c", "d"}) list.AddString(item);
    list.SetItemData(3, 33);
    list.SetCurSel(2);
    list.DeleteString(0);  // the selection follows its item
    m_found.push_back(list.GetCurSel());
    list.DeleteString(1);  // the selected item goes
    m_found.push_back(list.GetCurSel());
    m_found.push_back(static_cast<int>(list.GetItemData(1)));  // 33 moved down with "d"
    m_found.push_back(list.SetCurSel(5));                      // clears the selection
    m_found.push_back(static_cast<int>(list.GetItemData(2)));
    m_found.push_back(list.GetCount());
    EndDialog(IDCANCEL);
    return TRUE;
  }
};

TEST_F(DialogTest, ListBoxKeepsSelectionAndItemDataWithTheirItems) {
  std::istringstream script("dialog 9101\n");
  AfxSetDialogPresenter(std::make_shared<CScriptDialogPresenter>(script));
  CListDlg dlg;
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.m_found, (std::vector<int>{1, LB_ERR, 33, LB_ERR, LB_ERR, 2}));
}

TEST_F(DialogTest, LoadStringCutsToTheBuffer) {
  char buffer[6] = "xxxxx";
  EXPECT_EQ(LoadStringA(nullptr, 9100, buffer, 5), 4);
  EXPECT_STREQ(buffer, "Keep");
  EXPECT_EQ(LoadStringA(nullptr, 9199, buffer, 5), 0);
  CString text("kept");
  EXPECT_FALSE(text.LoadString(9199));
  EXPECT_EQ(text, "kept");
}

}  // namespace
