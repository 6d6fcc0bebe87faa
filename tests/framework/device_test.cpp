// The device: creating its lines and phones, look-ups, routing of data, the hooks towards the
// provider, completion reports and the interval service.
#include "framework/device.h"

#include "framework/phone_connection.h"
#include "tests/framework/framework_doubles.h"

namespace {

// A connection that records the data that reaches it.
template <class Connection>
class Recording : public Connection {
 public:
  BOOL ProcessData(DWORD dwData, LPCVOID, DWORD) override {
    received.push_back(dwData);
    return accept;
  }
  std::vector<DWORD> received;
  BOOL accept = FALSE;
};

class RecordingLine : public Recording<CTSPILineConnection> {
  DECLARE_DYNCREATE(RecordingLine)
 public:
  void OnIntervalTimer() override {
    if (throwOnce.exchange(false)) throw std::runtime_error("hook failed");
    ticks.fetch_add(1);
  }
  std::atomic<int> ticks{0};
  std::atomic<bool> throwOnce{false};
};
IMPLEMENT_DYNCREATE(RecordingLine, CTSPILineConnection)

class RecordingPhone : public Recording<CTSPIPhoneConnection> {
  DECLARE_DYNCREATE(RecordingPhone)
};
IMPLEMENT_DYNCREATE(RecordingPhone, CTSPIPhoneConnection)

class HookProvider : public CServiceProvider {
 public:
  HookProvider() : CServiceProvider("OMBIX.TSP", "Test Provider", 0x00020001) {
    SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(RecordingLine), nullptr, nullptr, nullptr,
                     RUNTIME_CLASS(RecordingPhone));
  }
  BOOL AcceptNewRequest(CTSPIConnection*, CTSPIRequest*, int& nPosition) override {
    nPosition = 3;
    return FALSE;
  }
};

// A device that runs the interval service.
class IntervalDevice : public CTSPIDevice {
 public:
  BOOL Start(DWORD dwMsecs) { return StartIntervalTimer(dwMsecs); }
};

using fw_test::TapiLog;
using fw_test::WaitUntil;

RecordingLine* Line(CTSPIDevice& device, INT_PTR nIndex) {
  return static_cast<RecordingLine*>(device.GetLineByIndex(nIndex));
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { TapiLog::Get().Reset(); }
  HookProvider sp;
};

TEST_F(DeviceTest, InitCreatesLinesAndPhonesInDeviceIDOrder) {
  CTSPIDevice device;
  ASSERT_TRUE(device.Init(4, 5, 30, 3, 2, nullptr, nullptr));
  ASSERT_EQ(device.GetLineCount(), 3);
  ASSERT_EQ(device.GetPhoneCount(), 2);
  for (INT_PTR i = 0; i < 3; ++i) {
    CTSPILineConnection* pLine = device.GetLineByIndex(i);
    ASSERT_NE(pLine, nullptr);
    EXPECT_EQ(pLine->GetDeviceID(), static_cast<DWORD>(5 + i));
    EXPECT_EQ(pLine->GetDevice(), &device);
    EXPECT_EQ(pLine->GetPermanentDeviceID(), (4u << 16) + static_cast<DWORD>(i));
  }
  // (Finding them by device ID: device_lookup_test.)
  EXPECT_EQ(device.GetLineByIndex(-1), nullptr);
  EXPECT_EQ(device.GetLineByIndex(3), nullptr);
  EXPECT_EQ(device.GetProviderID(), 4u);
  EXPECT_EQ(device.GetPhoneByIndex(1)->GetDeviceID(), 31u);
  EXPECT_EQ(device.GetPhoneByIndex(2), nullptr);
}

TEST_F(DeviceTest, InitFailsWhenALineCannotBeMade) {
  sp.SetObjectClasses(nullptr, nullptr, RUNTIME_CLASS(CTSPIConnection), nullptr, nullptr, nullptr,
                      nullptr);
  CTSPIDevice device;
  EXPECT_FALSE(device.Init(1, 0, 0, 2, 0, nullptr, nullptr));
  EXPECT_EQ(device.GetLineCount(), 0);  // no empty slot is ever left in the array
}

