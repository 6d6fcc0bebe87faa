// The provider dialog run as TAPI's UI process runs it, on the provider's settings, while another
// program saves settings between the user's steps.
#include <functional>
#include <string>
#include <vector>

#include "platform/tspi.h"
#include "tests/provider/provider_doubles.h"
#include "tests/provider_ui/script_fixture.h"

namespace prov_test {
namespace {

using ombix::registry_test::ReplaceCounter;
using Slots = std::vector<std::string>;  // each line as "number/password"

constexpr DWORD kID = 7;  // the dialog's provider ID

class ProviderDialogTest : public ScriptedDialogTestOn<ProviderTest> {
 protected:
  // The settings as the dialog finds them.
  void Load(const Slots& lines) {
    provider.RegWriteString(kID, "IP1", "10.0.0.1");
    provider.RegWriteString(kID, "IP2", "10.0.0.2");
    provider.RegWriteDword(kID, "Lines", static_cast<DWORD>(lines.size()));
    for (size_t i = 0; i < lines.size(); ++i) {
      const size_t slash = lines[i].find('/');
      SaveLineSettings(kID, static_cast<DWORD>(i), lines[i].substr(0, slash).c_str(),
                       lines[i].substr(slash + 1).c_str());
    }
  }
  // The dialog played to the script's end.
  void Config(const char* pszWhat) {
    EXPECT_EQ(TUISPI_providerConfig(nullptr, nullptr, kID), 0) << pszWhat;
    EXPECT_TRUE(m_script->IsComplete()) << pszWhat << "\n" << Report();
  }
  // Lines 0 .. nSlots-1 as stored.
  static Slots Stored(size_t nSlots) {
    Slots slots;
    for (const auto& line : LoadAllLineSettings(kID, static_cast<DWORD>(nSlots))) {
      slots.push_back(std::string(line.strNumber) + "/" + std::string(line.strPassword));
    }
    return slots;
  }
  DWORD StoredLines() { return provider.RegReadDword(kID, "Lines", 0xDEAD); }
  std::string StoredString(const char* pszName) {
    return std::string(provider.RegReadString(kID, pszName, "none"));
  }
};

// Each action writes its change at once in one write, from the settings as they are then; what
// another program saved while a dialog or box was open (a password, a line added, an address)
// survives the action and OK.
TEST_F(ProviderDialogTest, SavesMadeMeanwhileSurviveEachActionAndOK) {
  struct Case {
    const char* what;
    std::string script;  // the other program saves when the first inner dialog or box opens
    Slots after;
    int nWrites;  // the dialog's own
  };
  const Case cases[] = {
      {"add",
       "click 1005\ndialog 102\nset 1008 400\nset 1009 d\nset 1010 d\nclick 1\n"
       "check 1004 items 100 200 300 500 400\n",
       {"100/a", "200/b", "300/other", "500/e", "400/d"},
       1},
      {"configure",
       "click 1009\ndialog 102\nset 1009 new\nset 1010 new\nclick 1\n",
       {"100/new", "200/b", "300/other", "500/e"},
       1},
      {"remove",
       "click 1006\nbox yes\ncheck 1004 items 200 300 500\n",
       {"200/b", "300/other", "500/e", "/"},
       1},
      {"cancelled add",
       "click 1005\ndialog 102\nescape\n",
       {"100/a", "200/b", "300/other", "500/e"},
       0},
  };
  for (const Case& c : cases) {
    Load({"100/a", "200/b", "300/c"});
    ReplaceCounter counter(path_);
    ASSERT_TRUE(counter.Watching());
    int nOthers = 0;
    Play("dialog 101\n" + c.script + "click 1\n", {[&] {
           const int nBefore = counter.Count();
           SaveLineSettings(kID, 2, "300", "other");
           SaveLineSettings(kID, 3, "500", "e");
           provider.RegWriteDword(kID, "Lines", 4);
           provider.RegWriteString(kID, "IP2", "10.9.9.9");
           nOthers = counter.Count() - nBefore;
         }});
    Config(c.what);
    EXPECT_EQ(Stored(c.after.size()), c.after) << c.what;
    EXPECT_EQ(StoredLines(), c.after.back() == "/" ? c.after.size() - 1 : c.after.size()) << c.what;
    EXPECT_EQ(StoredString("IP1"), "10.0.0.1") << c.what;
    EXPECT_EQ(StoredString("IP2"), "10.9.9.9") << c.what;
    EXPECT_EQ(counter.Count() - nOthers, c.nWrites) << c.what;
  }
}

// Configure and Remove act only while the index still holds the number listed; else nothing is
// written, the list shows the settings as they are and Cancel stays.
TEST_F(ProviderDialogTest, LineChangedMeanwhileIsLeftAloneAndTheListRefreshed) {
  struct Case {
    const char* what;
    std::string script;
    std::function<void(COmbixProvider&)> meanwhile;
    const char* items;
  };
  const auto number = [](DWORD i, const char* pszNumber) {
    return [=](COmbixProvider&) { SaveLineSettings(kID, i, pszNumber, "x"); };
  };
  const Case cases[] = {
      {"configure", "select 1004 1\nclick 1009\ndialog 102\nset 1009 new\nset 1010 new\nclick 1\n",
       number(1, "222"), "100 222 300"},
      {"configure after a look", "click 1005\ndialog 102\nescape\nselect 1004 0\nclick 1009\n",
       number(0, "111"), "111 200 300"},
      {"remove", "select 1004 1\nclick 1006\nbox yes\n", number(1, "222"), "100 222 300"},
      {"remove past the count", "select 1004 2\nclick 1006\nbox yes\n",
       [](COmbixProvider& sp) { sp.RegWriteDword(kID, "Lines", 2); }, "100 200"},
  };
  for (const Case& c : cases) {
    Load({"100/a", "200/b", "300/c"});
    std::string before;
    Play("dialog 101\n" + c.script + "check 1004 items " + c.items + "\ncheck 2 enabled\nescape\n",
         {[&] {
           c.meanwhile(provider);
           before = FileText();
         }});
    Config(c.what);
    EXPECT_EQ(FileText(), before) << c.what;
  }
}

// Counted as 0, a "Lines" that is no number would have Add and Remove overwrite line 0: made so
// while the user is asked, it has them change nothing and say why.
TEST_F(ProviderDialogTest, AddAndRemoveLeaveALinesThatIsNoNumberAsItIs) {
  const std::string box =
      R"(box ok "The lines were not changed: the setting \"Lines\" is stored as REG_SZ of 2 )"
      R"(bytes, and it must be a DWORD.\n\nPlease correct \"Lines\" first.")"
      "\n";
  const std::pair<const char*, std::string> cases[] = {
      {"add", "click 1005\ndialog 102\nset 1008 400\nset 1009 d\nset 1010 d\nclick 1\n" + box},
      {"remove", "select 1004 1\nclick 1006\nbox yes\n" + box},
  };
  for (const auto& [what, script] : cases) {
    Load({"100/a", "200/b", "300/c"});
    std::string before;
    Play("dialog 101\n" + script + "check 2 enabled\nescape\n", {[&] {
           const CServiceProvider::REGRAWVALUE text{REG_SZ, {'3', 0}};
           ASSERT_TRUE(provider.RegWriteValues(kID, {{"Lines", 0, "", 0, text}}));
           before = FileText();
         }});
    Config(what);
    EXPECT_EQ(FileText(), before) << what;
  }
}

// One write of the file per action, however many lines there are.
TEST_F(ProviderDialogTest, OneWritePerActionAtTheMostLines) {
  std::vector<CServiceProvider::REGPROFILEVALUE> values{
      {"Lines", REG_DWORD, "", kMaxLinesPerDevice}};
  for (DWORD i = 0; i < kMaxLinesPerDevice; ++i) {
    values.push_back(
        {LineValueName(kLineNumberFormat, i), REG_SZ, std::to_string(1000 + i).c_str(), 0});
    values.push_back({LineValueName(kLinePasswordFormat, i), REG_SZ, "pw", 0});
  }
  ASSERT_TRUE(provider.RegWriteValues(kID, values));
  ReplaceCounter counter(path_);
  ASSERT_TRUE(counter.Watching());
  std::vector<int> counts;
  Play(
      "dialog 101\nselect 1004 0\nclick 1006\nbox yes\nclick 1009\ndialog 102\n"
      "set 1009 new\nset 1010 new\nclick 1\nclick 1005\ndialog 102\nset 1008 1\nset 1009 a\n"
      "set 1010 a\nclick 1\nclick 1\n",
      {[&] { counts.push_back(counter.Count()); }, [&] { counts.push_back(counter.Count()); },
       [&] { counts.push_back(counter.Count()); }});
  Config("most lines");
  counts.push_back(counter.Count());
  // Nothing before the removal's box; then one write each for Remove, Configure and Add; OK
  // finds both addresses missing, shown as 0.0.0.0, and writes them in one.
  EXPECT_EQ(counts, (std::vector<int>{0, 1, 2, 4}));
  EXPECT_EQ(StoredLines(), kMaxLinesPerDevice);
  EXPECT_EQ(Stored(1), (Slots{"1001/new"}));
  EXPECT_EQ(LoadAllLineSettings(kID, kMaxLinesPerDevice).back().strNumber, CString("1"));
  EXPECT_EQ(StoredString("IP2"), "0.0.0.0");
}

}  // namespace
}  // namespace prov_test
