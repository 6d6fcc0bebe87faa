// The TAPI declarations against published facts that the headers' own static_asserts do not
// cover: result-code types and values, a sample of constants, the variable-length forwarding
// list, the callback and export signatures, and the list of exports the library must have.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <type_traits>

#include "platform/tapi.h"
#include "platform/tspi.h"

namespace {

// Result codes must mix with LONG results without casts.
static_assert(std::is_same_v<decltype(LINEERR_OPERATIONUNAVAIL), const LONG>);
static_assert(std::is_same_v<decltype(PHONEERR_BADDEVICEID), const LONG>);
static_assert(std::is_same_v<decltype(TAPIERR_REQUESTFAILED), const LONG>);
static_assert(std::is_same_v<decltype(LINECALLSTATE_IDLE), const DWORD>);

// Signatures that the host calls through; a wrong parameter type would corrupt a real call.
static_assert(std::is_same_v<decltype(&TSPI_lineOpen),
                             LONG (*)(DWORD, HTAPILINE, HDRVLINE*, DWORD, LINEEVENT)>);
static_assert(
    std::is_same_v<decltype(&TSPI_providerInit), LONG (*)(DWORD, DWORD, DWORD, DWORD, DWORD_PTR,
                                                          DWORD_PTR, ASYNC_COMPLETION, DWORD*)>);
static_assert(std::is_same_v<decltype(&TSPI_providerEnumDevices),
                             LONG (*)(DWORD, DWORD*, DWORD*, HPROVIDER, LINEEVENT, PHONEEVENT)>);
static_assert(std::is_same_v<decltype(&TSPI_providerGenericDialogData),
                             LONG (*)(DWORD_PTR, DWORD, void*, DWORD)>);
static_assert(
    std::is_same_v<decltype(&TUISPI_providerGenericDialog),
                   LONG (*)(TUISPIDLLCALLBACK, HTAPIDIALOGINSTANCE, void*, DWORD, HANDLE)>);
static_assert(std::is_same_v<decltype(&TSPI_lineGatherDigits),
                             LONG (*)(HDRVCALL, DWORD, DWORD, char16_t*, DWORD, const char16_t*,
                                      DWORD, DWORD)>);

LONG RefuseWith(LONG code) {
  return code;
}

TEST(TapiConstants, ResultCodesAreNegativeWithPublishedBits) {
  struct Case {
    LONG code;
    DWORD published;
  };
  const Case cases[] = {
      {LINEERR_BADDEVICEID, 0x80000002},      {LINEERR_INVALADDRESSID, 0x80000011},
      {LINEERR_INVALCALLHANDLE, 0x80000018},  {LINEERR_INVALLINEHANDLE, 0x8000002B},
      {LINEERR_INVALLINESTATE, 0x8000002C},   {LINEERR_INVALPARAM, 0x80000032},
      {LINEERR_INVALPARKMODE, 0x80000034},    {LINEERR_OPERATIONFAILED, 0x80000048},
      {LINEERR_OPERATIONUNAVAIL, 0x80000049}, {LINEERR_INVALPASSWORD, 0x80000059},
      {PHONEERR_BADDEVICEID, 0x90000002},     {TAPIERR_DROPPED, 0xFFFFFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_LT(c.code, 0);
    EXPECT_EQ(static_cast<DWORD>(c.code), c.published);
    LONG rc = RefuseWith(c.code);
    EXPECT_TRUE(rc == c.code);
  }
  EXPECT_EQ(TAPIERR_DROPPED, -1);
}

TEST(TapiConstants, SampleOfPublishedValues) {
  struct Case {
    DWORD value;
    DWORD published;
  };
  const Case cases[] = {
      {LINE_CALLSTATE, 2},
      {LINE_NEWCALL, 0x1F4},
      {LINE_CREATEDIALOGINSTANCE, 0x1F7},
      {LINE_SENDDIALOGINSTANCEDATA, 0x1F8},
      {TSPI_MESSAGE_BASE, 0x1F4},
      {LINECALLSTATE_IDLE, 1},
      {LINECALLSTATE_CONNECTED, 0x100},
      {LINECALLSTATE_UNKNOWN, 0x8000},
      {LINECALLSELECT_CALL, 4},
      {LINEDEVCAPFLAGS_DIALBILLING, 0x40},
      {LINEDEVCAPFLAGS_DIALQUIET, 0x80},
      {LINEDEVCAPFLAGS_DIALDIALTONE, 0x100},
      {LINEDEVCAPFLAGS_MULTIPLEADDR, 0x10},
      {LINEDEVSTATUSFLAGS_CONNECTED | LINEDEVSTATUSFLAGS_INSERVICE, 5},
      {LINEFORWARDMODE_UNCOND | LINEFORWARDMODE_BUSY | LINEFORWARDMODE_NOANSW, 0x111},
      {LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM, 0x14},
      {LINETRANSFERMODE_CONFERENCE, 2},
      {LINEPARKMODE_NONDIRECTED, 2},
      {STRINGFORMAT_UNICODE, 3},
      {TUISPIDLL_OBJECT_DIALOGINSTANCE, 4},
      {TAPIMAXDESTADDRESSSIZE, 80},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value, c.published);
}

// The forwarding list runs on past its declared single entry, 24 bytes an entry.
TEST(TapiLayout, ForwardListEntriesFollowEachOther) {
  alignas(LINEFORWARDLIST) unsigned char buffer[sizeof(LINEFORWARDLIST) + sizeof(LINEFORWARD)] = {};
  auto* list = reinterpret_cast<LINEFORWARDLIST*>(buffer);
  list->dwNumEntries = 2;
  LINEFORWARD* entries = list->ForwardList;
  entries[0].dwForwardMode = LINEFORWARDMODE_BUSY;
  (entries + 1)->dwForwardMode = LINEFORWARDMODE_NOANSW;
  DWORD second = 0;
  std::memcpy(&second, buffer + 8 + 24, sizeof(second));
  EXPECT_EQ(second, LINEFORWARDMODE_NOANSW);
  EXPECT_EQ(sizeof(buffer), 56u);
}

// Pointer-sized event parameters carry an object address whole.
TEST(TapiLayout, LineEventPassesPointerSizedParameters) {
  static DWORD_PTR seen = 0;
  LINEEVENT event = [](HTAPILINE, HTAPICALL, DWORD dwMsg, DWORD_PTR p1, DWORD_PTR, DWORD_PTR) {
    if (dwMsg == LINE_NEWCALL) seen = p1;
  };
  int object = 0;
  event(nullptr, nullptr, LINE_NEWCALL, reinterpret_cast<DWORD_PTR>(&object), 0, 0);
  EXPECT_EQ(reinterpret_cast<int*>(seen), &object);
}

// The export list that the product test swaps in: exactly the 66 entry points.
TEST(TspiExports, FullListHasTheSixtySixEntryPoints) {
  const auto path = std::filesystem::path(__FILE__).parent_path() / ".." / "product" /
                    "expected_exports.full.txt";
  std::ifstream in(path);
  ASSERT_TRUE(in) << path;
  std::set<std::string> names;
  int lines = 0, line_fns = 0, provider_fns = 0, ui_fns = 0;
  for (std::string name; std::getline(in, name);) {
    ++lines;
    names.insert(name);
    if (name.rfind("TSPI_line", 0) == 0) ++line_fns;
    if (name.rfind("TSPI_provider", 0) == 0) ++provider_fns;
    if (name.rfind("TUISPI_", 0) == 0) ++ui_fns;
  }
  EXPECT_EQ(lines, 66);
  EXPECT_EQ(names.size(), 66u);
  EXPECT_EQ(line_fns, 50);
  EXPECT_EQ(provider_fns, 10);
  EXPECT_EQ(ui_fns, 6);
  EXPECT_TRUE(names.count("TSPI_lineOpen"));
  EXPECT_TRUE(names.count("TSPI_providerGenericDialogData"));
  EXPECT_TRUE(names.count("TUISPI_providerGenericDialog"));
  EXPECT_FALSE(names.count("TSPI_lineAccept"));  // optional, not offered
}

}  // namespace
