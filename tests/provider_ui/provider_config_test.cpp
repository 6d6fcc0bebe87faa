#include <vector>

#include "provider/ombix_provider.h"
#include "provider/ombix_settings.h"
#include "provider/ui/dlg_provider_config.h"
#include "tests/platform/registry_test_support.h"
#include "tests/provider_ui/script_fixture.h"

namespace {

using ombix::registry_test::RegistryFileTest;
using Slots = std::vector<std::string>;  // each line as "number/password"

constexpr DWORD kID = 7;

class ProviderConfigTest : public ScriptedDialogTestOn<RegistryFileTest> {
 protected:
  // The provider's settings as the dialog finds them, nothing changed yet.
  void Load(const Slots& lines, const char* ip1 = "10.0.0.1", const char* ip2 = "10.0.0.2") {
    m_provider.RegDeleteDeviceKey(kID);
    m_provider.RegWriteString(kID, "IP1", ip1);
    m_provider.RegWriteString(kID, "IP2", ip2);
    m_provider.RegWriteDword(kID, "Lines", static_cast<DWORD>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
      const size_t slash = lines[i].find('/');
      SaveLineSettings(kID, static_cast<DWORD>(i), lines[i].substr(0, slash).c_str(),
                       lines[i].substr(slash + 1).c_str());
    }
    m_dlg.m_bLinesChanged = FALSE;
  }

  // Lines 0 .. nSlots-1 as stored.
  static Slots Stored(size_t nSlots) {
    Slots slots;
    for (const auto& line : LoadAllLineSettings(kID, static_cast<DWORD>(nSlots))) {
      slots.push_back(std::string(line.strNumber) + "/" + std::string(line.strPassword));
    }
    return slots;
  }
  DWORD StoredLines() { return m_provider.RegReadDword(kID, "Lines", 0xDEAD); }
  std::string StoredString(const char* pszName) {
    return std::string(m_provider.RegReadString(kID, pszName, "none"));
  }

  COmbixProvider m_provider;  // the settings' registry profile
  COmbixConfigSettings m_settings{kID};
  CDlgProviderConfig m_dlg{m_settings};
};

// A line without a number is not listed; the items after it still reach their own lines.
TEST_F(ProviderConfigTest, ConfigureEditsTheLineBehindTheItem) {
  Load({"100/a", "/", "300/c"});
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
  EXPECT_EQ(Run(m_dlg), IDOK);
  EXPECT_EQ(Stored(3), (Slots{"100/a", "/", "300/new"}));
}

// Without lines left, there is nothing to remove or configure.
TEST_F(ProviderConfigTest, RemoveShiftsTheLinesAboveDown) {
  struct Case {
    Slots lines;
    int item;
    const char* number;
    Slots after;
    const char* checks;
  };
  const Case cases[] = {
      {{"100/a", "200/b", "300/c"}, 0, "100", {"200/b", "300/c", "/"}, "items 200 300"},
      {{"100/a", "200/b", "300/c"}, 2, "300", {"100/a", "200/b", "/"}, "items 100 200"},
      {{"100/a", "/", "300/c", "400/d"}, 1, "300", {"100/a", "/", "400/d", "/"}, "items 100 400"},
      {{"100/a"}, 0, "100", {"/"}, "disabled\ncheck 1006 disabled\ncheck 1009 disabled"},
  };
  for (const Case& c : cases) {
    Load(c.lines);
    Play("dialog 101\nselect 1004 " + std::to_string(c.item) +
         "\nclick 1006\nbox yes \"Do you want to delete Line " + c.number + "?\"\ncheck 1004 " +
         c.checks + "\nclick 1\n");
    EXPECT_EQ(Run(m_dlg), IDOK);
    EXPECT_EQ(StoredLines(), c.lines.size() - 1);
    EXPECT_EQ(Stored(c.lines.size()), c.after) << c.number;
    EXPECT_TRUE(m_dlg.m_bLinesChanged);
  }
}

// Addresses may hold only digits and dots, IP1 is checked first: OK refuses a stored address
// with a box and the focus on it, and leaves Cancel as the only way out, after any change of the
// lines; stored addresses that OK takes let a change take Cancel away as before. The address edits
// cannot be changed, so an empty one keeps OK disabled throughout.
TEST_F(ProviderConfigTest, RefusedStoredAddressKeepsTheDialogClosable) {
  struct Case {
    const char* ip1;
    const char* ip2;
    int nRefused;            // the edit OK refuses and focuses; -1: OK disabled; 0: accepted
    const char* pszOK = "";  // a check of OK before and after the change
  };
  const Case cases[] = {{"10.0.0.1a", "10.0.0.2", 1008}, {"10.0.0.1a", "x", 1008},
                        {"10.0.0.1", "10.0.0.2 ", 1007}, {"", "10.0.0.2", -1, "check 1 disabled\n"},
                        {"10.0.0.1", "10.0.0.2", 0},     {"0.0.0.0", "999.1", 0}};
  for (const Case& c : cases) {
    Load({"100/a"}, c.ip1, c.ip2);
    std::string end = "check 2 disabled\nclick 1\n";  // accepted: the change took Cancel away
    if (c.nRefused != 0) {
      end = "check 2 enabled\n";
      if (c.nRefused > 0) {
        end += "click 1\nbox ok \"The IP address you entered is invalid.\"\ncheck focus " +
               std::to_string(c.nRefused) + "\n";
      }
      end += "escape\n";  // which works only while Cancel does
    }
    Play(std::string("dialog 101\n") + c.pszOK +
         "click 1005\ndialog 102\nset 1008 200\nset 1009 b\nset 1010 b\nclick 1\n" + c.pszOK +
         "check 1004 items 100 200\n" + end);
    EXPECT_EQ(Run(m_dlg), c.nRefused != 0 ? IDCANCEL : IDOK) << c.ip1 << " " << c.ip2;
    EXPECT_TRUE(m_dlg.m_bLinesChanged);
    EXPECT_EQ(StoredLines(), 2u);
  }
}

}  // namespace