TEST_F(DeviceTest, CompletionReachesTapiOnlyWithAnIDAndACallback) {
  CTSPIDevice device;
  ASSERT_TRUE(device.Init(1, 0, 0, 1, 0, nullptr, &TapiLog::Completion));
  auto* pTracked = new CTSPIRequest;
  pTracked->Init(device.GetLineByIndex(0), nullptr, nullptr, REQUEST_LINEHOLD, 42,
                 static_cast<LPVOID>(nullptr), 0);
  // (ID 0 is never reported: QueueTest.RequestIdZeroIsNeverReportedButRunsEveryFollowUp.)
  device.ReportRequestResult(LINEERR_OPERATIONFAILED, pTracked);
  const std::map<DWORD, std::vector<LONG>> reported = {{42, {LINEERR_OPERATIONFAILED}}};
  EXPECT_EQ(TapiLog::Get().Results(), reported);

  CTSPIDevice silent;
  ASSERT_TRUE(silent.Init(2, 5, 0, 0, 0, nullptr, nullptr));
  silent.ReportRequestResult(0, pTracked);
  EXPECT_EQ(TapiLog::Get().Results(), reported);

  pTracked->Release();
}

TEST_F(DeviceTest, RouteDataReachesOneConnectionOrWalksThemAll) {
  CTSPIDevice device;
  ASSERT_TRUE(device.Init(1, 0, 10, 3, 2, nullptr, nullptr));
  auto* phone1 = static_cast<RecordingPhone*>(device.GetPhoneByIndex(1));

  // One line: ID = index + 1.
  EXPECT_FALSE(device.RouteData(2, 11, nullptr, 0));
  EXPECT_EQ(Line(device, 1)->received, std::vector<DWORD>{11});
  EXPECT_TRUE(Line(device, 0)->received.empty());

  // One phone: bit 15 set.
  phone1->accept = TRUE;
  EXPECT_TRUE(device.RouteData(ROUTE_PHONE_FLAG | 2, 12, nullptr, 0));
  EXPECT_EQ(phone1->received, std::vector<DWORD>{12});

  // No such connection.
  EXPECT_FALSE(device.RouteData(4, 13, nullptr, 0));
  EXPECT_FALSE(device.RouteData(ROUTE_PHONE_FLAG | 3, 13, nullptr, 0));
  EXPECT_FALSE(device.RouteData(ROUTE_PHONE_FLAG, 13, nullptr, 0));

  // Everyone, stopping at the first taker of a buffer.
  Line(device, 1)->accept = TRUE;
  const char data[] = "x";
  EXPECT_TRUE(device.RouteData(0, 14, data, sizeof(data)));
  EXPECT_EQ(Line(device, 0)->received, std::vector<DWORD>{14});
  EXPECT_EQ(Line(device, 1)->received, (std::vector<DWORD>{11, 14}));
  EXPECT_TRUE(Line(device, 2)->received.empty());

  // Without a buffer nobody stops the walk.
  device.RouteData(0, 15, nullptr, 0);
  EXPECT_EQ(Line(device, 2)->received, std::vector<DWORD>{15});
  EXPECT_EQ(phone1->received, (std::vector<DWORD>{12, 15}));
}

TEST_F(DeviceTest, AcceptingARequestIsTheProvidersChoice) {
  CTSPIDevice device;
  ASSERT_TRUE(device.Init(1, 0, 0, 1, 0, nullptr, nullptr));
  int nPosition = -1;
  EXPECT_FALSE(device.AcceptNewRequest(device.GetLineByIndex(0), nullptr, nPosition));
  EXPECT_EQ(nPosition, 3);
}

TEST_F(DeviceTest, IntervalServiceSkipsRemovedConnectionsAndSurvivesAFailingHook) {
  auto* pDevice = new IntervalDevice;
  ASSERT_TRUE(pDevice->Init(1, 0, 0, 3, 0, nullptr, nullptr));
  Line(*pDevice, 1)->SetFlags(CONNFLAG_REMOVED);
  Line(*pDevice, 0)->throwOnce = true;
  ASSERT_TRUE(pDevice->Start(1));
  EXPECT_FALSE(pDevice->Start(1));  // one service at a time
  ASSERT_TRUE(WaitUntil([&] { return Line(*pDevice, 2)->ticks.load() >= 3; }));
  EXPECT_FALSE(Line(*pDevice, 0)->throwOnce.load());
  EXPECT_GE(Line(*pDevice, 0)->ticks.load(), 2);
  EXPECT_EQ(Line(*pDevice, 1)->ticks.load(), 0);
  delete pDevice;  // stops the service and joins its thread before the lines go
}

}  // namespace
