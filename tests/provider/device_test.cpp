// The switch device against switch-sim over loopback: the open that logs in, a refused login, a
// lost link and its return, and responses and events reaching the lines they belong to.
#include "switchapi/ombix_values.h"
#include "tests/provider/provider_doubles.h"

namespace prov_test {

IMPLEMENT_DYNCREATE(TestDevice, COmbixDevice)
IMPLEMENT_DYNCREATE(RecordingLine, COmbixLine)
namespace {

class DeviceTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    StartSim();
    // The logins are counted: a round as long as the link's wait for an acknowledgement keeps a
    // slow answer to the round that asked for it.
    DeviceSetup::dwReceiveWait = 500;
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(RecordingLine), false);
  }
  static void NoLineEvent(HTAPILINE, HTAPICALL, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR) {}
  LONG Open(int nLine) {
    return lines[nLine]->OpenLine(reinterpret_cast<HTAPILINE>(0x4321), &NoLineEvent, 0x00020001);
  }
  bool Monitored() {
    return WaitUntil(
        [&] { return lines[0]->GetMonitorID() != 0 && lines[1]->GetMonitorID() != 0; });
  }

  RecordingLine* lines[2] = {};
};

TEST_F(DeviceTest, FirstOpenLogsInEveryLineIsMonitoredAndALostLinkLogsInAgain) {
  EXPECT_EQ(sim->Counters().dwLogins, 0u);  // nothing happens before an open
  ASSERT_EQ(Open(0), 0);
  EXPECT_TRUE(device->IsLoggedIn());  // the open waited for the login
  EXPECT_FALSE(device->IsConnectInProgress());
  ASSERT_EQ(Open(1), 0);
  EXPECT_EQ(device->GetOpenCount(), 2u);
  EXPECT_EQ(sim->Counters().dwLogins, 1u);

  const auto login = sim->ReceivedOfType(OMBIX_LOGIN_REQ);
  ASSERT_EQ(login.size(), 1u);
  EXPECT_EQ(login[0].Str("strClient"), "TAPI");
  EXPECT_EQ(login[0].Str("strClientVersion"), "6.0.1");
  ASSERT_TRUE(Monitored());
  for (RecordingLine* pLine : lines) {
    EXPECT_FALSE(pLine->IsOutOfService());
    EXPECT_EQ(pLine->GetSwitchInfo(), CString("switch-sim"));
    EXPECT_EQ(pLine->Count("RestartMonitor"), 1);
  }
  EXPECT_NE(lines[0]->GetMonitorID(), lines[1]->GetMonitorID());

  sim->SendDisconnect();
  ASSERT_TRUE(lines[1]->WaitFor("OutOfService+reconnect"));
  // The link logs in again by itself; every monitor is started anew.
  ASSERT_TRUE(lines[1]->WaitFor("RestartMonitor", 2));
  ASSERT_TRUE(lines[1]->WaitFor("MonitorStartRsp 0", 2));
  EXPECT_TRUE(WaitUntil([&] { return !lines[0]->IsOutOfService(); }));
  EXPECT_TRUE(lines[0]->IsReconnectPending());  // left for the line to act on
  EXPECT_EQ(sim->Counters().dwLogins, 2u);
  EXPECT_FALSE(device->IsConnectInProgress());
}

TEST_F(DeviceTest, RefusedLoginTakesTheLinesOutAndTheNextOpenTriesAgain) {
  sim->SetLoginPolicy(SimLoginPolicy::kRefuse, OMBIX_ERROR_LOGIN_DENIED);
  ASSERT_EQ(Open(0), 0);
  EXPECT_EQ(device->GetLastLoginError(), OMBIX_ERROR_LOGIN_DENIED);
  EXPECT_EQ(lines[0]->GetLineError(), OMBIX_ERROR_LOGIN_DENIED);  // for its first request
  EXPECT_TRUE(sim->ReceivedOfType(OMBIX_MONITOR_START_REQ).empty());
  EXPECT_EQ(device->GetOpenCount(), 0u);
  for (RecordingLine* pLine : lines) {
    // The open is released first; the lines hear of the refusal right after.
    EXPECT_TRUE(pLine->WaitFor("OutOfService"));
    EXPECT_FALSE(pLine->IsReconnectPending());
    EXPECT_EQ(pLine->Count("RestartMonitor"), 0);
  }

  sim->SetLoginPolicy(SimLoginPolicy::kAccept);
  ASSERT_EQ(Open(1), 0);
  EXPECT_EQ(device->GetLastLoginError(), 0u);
  EXPECT_EQ(sim->Counters().dwLogins, 1u);
  ASSERT_TRUE(Monitored());
  EXPECT_FALSE(lines[0]->IsOutOfService());
}

TEST_F(DeviceTest, ResponsesGoByInvokeIdAndEventsByMonitorId) {
  ASSERT_EQ(Open(0), 0);
  ASSERT_TRUE(Monitored());
  device->SetCallForwarding(lines[1]->GetDeviceID(), "201", CALL_FORWARD_BUSY, "555");
  device->GetCallForwarding(lines[1]->GetDeviceID(), "201");
  device->QueryPhoneConfig(lines[0]->GetDeviceID(), "200", "");
  device->GetCallForwarding(999, "201");  // no line has this ID
  ASSERT_TRUE(lines[1]->WaitFor("ForwardingRsp 555"));
  ASSERT_TRUE(lines[0]->WaitFor("PhoneConfigRsp 4"));
  EXPECT_EQ(lines[1]->Count("Response " + std::to_string(OMBIX_SET_CALL_FORWARDING_RSP)), 1);
  // The forwarding change is told to the monitor of 201 only.
  EXPECT_TRUE(
      lines[1]->WaitFor("PhoneState " + std::to_string(PHONE_STATE_CALL_FORWARDING) + " 0"));

  EXPECT_EQ(sim->Command("messages 200 3"), "ok");
  EXPECT_EQ(sim->Command("call 201 200 alerting").rfind("call ", 0), 0u);
  ASSERT_TRUE(
      lines[0]->WaitFor("PhoneState " + std::to_string(PHONE_STATE_MESSAGE_WAITING) + " 3"));
  ASSERT_TRUE(lines[1]->WaitFor("CallEvent " + std::to_string(CALL_CONNECTION_ALERTING)));
  for (const std::string& call : lines[0]->Calls()) {
    EXPECT_EQ(call.find("Forwarding"), std::string::npos) << call;
    EXPECT_EQ(call.find("CallEvent"), std::string::npos) << call;
  }
  for (const std::string& call : lines[1]->Calls()) {
    EXPECT_EQ(call.find("PhoneState 5"), std::string::npos) << call;
    EXPECT_EQ(call.find("PhoneConfig"), std::string::npos) << call;
  }
}

}  // namespace
}  // namespace prov_test
