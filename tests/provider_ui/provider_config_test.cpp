#include <vector>

#include "provider/ui/dlg_provider_config.h"
#include "tests/provider_ui/script_fixture.h"

namespace {

using Lines = std::vector<std::pair<const char*, const char*>>;
using Slots = std::vector<std::string>;

class ProviderConfigTest : public ScriptedDialogTest {
 protected:
  void Load(const Lines& lines, const char* ip1 = "10.0.0.1", const char* ip2 = "10.0.0.2") {
    m_dlg.m_strIP1 = ip1;
    m_dlg.m_strIP2 = ip2;
    m_dlg.m_dwLines = static_cast<DWORD>(lines.size());
    for (const auto& [number, password] : lines) m_dlg.m_arrLines.push_back({number, password});
  }

  // Every slot as "number/password".
  std::vector<std::string> Stored() const {
    std::vector<std::string> slots;
    for (const auto& line : m_dlg.m_arrLines) {
      slots.push_back(std::string(line.strNumber) + "/" + std::string(line.strPassword));
    }
    return slots;
  }

  CDlgProviderConfig m_dlg{7};
};

TEST_F(ProviderConfigTest, AddAppendsAtTheOldLineCountAndTakesCancelAway) {
  Load({{"100", "a"}, {"200", "b"}});
  Play(R"(dialog "VOIP Telephony Service Provider"
check 1008 disabled
check 1 enabled
check 2 enabled
check 1004 items 100 200
check 1004 selected 0
click 1005
dialog "Add Line"
set 1008 300
set 1009 c
set 1010 c
click 1
check 1004 items 100 200 300
check 2 disabled
click 1
)");
  EXPECT_EQ(m_dlg.DoModal(), IDOK);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(m_dlg.m_dwLines, 3u);
  EXPECT_EQ(Stored(), (Slots{"100/a", "200/b", "300/c"}));
  EXPECT_TRUE(m_dlg.m_bLinesChanged);
}

TEST_F(ProviderConfigTest, CancelledLineDialogChangesNothing) {
  Load({{"100", "a"}});
  Play("dialog 101\nclick 1005\ndialog 102\nset 1008 300\nescape\ncheck 2 enabled\nescape\n");
  EXPECT_EQ(m_dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(m_dlg.m_dwLines, 1u);
  EXPECT_FALSE(m_dlg.m_bLinesChanged);
}

// A line without a number is not listed; the items after it still reach their own lines.
TEST_F(ProviderConfigTest, ConfigureEditsTheLineBehindTheItem) {
  Load({{"100", "a"}, {"", ""}, {"300", "c"}});
  Play(R"(dialog 101
check 1004 items 100 300
select 1004 1
click 1009
dialog "Modify Line"
check 1008 text 300
check 1009 text c
check 1010 text ""
check 1 disabled
set 1009 new
set 1010 new
click 1
click 1
)");
  EXPECT_EQ(m_dlg.DoModal(), IDOK);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(Stored(), (Slots{"100/a", "/", "300/new"}));
}

TEST_F(ProviderConfigTest, RemoveShiftsTheLinesAboveDown) {
  struct Case {
    Lines lines;
    int item;
    const char* number;
    Slots after;
    std::vector<std::string> listed;
  };
  const Case cases[] = {
      {{{"100", "a"}, {"200", "b"}, {"300", "c"}},
       0,
       "100",
       {"200/b", "300/c", "/"},
       {"200", "300"}},
      {{{"100", "a"}, {"200", "b"}, {"300", "c"}},
       2,
       "300",
       {"100/a", "200/b", "/"},
       {"100", "200"}},
      {{{"100", "a"}, {"", ""}, {"300", "c"}, {"400", "d"}},
       1,
       "300",
       {"100/a", "/", "400/d", "/"},
       {"100", "400"}},
  };
  for (const Case& c : cases) {
    m_dlg.m_arrLines.clear();
    m_dlg.m_bLinesChanged = FALSE;
    Load(c.lines);
    std::string script = "dialog 101\nselect 1004 " + std::to_string(c.item) +
                         "\nclick 1006\nbox yes \"Do you want to delete Line " + c.number +
                         "?\"\ncheck 1004 items";
    for (const std::string& number : c.listed) script += " " + number;
    script += "\nclick 1\n";
    Play(script.c_str());
    EXPECT_EQ(m_dlg.DoModal(), IDOK);
    EXPECT_TRUE(m_script->IsComplete()) << Report();
    EXPECT_EQ(m_dlg.m_dwLines, c.lines.size() - 1);
    EXPECT_EQ(Stored(), c.after) << c.number;
    EXPECT_TRUE(m_dlg.m_bLinesChanged);
  }
}

TEST_F(ProviderConfigTest, RemoveAnsweredNoKeepsEverything) {
  Load({{"100", "a"}});
  Play("dialog 101\nclick 1006\nbox no\ncheck 2 enabled\ncheck 1004 items 100\nescape\n");
  EXPECT_EQ(m_dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_EQ(m_dlg.m_dwLines, 1u);
  EXPECT_FALSE(m_dlg.m_bLinesChanged);
}

TEST_F(ProviderConfigTest, WithoutLinesRemoveAndConfigureAreDisabled) {
  Load({});
  Play("dialog 101\ncheck 1004 disabled\ncheck 1006 disabled\ncheck 1009 disabled\nclick 1\n");
  EXPECT_EQ(m_dlg.DoModal(), IDOK);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
}

TEST_F(ProviderConfigTest, AddressesMayHoldOnlyDigitsAndDotsIP1First) {
  struct Case {
    const char* ip1;
    const char* ip2;
    int focus;  // 0: accepted
  };
  const Case cases[] = {{"10.0.0.1a", "x", 1008},
                        {"10.0.0.1", "10.0.0.2 ", 1007},
                        {"10.0.0.1", "999.1", 0},
                        {"0.0.0.0", "0.0.0.0", 0}};
  for (const Case& c : cases) {
    m_dlg.m_arrLines.clear();
    Load({}, c.ip1, c.ip2);
    std::string script = "dialog 101\nclick 1\n";
    if (c.focus != 0) {
      script += "box ok \"The IP address you entered is invalid.\"\ncheck focus " +
                std::to_string(c.focus) + "\nescape\n";
    }
    Play(script.c_str());
    EXPECT_EQ(m_dlg.DoModal(), c.focus != 0 ? IDCANCEL : IDOK) << c.ip1 << " " << c.ip2;
    EXPECT_TRUE(m_script->IsComplete()) << Report();
  }
}

// The address edits cannot be changed, so an empty stored address keeps OK disabled; Cancel
// must stay usable even after the lines changed.
TEST_F(ProviderConfigTest, EmptyAddressKeepsOKDisabledButTheDialogClosable) {
  Load({{"100", "a"}}, "", "10.0.0.2");
  Play(R"(dialog 101
check 1 disabled
check 2 enabled
click 1005
dialog 102
set 1008 200
set 1009 b
set 1010 b
click 1
check 1 disabled
check 2 enabled
escape
)");
  EXPECT_EQ(m_dlg.DoModal(), IDCANCEL);
  EXPECT_TRUE(m_script->IsComplete()) << Report();
  EXPECT_TRUE(m_dlg.m_bLinesChanged);
  EXPECT_EQ(m_dlg.m_dwLines, 2u);
}

// A stored address that OK refuses leaves Cancel as the only way out, after any change of the
// lines; stored addresses that OK takes let a change take Cancel away as before.
TEST_F(ProviderConfigTest, RefusedStoredAddressKeepsTheDialogClosable) {
  struct Case {
    const char* ip1;
    const char* ip2;
    bool bRefused;
  };
  const Case cases[] = {{"10.0.0.1a", "10.0.0.2", true},
                        {"10.0.0.1", "10.0.0.2 ", true},
                        {"10.0.0.1", "10.0.0.2", false}};
  for (const Case& c : cases) {
    m_dlg.m_arrLines.clear();
    Load({{"100", "a"}}, c.ip1, c.ip2);
    const std::string script = std::string(R"(dialog 101
click 1005
dialog 102
set 1008 200
set 1009 b
set 1010 b
click 1
check 1004 items 100 200
)") + (c.bRefused ? "check 2 enabled\nescape\n" : "check 2 disabled\nclick 1\n");
    Play(script.c_str());
    EXPECT_EQ(m_dlg.DoModal(), c.bRefused ? IDCANCEL : IDOK) << c.ip1 << " " << c.ip2;
    EXPECT_TRUE(m_script->IsComplete()) << Report();
  }
}

}  // namespace
