// Line handle checks and device-ID look-ups while another provider instance comes and goes and
// lines are renumbered (meant for the address and thread sanitizers): a device shut down
// meanwhile must never be read after it was deleted, and a look-up never sees an ID and the
// device's index of it disagree.
#include <gtest/gtest.h>

#include <iterator>

#include "framework/tspi_exports.h"
#include "tests/framework/framework_doubles.h"

namespace {

constexpr DWORD kVersion = 0x00020001;
constexpr int kRounds = 300;

TEST(TspiExportsStressTest, HandleChecksAndLookUpsSurviveShutdownsAndRenumbering) {
  fw_test::TestProvider sp;
  DWORD dwOptions = 0;
  ASSERT_EQ(sp.providerInit(kVersion, 1, 10, 0, 4, 0, nullptr, &dwOptions), 0);
  CTSPILineConnection* pSteady = sp.FindLineByDeviceID(10);
  CTSPILineConnection* pChecked = sp.FindLineByDeviceID(11);
  CTSPILineConnection* pMoving = sp.FindLineByDeviceID(12);
  ASSERT_TRUE(pSteady != nullptr && pChecked != nullptr && pMoving != nullptr);
  int unrelated = 0;  // memory that names no line: the check walks every device for it

  std::atomic<bool> bDone{false};
  std::thread checker([&] {
    while (!bDone.load()) {
      EXPECT_EQ(GetLiveLine(&sp, reinterpret_cast<HDRVLINE>(&unrelated)), nullptr);
      EXPECT_EQ(GetLiveLine(&sp, reinterpret_cast<HDRVLINE>(pChecked)), pChecked);
    }
  });
  std::thread renumberer([&] {
    // In and out of the device's table of moved IDs, and through the steady line's own ID,
    // which stays the steady line's: it comes first.
    const DWORD ids[] = {500, 10, 12, 501, 502, 12};
    for (size_t i = 0; !bDone.load(); ++i) pMoving->SetDeviceID(ids[i % std::size(ids)]);
    pMoving->SetDeviceID(12);
  });
  std::thread looker([&] {
    while (!bDone.load()) {
      EXPECT_EQ(sp.FindLineByDeviceID(10), pSteady);
      EXPECT_NE(sp.FindLineByDeviceID(13), nullptr);
      EXPECT_EQ(sp.FindLineByDeviceID(14), nullptr);
      // The coming and going instance's lines: found or not, never read once deleted.
      (void)sp.FindLineByDeviceID(21);
      (void)sp.FindPhoneByDeviceID(31);
    }
  });
  for (int i = 0; i < kRounds; ++i) {
    ASSERT_EQ(sp.providerInit(kVersion, 2, 20, 30, 3, 2, nullptr, &dwOptions), 0);
    EXPECT_EQ(sp.providerShutdown(kVersion, sp.FindDeviceByProviderID(2)), 0);
  }
  bDone = true;
  for (std::thread* pThread : {&checker, &renumberer, &looker}) pThread->join();
  EXPECT_EQ(sp.FindLineByDeviceID(12), pMoving);
  sp.providerShutdown(kVersion, sp.FindDeviceByProviderID(1));
}

}  // namespace
