// Finding a device's lines and phones by TAPI device ID and lines by address: the first
// connection in index order with an ID wins, through IDs that repeat, that wrap around and that
// are changed after the fact (LINE_CREATE-style), on one device and over all of them.
#include <gtest/gtest.h>

#include <random>

#include "framework/phone_connection.h"
#include "tests/framework/framework_doubles.h"

namespace {

constexpr DWORD kVersion = 0x00020001;
constexpr DWORD kTemporaryIDs = 0x80000000;

// A line that takes a temporary ID of its own at initialisation, as one that TAPI learns of
// through LINE_CREATE and numbers later.
class LateLine : public CTSPILineConnection {
  DECLARE_DYNCREATE(LateLine)
 public:
  void Init(CTSPIDevice* pDevice, DWORD dwDeviceID, DWORD dwPos, DWORD_PTR dwItem) override {
    CTSPILineConnection::Init(pDevice, dwDeviceID, dwPos, dwItem);
    SetDeviceID(kTemporaryIDs + dwPos);
  }
};
IMPLEMENT_DYNCREATE(LateLine, CTSPILineConnection)

// What a walk of the array in index order finds: the reference for the index.
template <typename GetAt>
INT_PTR FirstWithID(INT_PTR nCount, GetAt getAt, DWORD dwDeviceID) {
  for (INT_PTR i = 0; i < nCount; ++i) {
    if (getAt(i)->GetDeviceID() == dwDeviceID) return i;
  }
  return -1;
}

class DeviceLookupTest : public ::testing::Test {
 protected:
  fw_test::TestProvider sp;
};

// Random renames of lines and phones over a small range of IDs, so that IDs repeat often, with
// the first IDs just below the wrap of a DWORD; after each, every ID finds what a walk finds.
TEST_F(DeviceLookupTest, LookupsAgreeWithAWalkThroughRandomRenames) {
  constexpr DWORD kLineBase = 0xFFFFFFFD;
  constexpr DWORD kPhoneBase = 3;
  constexpr INT_PTR kCount = 6;
  CTSPIDevice device;
  ASSERT_TRUE(device.Init(1, kLineBase, kPhoneBase, kCount, kCount, nullptr, nullptr));
  auto lineAt = [&](INT_PTR i) { return device.GetLineByIndex(i); };
  auto phoneAt = [&](INT_PTR i) { return device.GetPhoneByIndex(i); };
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> pickPos(0, kCount - 1);
  std::uniform_int_distribution<int> pickOffset(-3, 9);
  for (int round = 0; round < 2000; ++round) {
    const bool bPhone = round % 3 == 2;
    const DWORD dwBase = bPhone ? kPhoneBase : kLineBase;
    CTSPIConnection* pConn = bPhone ? static_cast<CTSPIConnection*>(phoneAt(pickPos(random)))
                                    : static_cast<CTSPIConnection*>(lineAt(pickPos(random)));
    pConn->SetDeviceID(dwBase + static_cast<DWORD>(pickOffset(random)));
    for (int offset = -4; offset <= 10; ++offset) {
      const DWORD lineID = kLineBase + static_cast<DWORD>(offset);
      const INT_PTR nLine = FirstWithID(kCount, lineAt, lineID);
      ASSERT_EQ(device.FindLineByDeviceID(lineID), nLine >= 0 ? lineAt(nLine) : nullptr)
          << "line ID " << lineID << " in round " << round;
      const DWORD phoneID = kPhoneBase + static_cast<DWORD>(offset);
      const INT_PTR nPhone = FirstWithID(kCount, phoneAt, phoneID);
      ASSERT_EQ(device.FindPhoneByDeviceID(phoneID), nPhone >= 0 ? phoneAt(nPhone) : nullptr)
          << "phone ID " << phoneID << " in round " << round;
    }
  }
}

TEST_F(DeviceLookupTest, LinesNumberedAfterTheFactAreFoundByTheirNewIDsOnly) {
  sp.SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(LateLine), nullptr, nullptr, nullptr,
                      nullptr);
  DWORD dwOptions = 0;
  ASSERT_EQ(sp.providerInit(kVersion, 1, 20, 0, 3, 0, nullptr, &dwOptions), 0);
  CTSPIDevice* pDevice = sp.FindDeviceByProviderID(1);
  ASSERT_NE(pDevice, nullptr);
  for (DWORD i = 0; i < 3; ++i) {
    EXPECT_EQ(sp.FindLineByDeviceID(20 + i), nullptr);
    EXPECT_EQ(sp.FindLineByDeviceID(kTemporaryIDs + i), pDevice->GetLineByIndex(i));
  }
  // TAPI numbers them in its own order; the last one takes the ID the first was created with.
  EXPECT_EQ(sp.providerCreateLineDevice(kTemporaryIDs + 2, 20), 0);
  EXPECT_EQ(sp.providerCreateLineDevice(kTemporaryIDs + 0, 40), 0);
  EXPECT_EQ(sp.providerCreateLineDevice(kTemporaryIDs + 0, 41), LINEERR_BADDEVICEID);
  EXPECT_EQ(sp.FindLineByDeviceID(20), pDevice->GetLineByIndex(2));
  EXPECT_EQ(sp.FindLineByDeviceID(40), pDevice->GetLineByIndex(0));
  EXPECT_EQ(sp.FindLineByDeviceID(kTemporaryIDs + 1), pDevice->GetLineByIndex(1));
  EXPECT_EQ(sp.FindLineByDeviceID(kTemporaryIDs + 2), nullptr);
  EXPECT_EQ(sp.FindLineByDeviceID(22), nullptr);
  sp.providerShutdown(kVersion, pDevice);
  EXPECT_EQ(sp.FindLineByDeviceID(20), nullptr);
  EXPECT_EQ(sp.FindLineByDeviceID(kTemporaryIDs + 1), nullptr);
}

