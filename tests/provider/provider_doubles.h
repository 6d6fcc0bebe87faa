// Doubles for the switch provider's tests: a provider on a registry file of its own, a device
// whose link talks to an in-process switch-sim with short time-outs, and a line that records what
// the device hands it and keeps its monitor as the switch line does.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/device.h"
#include "provider/ombix_call.h"
#include "provider/ombix_device.h"
#include "provider/ombix_line.h"
#include "provider/ombix_provider.h"
#include "provider/ombix_settings.h"
#include "switchapi/ombix_message_types.h"
#include "tests/platform/registry_test_support.h"
#include "tools/switch-sim/switch_sim.h"

namespace prov_test {

constexpr DWORD kProviderID = 4;
// How long a line waits after a lost link for the switch to list its calls: the list comes at
// once, but a loaded sanitizer build may take a while to carry it, and a late list would end
// calls that are still live. Tests that look at the calls after a relogin wait this long.
constexpr DWORD kTestResyncDelay = 1500;
const std::string kDeviceKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Telephony\\VOIP Service Provider "
    "(Z9410)\\Device4";

inline bool WaitUntil(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// What the link of every TestDevice made from here on uses.
struct DeviceSetup {
  static inline WORD wServerPort = 0;
  static inline DWORD dwLoginWait = 5000;
  // A login round ends after one receive wait without an answer; after the last round the link
  // logs in anew from another socket, and the switch counts a late answered login as well.
  static inline DWORD dwReceiveWait = 50;
};

class TestDevice : public COmbixDevice {
  DECLARE_DYNCREATE(TestDevice)
 public:
  TestDevice() : COmbixDevice(Options(), DeviceSetup::dwLoginWait) {}
  // The worker calls through this object's table; it ends before that table is taken down.
  ~TestDevice() override { StopThread(); }

 private:
  static OMBIXLINKOPTIONS Options() {
    OMBIXLINKOPTIONS options;
    options.dwAckTimeout = 500;
    options.dwReceiveWait = DeviceSetup::dwReceiveWait;
    options.dwBackOffStep = 20;
    options.dwBackOffMax = 100;
    options.dwLoginSpacing = 0;
    options.wServerPort = DeviceSetup::wServerPort;
    return options;
  }
};

class RecordingLine : public COmbixLine {
  DECLARE_DYNCREATE(RecordingLine)
 public:
  // Its own monitor answer sets nothing an open could wait for.
  RecordingLine() : COmbixLine(OMBIXLINETIMING{.dwMonitorStartWait = 0}) {}
  void SetInService() override {
    Record("InService");
    COmbixLine::SetInService();
  }
  void SetOutOfService(BOOL bReconnect) override {
    Record(bReconnect ? "OutOfService+reconnect" : "OutOfService");
    COmbixLine::SetOutOfService(bReconnect);
  }
  void RestartMonitor() override {
    Record("RestartMonitor");
    if (auto* pDevice = dynamic_cast<COmbixDevice*>(GetDevice())) {
      pDevice->MonitorStart(GetDeviceID(), GetNumber(), GetPassword(), "");
    }
  }
  void OnMonitorStartRsp(const COmbixMonitorRsp* pRsp) override {
    Record("MonitorStartRsp " + std::to_string(pRsp->dwError));
    if (pRsp->dwError == 0) SetMonitorID(pRsp->dwMonitorID);
  }
  void OnGetCallForwardingRsp(const COmbixCallForwardingRsp* pRsp) override {
    Record("ForwardingRsp " + std::string(pRsp->strForwardBusy));
  }
  void OnQueryPhoneConfigRsp(const COmbixPhoneConfigRsp* pRsp) override {
    Record("PhoneConfigRsp " + std::to_string(pRsp->dwMaxCalls));
  }
  void OnResponse(const COmbixRsp* pRsp) override {
    Record("Response " + std::to_string(pRsp->dwMsgType));
  }
  void OnPhoneStateEvent(const COmbixPhoneStateEvent* pEvent) override {
    Record("PhoneState " + std::to_string(pEvent->dwEvent) + " " +
           std::to_string(pEvent->dwTotalMessages));
  }
  void OnCallConnectionEvent(const COmbixCallConnectionEvent* pEvent) override {
    Record("CallEvent " + std::to_string(pEvent->dwEvent));
  }

  std::vector<std::string> Calls() {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_calls;
  }
  int Count(const std::string& strWhat) {
    int n = 0;
    for (const std::string& call : Calls()) n += call == strWhat;
    return n;
  }
  bool WaitFor(const std::string& strWhat, int nTimes = 1) {
    return WaitUntil([&] { return Count(strWhat) >= nTimes; });
  }

 private:
  void Record(const std::string& strWhat) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_calls.push_back(strWhat);
  }
  std::mutex m_mx;
  std::vector<std::string> m_calls;
};

// The switch's number of a call as the object id the simulator gives it.
inline ObjectId IdOfCall(DWORD dwNumber) {
  ObjectId oid{};
  for (int i = 0; i < 4; ++i) oid.abId[8 + i] = static_cast<BYTE>(dwNumber >> (24 - 8 * i));
  return oid;
}

// A switch provider on a registry file of its own, removed afterwards, and the switch-sim its
// devices call, stopped after them.
class ProviderTest : public ombix::registry_test::RegistryFileTest {
 protected:
  void TearDown() override {
    provider.providerShutdown(0x00020001, provider.FindDeviceByProviderID(kProviderID));
    if (sim) sim->Stop();
    RegistryFileTest::TearDown();
  }
  static void NoCompletion(DRV_REQUESTID, LONG) {}
  // As TAPI starts the provider, with the line count it found in the settings: "Lines" is stored
  // as dwLines first when the test stored none (the start keeps the lines below "Lines").
  LONG Init(DWORD dwLines, ASYNC_COMPLETION pfnCompletion = &NoCompletion) {
    constexpr DWORD kNone = 0xDEADBEEF;
    if (provider.RegReadDword(kProviderID, kSettingLines, kNone) == kNone) {
      provider.RegWriteDword(kProviderID, kSettingLines, dwLines);
    }
    return provider.providerInit(0x00020001, kProviderID, 10, 0, dwLines, 0, pfnCompletion,
                                 &dwOptions);
  }
  void Write(const char* pszName, const char* pszValue) {
    provider.RegWriteString(kProviderID, pszName, pszValue);
  }
  // A switch-sim on a free loopback port, which the devices made from here on call.
  void StartSim(SwitchSimConfig config = {}) {
    config.wPort = 0;
    config.ackTimeout = std::chrono::milliseconds(500);
    sim = std::make_unique<SwitchSim>(config);
    ASSERT_TRUE(sim->Start()) << sim->GetLastError();
    DeviceSetup::wServerPort = sim->GetPort();
    DeviceSetup::dwLoginWait = 5000;
    DeviceSetup::dwReceiveWait = 50;
  }
  // Starts the provider on the lineNumbers (password 1234) against 127.0.0.1, with these classes
  // (the switch's calls when bCalls), and fills `lines` and `device` (when it is a TestDevice).
  template <class Line, size_t N>
  void StartLines(Line* (&lines)[N], CRuntimeClass* pDevice, CRuntimeClass* pLine, bool bCalls,
                  ASYNC_COMPLETION pfnCompletion = &NoCompletion) {
    provider.SetObjectClasses(pDevice, nullptr, pLine, nullptr,
                              bCalls ? RUNTIME_CLASS(COmbixCall) : nullptr,
                              bCalls ? RUNTIME_CLASS(COmbixConfCall) : nullptr, nullptr);
    Write("IP1", "127.0.0.1");
    for (DWORD i = 0; i < N && i < 2; ++i) SaveLineSettings(kProviderID, i, lineNumbers[i], "1234");
    ASSERT_EQ(Init(N, pfnCompletion), 0);
    device = dynamic_cast<TestDevice*>(provider.FindDeviceByProviderID(kProviderID));
    for (size_t i = 0; i < N; ++i) {
      lines[i] =
          dynamic_cast<Line*>(provider.FindDeviceByProviderID(kProviderID)->GetLineByIndex(i));
      ASSERT_NE(lines[i], nullptr);
    }
  }

  COmbixProvider provider;
  DWORD dwOptions = 0;
  std::unique_ptr<SwitchSim> sim;
  TestDevice* device = nullptr;
  const char* lineNumbers[2] = {"200", "201"};
};

}  // namespace prov_test
