#include "framework/dial_info.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/tapi.h"

namespace {

struct Entry {
  DWORD partial;
  std::string number;
  std::string name;
  std::string sub;
  bool operator==(const Entry&) const = default;
  friend std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << e.partial << ' ' << e.number << '^' << e.name << '|' << e.sub;
  }
};

struct ParseCase {
  const char* label;
  std::string address;
  std::optional<DWORD> devCaps;   // no value: no line
  std::optional<DWORD> addrCaps;  // no value: no address
  LONG result;
  std::vector<Entry> entries;
};

constexpr DWORD kMulti = LINEDEVCAPFLAGS_MULTIPLEADDR;
constexpr DWORD kAllDial =
    LINEDEVCAPFLAGS_DIALBILLING | LINEDEVCAPFLAGS_DIALQUIET | LINEDEVCAPFLAGS_DIALDIALTONE;
constexpr DWORD kPartial = LINEADDRCAPFLAGS_PARTIALDIAL;
constexpr DWORD kTone = LINEDEVCAPFLAGS_DIALDIALTONE;
constexpr LONG kTooLong = LINEERR_INVALPOINTER;
const std::nullopt_t kNone = std::nullopt;

std::vector<Entry> Entries(const CADObArray& arr) {
  std::vector<Entry> out;
  for (INT_PTR i = 0; i < arr.GetSize(); ++i) {
    auto* p = static_cast<DIALINFO*>(arr.GetAt(i));
    out.push_back({p->fIsPartialAddress, p->strNumber.GetString(), p->strName.GetString(),
                   p->strSubAddress.GetString()});
  }
  return out;
}

const std::vector<ParseCase>& Cases() {
  const std::string k80(80, '1');
  const std::string kName(99, 'n');
  static const std::vector<ParseCase> cases = {
      {"blank dropped, line", "555 1234", 0u, kNone, 0, {{0, "5551234", "", ""}}},
      {"sub then name", "5551234|22^Jones", 0u, kNone, 0, {{0, "5551234", "Jones", "22"}}},
      {"name then sub", "5551234^Jones|22", 0u, kNone, 0, {{0, "5551234", "Jones|22", "22"}}},
      {"sub cut at plus", "5551234|22+9", 0u, kNone, 0, {{0, "5551234", "", "22"}}},
      {"name kept as given", "123^jones smith", 0u, kNone, 0, {{0, "123", "jones smith", ""}}},
      {"w with dial tone", "w5551234", kTone, kNone, 0, {{0, "W5551234", "", ""}}},
      {"w without dial tone", "w5551234", 0u, kNone, LINEERR_DIALDIALTONE, {}},
      {"w without a line", "w5551234", kNone, kNone, 0, {{0, "W5551234", "", ""}}},
      {"partial allowed", "5551234;", 0u, kPartial, 0, {{1, "5551234", "", ""}}},
      {"partial refused", "5551234;", 0u, 0u, LINEERR_INVALPOINTER, {}},
      {"partial, no address", "5551234;", 0u, kNone, 0, {{1, "5551234", "", ""}}},
      {"blank before semicolon", "5551234 ;", kNone, kNone, 0, {{1, "5551234", "", ""}}},
      {"blank after semicolon", "5551234; ", kNone, kNone, 0, {{1, "5551234", "", ""}}},
      {"only one semicolon taken", "123;;", kNone, kNone, 0, {{1, "123", "", ""}}},
      {"two, multiple", "111\r\n222", kMulti, kNone, 0, {{0, "111", "", ""}, {0, "222", "", ""}}},
      {"two, single address line", "111\r\n222", 0u, kNone, 0, {{0, "111", "", ""}}},
      {"two, no line", "111\r\n222", kNone, kNone, 0, {{0, "111", "", ""}, {0, "222", "", ""}}},
      {"prompt, single", "111\r\n222?", 0u, kNone, LINEERR_DIALPROMPT, {}},
      {"prompt in the name", "123^Who?", kNone, kNone, LINEERR_DIALPROMPT, {}},
      {"trailing break", "111\r\n", kMulti, kNone, 0, {{0, "111", "", ""}}},
      {"two trailing breaks", "1\r\n\r\n", kMulti, kNone, 0, {{0, "1", "", ""}, {0, "", "", ""}}},
      {"only a break", "\r\n", kMulti, kNone, 0, {{0, "", "", ""}}},
      {"lone CR and LF are no break", "1\r2\n3", kMulti, kNone, 0, {{0, "123", "", ""}}},
      {"80 characters", k80, kNone, kNone, 0, {{0, k80, "", ""}}},
      {"81 characters", k80 + "1", kNone, kNone, kTooLong, {}},
      {"81 before blanks go", k80.substr(40) + std::string(41, ' '), kNone, kNone, kTooLong, {}},
      {"81 before filtering", std::string(41, '-') + k80.substr(40), kNone, kNone, kTooLong, {}},
      {"long name free", k80 + "^" + kName, kNone, kNone, 0, {{0, k80, kName, ""}}},
      {"only a name", "^Jones", 0u, kNone, 0, {{0, "", "Jones", ""}}},
      {"punctuation dropped", "+1 (212) 555-1234.", kNone, kNone, 0, {{0, "+12125551234", "", ""}}},
      {"dial letters upper-cased", "abcd*#!wpt,x", kNone, kNone, 0, {{0, "ABCD*#!WPT,", "", ""}}},
      {"billing refused", "123$456", 0u, kNone, LINEERR_DIALBILLING, {}},
      {"quiet refused", "123@456", 0u, kNone, LINEERR_DIALQUIET, {}},
      {"all allowed", "1$2@3W4", kAllDial, kNone, 0, {{0, "1$2@3W4", "", ""}}},
      {"billing checked first", "W@$", 0u, kNone, LINEERR_DIALBILLING, {}},
      {"quiet before dial tone", "W@", LINEDEVCAPFLAGS_DIALBILLING, kNone, LINEERR_DIALQUIET, {}},
      {"partial before line checks", "W1;", 0u, 0u, LINEERR_INVALPOINTER, {}},
      {"line checks skip name", "123^W$@", 0u, kNone, 0, {{0, "123", "W$@", ""}}},
      {"second address fails", "111\r\nW22", kMulti, kNone, LINEERR_DIALDIALTONE, {}},
      {"empty string", "", kMulti, kPartial, 0, {}},
      // UTF-8 bytes (\303\251 is e-acute, \303\274 u-umlaut): kept in name and subaddress,
      // dropped from the number, never upper-cased.
      {"multibyte",
       "5\303\2511|\303\251^M\303\274ller",
       kNone,
       kNone,
       0,
       {{0, "51", "M\303\274ller", "\303\251"}}},
  };
  return cases;
}

