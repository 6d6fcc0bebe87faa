// The provider-ID exchange on the generic dialog data channel, both halves: the UI half
// (QueryProviderIDThroughUI) talks to the provider half (TSPI_providerGenericDialogData)
// through a UI callback that plays TAPI and calls the provider in place.
#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

#include "framework/service_provider.h"
#include "framework/tspi_exports.h"
#include "platform/tspi.h"

namespace {

constexpr DWORD kProviderID = 42;
constexpr DWORD kLineBase = 10;
constexpr DWORD kPhoneBase = 30;

// Counts the dialog data that reaches the provider's own operation.
class TestProvider : public CServiceProvider {
 public:
  TestProvider() : CServiceProvider("OMBIX.TSP", "Test Provider", 0x00020001) {}
  LONG providerGenericDialogData(CTSPIDevice*, CTSPILineConnection*, CTSPIPhoneConnection*,
                                 HDRVDIALOGINSTANCE, LPVOID, DWORD) override {
    ++received;
    return 0;
  }
  int received = 0;
};

// TAPI's side of the channel: hands the UI's message to the provider and, like TAPI, copies
// the provider's answer back. Records the object type it was given.
std::vector<DWORD> g_objectTypes;
LONG PlayTapi(DWORD_PTR dwObjectID, DWORD dwObjectType, LPVOID lpParams, DWORD dwSize) {
  g_objectTypes.push_back(dwObjectType);
  std::vector<BYTE> copy(static_cast<BYTE*>(lpParams), static_cast<BYTE*>(lpParams) + dwSize);
  const LONG lResult =
      TSPI_providerGenericDialogData(dwObjectID, dwObjectType, copy.data(), dwSize);
  std::memcpy(lpParams, copy.data(), dwSize);
  return lResult;
}

using Answer = std::pair<LONG, DWORD>;  // the result and the provider ID the UI learnt

class UiExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_objectTypes.clear();
    DWORD dwOptions = 0;
    ASSERT_EQ(
        sp.providerInit(0x00020001, kProviderID, kLineBase, kPhoneBase, 2, 1, nullptr, &dwOptions),
        0);
  }
  static Answer Query(TUISPIDLLCALLBACK lpfnChannel, DWORD dwDeviceID, BOOL bLine) {
    DWORD dwProviderID = 0xEEEE;
    const LONG lResult =
        CServiceProvider::QueryProviderIDThroughUI(lpfnChannel, dwDeviceID, bLine, &dwProviderID);
    return {lResult, dwProviderID};
  }
  TestProvider sp;
};

TEST_F(UiExchangeTest, TheUiLearnsTheProviderIDOfALineOrPhone) {
  EXPECT_EQ(Query(&PlayTapi, kLineBase + 1, TRUE), Answer(0, kProviderID));
  EXPECT_EQ(Query(&PlayTapi, kPhoneBase, FALSE), Answer(0, kProviderID));
  EXPECT_EQ(g_objectTypes, (std::vector<DWORD>{TUISPIDLL_OBJECT_LINEID, TUISPIDLL_OBJECT_PHONEID}));
  EXPECT_EQ(sp.received, 0);  // answered before the provider's own operation
}

// An unknown device gives the provider's error; only a successful answer with the answer code
// gives an ID.
TEST_F(UiExchangeTest, AnUnknownDeviceOrAFailedOrMissingAnswerGivesNoID) {
  EXPECT_EQ(Query(&PlayTapi, kLineBase + 5, TRUE), Answer(LINEERR_BADDEVICEID, 0));
  // A line's device ID asked for as a phone is no phone.
  EXPECT_EQ(Query(&PlayTapi, kLineBase, FALSE), Answer(PHONEERR_BADDEVICEID, 0));
  // A far side that answers with the right code but fails the call, and one that leaves the
  // message as it was.
  const auto answerButFail = [](DWORD_PTR, DWORD, LPVOID lpParams, DWORD) -> LONG {
    const DWORD answer[2] = {TSPI_DLGDATA_PROVIDERID_ANSWER, 77};
    std::memcpy(lpParams, answer, sizeof(answer));
    return LINEERR_OPERATIONFAILED;
  };
  EXPECT_EQ(Query(answerButFail, kLineBase, TRUE), Answer(LINEERR_OPERATIONFAILED, 0));
  EXPECT_EQ(Query([](DWORD_PTR, DWORD, LPVOID, DWORD) -> LONG { return 0; }, kLineBase, TRUE),
            Answer(0, 0));
}

}  // namespace
