// tsp-host's reading of variable-size structures: a part the provider places outside what it
// filled must print as empty, never be read, and text must survive the trip through UTF-16.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/tapi.h"
#include "tools/tsp-host/names.h"
#include "tools/tsp-host/var_struct_text.h"

namespace tsphost {
namespace {

// A VARSTRING-shaped buffer of 128 bytes whose provider claims the sizes given.
std::vector<DWORD> Filled(DWORD dwUsedSize, DWORD dwTotalSize = 128) {
  std::vector<DWORD> buffer = StructBuffer(128);
  buffer[0] = dwTotalSize;
  buffer[2] = dwUsedSize;
  return buffer;
}

TEST(TspHostVarStruct, PartsOutsideWhatTheProviderFilledAreNotRead) {
  struct Case {
    DWORD dwUsed, dwTotal, dwOffset, dwSize;
    bool bInside;
  };
  const Case cases[] = {
      {40, 64, 24, 16, true},           // ends exactly at dwUsedSize
      {40, 64, 24, 17, false},          // one byte past it
      {40, 64, 41, 1, false},           // starts past it
      {40, 64, 24, 0, false},           // empty
      {40, 64, 38, 0xFFFFFFFF, false},  // a size that would wrap around
      {64, 32, 24, 16, false},          // dwUsedSize larger than the structure itself
  };
  for (const Case& c : cases) {
    const std::vector<DWORD> buffer = Filled(c.dwUsed, c.dwTotal);
    EXPECT_EQ(PartInside(buffer.data(), c.dwOffset, c.dwSize), c.bInside)
        << "used " << c.dwUsed << " total " << c.dwTotal << " part " << c.dwOffset << "+"
        << c.dwSize;
    if (!c.bInside) {
      EXPECT_EQ(VarText(buffer.data(), c.dwOffset, c.dwSize, STRINGFORMAT_UNICODE), "");
      EXPECT_EQ(VarDwords(buffer.data(), c.dwOffset, c.dwSize), "");
    }
  }
}

TEST(TspHostVarStruct, AProviderCannotWidenTheBufferItWasGiven) {
  // It claims a huge total and a need that would wrap a size computation: the host neither
  // allocates that nor trusts the total beyond its own buffer.
  int nCalls = 0;
  std::vector<DWORD> buffer;
  const LONG lResult = FillStruct(buffer, [&](DWORD* pStruct) {
    ++nCalls;
    pStruct[0] = 0xFFFFFFF0;
    pStruct[1] = 0xFFFFFFFE;
    pStruct[2] = 0xFFFFFFF0;
    return 0;
  });
  EXPECT_EQ(lResult, 0);
  EXPECT_EQ(nCalls, 1);
  EXPECT_LE(buffer[0] / sizeof(DWORD), buffer.size());
  EXPECT_LE(UsedSize(buffer.data()), buffer.size() * sizeof(DWORD));
}

TEST(TspHostVarStruct, ReadsTextAndClassListsAtAnyOffset) {
  std::vector<DWORD> buffer = Filled(64);
  auto* pBytes = reinterpret_cast<char*>(buffer.data());
  const char16_t name[] = u"Line \u00e9";  // not DWORD-aligned below
  std::memcpy(pBytes + 25, name, sizeof(name));
  EXPECT_EQ(VarText(buffer.data(), 25, sizeof(name), STRINGFORMAT_ASCII), "Line \xc3\xa9");
  // An 8-bit VARSTRING without its NUL ends with its size.
  std::memcpy(pBytes + 24, "COM1xyz", 7);
  EXPECT_EQ(VarText(buffer.data(), 24, 4, STRINGFORMAT_ASCII, false), "COM1");

  const char16_t classes[] = u"tapi/line\0tapi/providerid\0";  // the array adds the last NUL
  std::memcpy(pBytes + 12, classes, sizeof(classes));
  buffer[2] = 12 + sizeof(classes);
  EXPECT_EQ(DeviceClasses(buffer.data(), 12, sizeof(classes)), "tapi/line tapi/providerid");
  // A list cut short, without its NULs, ends with its part.
  EXPECT_EQ(DeviceClasses(buffer.data(), 12, 8), "tapi");
}

TEST(TspHostNames, TextRoundTripsThroughUtf16AndFlagsNameEveryBit) {
  const std::string text = "tapi/line \xc3\xa9 \xf0\x9f\x93\x9e";
  EXPECT_EQ(ToWide(text), u"tapi/line \u00e9 \U0001F4DE");
  const std::u16string wide = ToWide(text);
  EXPECT_EQ(FromWide(wide.c_str(), wide.size()), text);
  EXPECT_EQ(ToWide("a\xff"
                   "b\xc3"),
            u"a\uFFFDb\uFFFD");

  EXPECT_EQ(FlagsOf(LineFeatureNames(), LINEFEATURE_MAKECALL | LINEFEATURE_FORWARD | 0x80000000),
            "LINEFEATURE_FORWARD|LINEFEATURE_MAKECALL|0x80000000");
  EXPECT_EQ(NameOf(StringFormatNames(), 9), "0x00000009");
}

// Every result prints as something a reader can tell apart: a name where TAPI has one, else
// what range the value lies in; and each negative one counts as an error.
TEST(TspHostVarStruct, EveryResultIsNamedOrDescribed) {
  struct Case {
    LONG lResult;
    const char* pszText;
  };
  const Case cases[] = {
      {7, "7"},
      {PHONEERR_NOMEM, "PHONEERR_NOMEM (0x9000001A)"},
      {static_cast<LONG>(0x800000FF), "0x800000FF (no LINEERR_ code known by this value)"},
      {static_cast<LONG>(0x900000FF), "0x900000FF (no PHONEERR_ code known by this value)"},
      {-1, "0xFFFFFFFF (-1, not a TAPI error code)"},
      {static_cast<LONG>(0xC0000005), "0xC0000005 (-1073741819, not a TAPI error code)"},
  };
  for (const Case& c : cases) {
    const unsigned long nBefore = FormattedErrors();
    EXPECT_EQ(FormatResult(c.lResult), c.pszText);
    EXPECT_EQ(FormattedErrors() - nBefore, c.lResult < 0 ? 1u : 0u) << c.pszText;
  }
}

// A call state's mode is read in the set its state gives it; a state without one shows its mode
// only when the provider set one anyway.
TEST(TspHostNames, CallStateModesAreReadInTheirStatesSet) {
  struct Case {
    DWORD dwState, dwMode;
    const char* pszText;
  };
  const Case cases[] = {
      {LINECALLSTATE_CONNECTED, LINECONNECTEDMODE_ACTIVE,
       "LINECALLSTATE_CONNECTED mode LINECONNECTEDMODE_ACTIVE"},
      // The same bit means something else in another state.
      {LINECALLSTATE_DIALTONE, 1, "LINECALLSTATE_DIALTONE mode LINEDIALTONEMODE_NORMAL"},
      {LINECALLSTATE_OFFERING, 2, "LINECALLSTATE_OFFERING mode LINEOFFERINGMODE_INACTIVE"},
      {LINECALLSTATE_BUSY, 1, "LINECALLSTATE_BUSY mode LINEBUSYMODE_STATION"},
      {LINECALLSTATE_SPECIALINFO, 4, "LINECALLSTATE_SPECIALINFO mode LINESPECIALINFO_REORDER"},
      {LINECALLSTATE_DISCONNECTED, LINEDISCONNECTMODE_BUSY | LINEDISCONNECTMODE_CANCELLED,
       "LINECALLSTATE_DISCONNECTED mode LINEDISCONNECTMODE_BUSY|LINEDISCONNECTMODE_CANCELLED"},
      {LINECALLSTATE_CONNECTED, 0, "LINECALLSTATE_CONNECTED mode 0"},
      {LINECALLSTATE_ONHOLD, 0, "LINECALLSTATE_ONHOLD"},
      {LINECALLSTATE_IDLE, 0x40, "LINECALLSTATE_IDLE mode 0x00000040"},
  };
  for (const Case& c : cases) EXPECT_EQ(CallStateText(c.dwState, c.dwMode), c.pszText);
  EXPECT_EQ(FlagsOf(CallOriginNames(), LINECALLORIGIN_INTERNAL | LINECALLORIGIN_INBOUND),
            "LINECALLORIGIN_INTERNAL|LINECALLORIGIN_INBOUND");
  EXPECT_EQ(FlagsOf(CallReasonNames(), LINECALLREASON_TRANSFER), "LINECALLREASON_TRANSFER");
}

// A long line is cut after a '|' or a ", " where it can be, each part within the width, the
// continuations indented, and nothing lost on the way.
TEST(TspHostNames, LongLinesWrapAtValueBoundaries) {
  struct Case {
    const char* pszName;
    std::string line;
    size_t nWidth;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"short line unchanged", "  a|b", 10, {"  a|b"}},
      {"after a bar", "  a|bb|cc|dd", 8, {"  a|bb|", "      cc|", "      dd"}},
      {"between values rather than inside one",
       "  on hold 0, on hold pending 0",
       22,
       {"  on hold 0,", "      on hold pending", "      0"}},
      {"a word longer than the width stays whole", "xxxxxxxxxxxx y", 5, {"xxxxxxxxxxxx", "    y"}},
      {"no place to cut", "  xxxxxxxxxxxx", 5, {"  xxxxxxxxxxxx"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pszName);
    const std::vector<std::string> lines = WrapText(c.line, c.nWidth);
    EXPECT_EQ(lines, c.expected);
  }
  // A capability line as long as the providers give: every part fits, and joined again they
  // are the line.
  std::string flags;
  for (DWORD dwBit = 1; dwBit != 0; dwBit <<= 1) flags += FlagsOf(LineDevStateNames(), dwBit) + "|";
  const std::string line = "  line states " + flags + " end";
  std::string joined;
  for (const std::string& part : WrapText(line, 100)) {
    EXPECT_LE(part.size(), 100u) << part;
    if (!joined.empty() && joined.back() != '|') joined += ' ';
    joined.append(part, joined.empty() ? 0 : part.find_first_not_of(' '));
  }
  EXPECT_EQ(joined, line);
}

}  // namespace
}  // namespace tsphost
