// The TAPI declarations against published facts that the headers' own static_asserts do not
// cover: result-code types, pointer-sized parameters, the callback and export signatures, and the
// list of exports the library must have.
#include <gtest/gtest.h>

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
// Pointer-sized event parameters carry an object address whole.
static_assert(sizeof(DWORD_PTR) == sizeof(void*));

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

// The export list the product test checks the library against: exactly the 66 entry points.
TEST(TspiExports, FullListHasTheSixtySixEntryPoints) {
  // Named by the build: a compiler cache may shorten __FILE__ to a path relative to the build.
  const std::filesystem::path path = OMBIX_EXPECTED_EXPORTS;
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
