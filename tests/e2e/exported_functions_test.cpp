// The built OMBIX.TSP as the provider object sees itself: which optional TSPI functions its
// export table holds decides which features the framework offers.
#include <gtest/gtest.h>

#include <set>

#include "framework/function_table.h"
#include "framework/service_provider.h"
#include "platform/tspi.h"
#include "platform/win32.h"

namespace {

TEST(ExportedFunctionsTest, TheLibraryOffersExactlyItsExportedOptionalFunctions) {
  HMODULE hModule = LoadLibraryA(OMBIX_TSP_PATH);
  ASSERT_NE(hModule, nullptr);
  CServiceProvider provider("OMBIX.TSP", "VOIP Service Provider (Z9410)", 0x00020001);
  provider.DetectExportedFunctions(
      [hModule](LPCSTR pszName) { return GetProcAddress(hModule, pszName); });

  const std::set<int> offered = {1,  2,  3,  5,  9,  10, 11, 12, 13, 14, 15, 17, 18, 19, 20, 21,
                                 22, 23, 25, 26, 28, 29, 30, 31, 38, 43, 44, 45, 46, 47, 70, 71};
  for (int i = 0; i < TSPI_FUNCTION_COUNT; ++i) {
    EXPECT_EQ(provider.IsFunctionExported(static_cast<WORD>(i)), offered.count(i) ? TRUE : FALSE)
        << i << " " << TSPIFunctionNameTable[i];
  }
  EXPECT_TRUE(provider.IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_LINEMAKECALL));
  EXPECT_FALSE(provider.IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_LINEACCEPT));
  EXPECT_FALSE(provider.IsFunctionAllowed(nullptr, nullptr, nullptr, TSPI_PHONESETRING));

  // The folded forms answer without a provider operation behind them.
  auto pfnInstall = reinterpret_cast<decltype(&TSPI_providerInstall)>(
      GetProcAddress(hModule, "TSPI_providerInstall"));
  ASSERT_NE(pfnInstall, nullptr);
  EXPECT_EQ(pfnInstall(nullptr, 1), LINEERR_OPERATIONUNAVAIL);
  // The library stays loaded until the process ends; tsp-host's tests unload it.
}

}  // namespace