TEST_F(DeviceLookupTest, OnlyTheProvidersLinesAreFoundByAddress) {
  DWORD dwOptions = 0;
  ASSERT_EQ(sp.providerInit(kVersion, 1, 0, 0, 2, 1, nullptr, &dwOptions), 0);
  ASSERT_EQ(sp.providerInit(kVersion, 2, 10, 5, 2, 0, nullptr, &dwOptions), 0);
  CTSPIDevice* pFirst = sp.FindDeviceByProviderID(1);
  CTSPIDevice* pSecond = sp.FindDeviceByProviderID(2);
  for (CTSPIDevice* pDevice : {pFirst, pSecond}) {
    for (INT_PTR i = 0; i < 2; ++i) {
      CTSPILineConnection* pLine = pDevice->GetLineByIndex(i);
      EXPECT_EQ(sp.FindLineByAddress(pLine), pLine);
      // Renumbering changes nothing about its address.
      pLine->SetDeviceID(pLine->GetDeviceID() + 100);
      EXPECT_EQ(sp.FindLineByAddress(pLine), pLine);
    }
  }
  EXPECT_EQ(pFirst->FindLineByAddress(pSecond->GetLineByIndex(0)), nullptr);
  EXPECT_EQ(sp.FindLineByAddress(pFirst->GetPhoneByIndex(0)), nullptr);
  EXPECT_EQ(sp.FindLineByAddress(pFirst), nullptr);
  const char* pInside = reinterpret_cast<const char*>(pFirst->GetLineByIndex(1)) + 8;
  EXPECT_EQ(sp.FindLineByAddress(pInside), nullptr);
  EXPECT_EQ(sp.FindLineByAddress(nullptr), nullptr);

  const void* pGone = pFirst->GetLineByIndex(0);
  sp.providerShutdown(kVersion, pFirst);
  EXPECT_EQ(sp.FindLineByAddress(pGone), nullptr);
  EXPECT_EQ(sp.FindLineByAddress(pSecond->GetLineByIndex(1)), pSecond->GetLineByIndex(1));
  sp.providerShutdown(kVersion, pSecond);
}

}  // namespace
