// Line handle checks while another provider instance comes and goes (meant for the address and
// thread sanitizers): the check walks every device's lines, and a device shut down meanwhile
// must never be read after it was deleted.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "framework/line_connection.h"
#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "tests/framework/framework_doubles.h"

namespace {

constexpr DWORD kVersion = 0x00020001;
constexpr int kRounds = 300;

TEST(TspiExportsStressTest, LineHandleChecksSurviveAnotherInstanceShuttingDown) {
  fw_test::TestProvider sp;
  DWORD dwOptions = 0;
  ASSERT_EQ(sp.providerInit(kVersion, 1, 10, 0, 2, 0, nullptr, &dwOptions), 0);
  CTSPILineConnection* pLine = sp.FindLineByDeviceID(11);
  ASSERT_NE(pLine, nullptr);
  int unrelated = 0;  // memory that names no line: the check walks every device for it

  std::atomic<bool> bDone{false};
  std::thread checker([&] {
    while (!bDone.load()) {
      EXPECT_EQ(GetLiveLine(&sp, reinterpret_cast<HDRVLINE>(&unrelated)), nullptr);
      EXPECT_EQ(GetLiveLine(&sp, reinterpret_cast<HDRVLINE>(pLine)), pLine);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(sp.providerInit(kVersion, 2, 20, 0, 3, 0, nullptr, &dwOptions), 0);
    EXPECT_EQ(sp.providerShutdown(kVersion, sp.FindDeviceByProviderID(2)), 0);
  }
  bDone = true;
  checker.join();
  sp.providerShutdown(kVersion, sp.FindDeviceByProviderID(1));
}

}  // namespace