TEST(ParseDialableAddressList, Examples) {
  for (const ParseCase& c : Cases()) {
    SCOPED_TRACE(c.label);
    CADObArray arr;
    LONG rc = ParseDialableAddressList(c.devCaps, c.addrCaps, c.address.c_str(), arr);
    EXPECT_EQ(rc, c.result);
    EXPECT_EQ(Entries(arr), c.entries);
  }
}

TEST(ParseDialableAddressList, AppendsAfterExistingEntries) {
  CADObArray arr;
  ASSERT_EQ(ParseDialableAddressList(kNone, kNone, "111", arr), 0);
  ASSERT_EQ(ParseDialableAddressList(kNone, kNone, "222", arr), 0);
  EXPECT_EQ(ParseDialableAddressList(0u, 0u, nullptr, arr), 0);  // adds nothing
  EXPECT_EQ(Entries(arr), (std::vector<Entry>{{0, "111", "", ""}, {0, "222", "", ""}}));
}

// A failure deletes what the array held before the call too (checked for leaks and double
// frees under the address sanitizer: the array deletes whatever is left when it goes).
TEST(ParseDialableAddressList, FailureEmptiesTheWholeArray) {
  const struct {
    const char* address;
    LONG result;
  } failures[] = {
      {"1?", LINEERR_DIALPROMPT},
      {"111\r\n$", LINEERR_DIALBILLING},
      {"1;", LINEERR_INVALPOINTER},
  };
  for (const auto& f : failures) {
    SCOPED_TRACE(f.address);
    CADObArray arr;
    ASSERT_EQ(ParseDialableAddressList(kMulti, 0u, "999\r\n888", arr), 0);
    ASSERT_EQ(arr.GetSize(), 2);
    EXPECT_EQ(ParseDialableAddressList(kMulti, 0u, f.address, arr), f.result);
    EXPECT_EQ(arr.GetSize(), 0);
  }
}

TEST(ParseDialableAddressList, OwnAllowedCharacters) {
  CADObArray arr;
  ASSERT_EQ(ParseDialableAddressList(kNone, kNone, "*72 555-w1;", arr, "0123456789"), 0);
  EXPECT_EQ(Entries(arr), (std::vector<Entry>{{1, "725551", "", ""}}));
  // A dial-tone wait outside the caller's set is dropped, so the line check never sees it.
  CADObArray waits;
  ASSERT_EQ(ParseDialableAddressList(0u, kNone, "W1", waits, "0123456789"), 0);
  EXPECT_EQ(Entries(waits)[0].number, "1");
}

TEST(FilterDialChars, KeepsDigitsAndExtras) {
  EXPECT_EQ(FilterDialChars("*72#555", "#*"), CString("*72#555"));
  EXPECT_EQ(FilterDialChars("(212) *555-#1234", nullptr), CString("2125551234"));
  EXPECT_EQ(FilterDialChars("abc123", "abc"), CString("abc123"));
  EXPECT_EQ(FilterDialChars("abc123", "ABC"), CString("123"));  // nothing is upper-cased
  EXPECT_EQ(FilterDialChars(nullptr, "#"), CString(""));
}

TEST(FormatTenDigitNumber, Examples) {
  EXPECT_EQ(FormatTenDigitNumber("(212) 555-1234"), CString("+1 (212) 5551234"));
  EXPECT_EQ(FormatTenDigitNumber("12125551234"), CString("12125551234"));
  EXPECT_EQ(FormatTenDigitNumber("555-1234"), CString("5551234"));
  EXPECT_EQ(FormatTenDigitNumber("*212#555#1234"), CString("+1 (212) 5551234"));
  EXPECT_EQ(FormatTenDigitNumber(nullptr), CString(""));
}

}  // namespace
