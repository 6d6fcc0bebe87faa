// LoadLibraryA's search for a bare file name: the directory of the module that holds the
// platform code comes first (where the provider's companion libraries live).
#include <gtest/gtest.h>

#include <string>

#include "platform/win32.h"

namespace {

TEST(LoadLibrarySearchTest, ABareNameIsFoundInTheModulesOwnDirectory) {
  const std::string path = OMBIX_WINAPP_TESTLIB;
  const size_t slash = path.rfind('/');
  ASSERT_NE(slash, std::string::npos);
  char dir[4096];
  ASSERT_GT(GetSystemDirectoryA(dir, sizeof(dir)), 0u);
  // The test library is built next to this program, outside the loader's own search.
  ASSERT_EQ(path.substr(0, slash), dir);

  HMODULE hModule = LoadLibraryA(path.substr(slash + 1).c_str());
  ASSERT_NE(hModule, nullptr);
  EXPECT_NE(GetProcAddress(hModule, "OmbixTestExported"), nullptr);
  EXPECT_TRUE(FreeLibrary(hModule));
}

TEST(LoadLibrarySearchTest, ANameFoundNowhereFails) {
  SetLastError(0);
  EXPECT_EQ(LoadLibraryA("NO-SUCH-LIBRARY.DLL"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
}

}  // namespace
