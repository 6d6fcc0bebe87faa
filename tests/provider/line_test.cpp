// The switch line against switch-sim over loopback: the open with its login and monitor, refusals
// and the errors they leave, a late login, message waiting, service state, the phone's limits,
// and a lost link with the check of the calls that follows.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include "switchapi/ombix_values.h"
#include "tests/provider/line_scenario.h"

namespace prov_test {

// The real line with waits short enough for tests.
struct LineSetup {
  static inline OMBIXLINETIMING timing{.dwMonitorStartWait = 4000,
                                       .dwResyncDelay = kTestResyncDelay};
};

class TestLine : public COmbixLine {
  DECLARE_DYNCREATE(TestLine)
 public:
  TestLine() : COmbixLine(LineSetup::timing) {}
};
IMPLEMENT_DYNCREATE(TestLine, COmbixLine)

// A switch call whose first change to IDLE, once armed, throws out of the state change.
class IdleThrowingCall : public COmbixCall {
  DECLARE_DYNCREATE(IdleThrowingCall)
 public:
  void ComputeCallFeatures(DWORD dwState, DWORD dwMode, DWORD dwMediaMode) override {
    if (dwState == LINECALLSTATE_IDLE && s_armed.exchange(false)) {
      s_thrower = this;
      throw std::runtime_error("no features for IDLE");
    }
    COmbixCall::ComputeCallFeatures(dwState, dwMode, dwMediaMode);
  }
  static inline std::atomic<bool> s_armed{false};
  static inline std::atomic<CTSPICallAppearance*> s_thrower{nullptr};
};
IMPLEMENT_DYNCREATE(IdleThrowingCall, COmbixCall)

namespace {

class LineTest : public ProviderTest {
 protected:
  void SetUp() override {
    ProviderTest::SetUp();
    scenario::Tapi::Reset();
    StartSim(simConfig);
    DeviceSetup::dwLoginWait = dwLoginWait;
    StartLines(lines, RUNTIME_CLASS(TestDevice), RUNTIME_CLASS(TestLine), true);
  }
  LONG Open(int nLine) {
    return lines[nLine]->OpenLine(reinterpret_cast<HTAPILINE>(0x100 + nLine),
                                  &scenario::Tapi::LineEvent, 0x00020001);
  }
  std::vector<SimReceived> MonitorStarts(const std::string& strDID) {
    std::vector<SimReceived> found;
    for (const SimReceived& r : sim->ReceivedOfType(OMBIX_MONITOR_START_REQ)) {
      if (r.Str("strDID") == strDID) found.push_back(r);
    }
    return found;
  }
  // Once the switch has received a message of that type that fits.
  bool SimHeard(DWORD dwType, const std::function<bool(const SimReceived&)>& fits) {
    return WaitUntil([&] {
      const auto received = sim->ReceivedOfType(dwType);
      return std::any_of(received.begin(), received.end(), fits);
    });
  }
  // Everything made anew with the fixture settings as they now are.
  void Restart() {
    TearDown();
    SetUp();
  }
  LINEADDRESSCAPS Caps(int nLine) { return lines[nLine]->GetAddress(0)->GetAddressCapsCopy(); }
  // A connected call of line 200 that the switch knows by that number, with a reference of ours.
  CTSPICallAppearance* AddCall(DWORD dwNumber) {
    CTSPICallAppearance* pCall = lines[0]->GetAddress(0)->FindOrCreateCall(
        nullptr, 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    EXPECT_NE(dynamic_cast<COmbixCall*>(pCall), nullptr);
    dynamic_cast<COmbixCall*>(pCall)->SetObjectId(IdOfCall(dwNumber));
    pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
    pCall->AddRef();
    return pCall;
  }

  // Fixture settings a test may change before it calls Restart.
  SwitchSimConfig simConfig;
  DWORD dwLoginWait = 5000;
  TestLine* lines[2] = {};
};

TEST_F(LineTest, OpenLogsInStartsTheMonitorAndAsksForThePhonesState) {
  EXPECT_TRUE(lines[0]->IsOutOfService());  // until a login says otherwise
  EXPECT_EQ(Caps(0).dwMaxNumOnHoldCalls, 2u);
  ASSERT_EQ(Open(0), 0);
  // The open waited for its monitor: it is there when the open returns.
  EXPECT_NE(lines[0]->GetMonitorID(), 0u);
  EXPECT_FALSE(lines[0]->IsOutOfService());
  EXPECT_EQ(lines[0]->GetLineError(), 0u);
  // The phone's state is asked for (its configuration and the monitor start: tests below).
  EXPECT_TRUE(SimHeard(OMBIX_QUERY_PHONE_STATE_REQ, [&](const SimReceived& r) {
    return r.dwInvokeID == lines[0]->GetDeviceID() && r.Str("strAgent") == "200";
  }));
  // The phone-state answer asks for the forwarding, and its answer fills the address.
  EXPECT_EQ(sim->Command("forward 200 busy 555"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->GetAddress(0)->GetForwardEntryCount() == 1; }));
}

TEST_F(LineTest, OpenReadsThePasswordAndPingTimerAnotherProcessWroteSinceTheStart) {
  // Another process rewrites the file (a new file renamed over it) after the provider started:
  // a new password for line 0 and a keep-alive time. The same size and a quick rewrite must not
  // leave the provider with what it read before.
  std::string text = FileText();
  const std::string oldValue = "\"Line.0.Password\"=\"1234\"";
  const size_t pos = text.find(oldValue);
  ASSERT_NE(pos, std::string::npos) << text;
  text.replace(pos, oldValue.size(), "\"Line.0.Password\"=\"4321\"\n\"PingTimer\"=dword:00001388");
  std::ofstream(path_ + ".other", std::ios::binary | std::ios::trunc) << text;
  ASSERT_EQ(std::rename((path_ + ".other").c_str(), path_.c_str()), 0);

  sim->SetResult(OMBIX_MONITOR_START_REQ, 0);  // whatever the password, for the open's sake
  ASSERT_EQ(Open(0), 0);
  const auto starts = MonitorStarts("200");
  ASSERT_FALSE(starts.empty());
  EXPECT_EQ(starts.back().Str("strPassword"), "4321");
  EXPECT_EQ(device->GetPingTimer(), 5000u);
}

TEST_F(LineTest, RefusedMonitorLeavesItsErrorAndTakesTheLineOutOfService) {
  SaveLineSettings(kProviderID, 0, "200", "wrong");  // read anew at every monitor start
  ASSERT_EQ(Open(0), 0);
  EXPECT_EQ(lines[0]->GetLineError(), OMBIX_ERROR_INVALID_PASSWORD);
  EXPECT_TRUE(lines[0]->IsOutOfService());
  EXPECT_EQ(lines[0]->GetMonitorID(), 0u);
  EXPECT_FALSE(lines[0]->IsReconnectPending());
  ASSERT_TRUE(WaitUntil([&] { return lines[1]->GetMonitorID() != 0; }));
  EXPECT_EQ(lines[1]->GetLineError(), 0u);  // the other line is not hurt
}

TEST_F(LineTest, LoginAfterTheDevicesWaitStillGetsTheOpeningLineItsMonitor) {
  dwLoginWait = 100;
  Restart();
  sim->SetLoginPolicy(SimLoginPolicy::kIgnore);
  // Once the device has given up waiting, the switch answers the next login round.
  std::thread answer([&] {
    WaitUntil([&] { return sim->Counters().dwLoginsIgnored >= 1 && device->GetOpenCount() == 0; });
    sim->SetLoginPolicy(SimLoginPolicy::kAccept);
  });
  ASSERT_EQ(Open(0), 0);
  answer.join();
  EXPECT_NE(lines[0]->GetMonitorID(), 0u);  // the open's wait ended with the monitor's answer
  EXPECT_FALSE(lines[0]->IsOutOfService());
  EXPECT_EQ(MonitorStarts("200").size(), 1u);
  ASSERT_TRUE(WaitUntil([&] { return lines[1]->GetMonitorID() != 0; }));
}

// The address's capabilities at every size from the fixed part on: the needed size never
// changes, and exactly that many bytes take the address and the device classes, in UTF-16.
TEST_F(LineTest, AddressCapsOfTheNeededSizeHoldTheDeviceClasses) {
  constexpr DWORD kFixed = 228;
  constexpr size_t kGuard = 16;
  lines[0]->SetNegotiatedVersion(0x00020001);
  CTSPIAddressInfo* pAddr = lines[0]->GetAddress(0);
  ASSERT_NE(pAddr, nullptr);
  auto ask = [&](DWORD dwTotal) {
    std::vector<BYTE> bytes(dwTotal + kGuard, 0xCD);
    std::memcpy(bytes.data(), &dwTotal, sizeof(dwTotal));
    EXPECT_EQ(
        pAddr->GetAddressCaps(0x00020001, 0, reinterpret_cast<LINEADDRESSCAPS*>(bytes.data())), 0);
    EXPECT_TRUE(std::all_of(bytes.end() - kGuard, bytes.end(), [](BYTE b) { return b == 0xCD; }))
        << dwTotal;
    LINEADDRESSCAPS caps;
    std::memcpy(&caps, bytes.data(), sizeof(caps));
    return std::make_pair(caps, bytes);
  };
  const DWORD dwNeeded = ask(kFixed).first.dwNeededSize;
  for (DWORD dwTotal = kFixed; dwTotal <= dwNeeded + 8; ++dwTotal) {
    const auto [caps, bytes] = ask(dwTotal);
    ASSERT_EQ(caps.dwNeededSize, dwNeeded) << dwTotal;
    ASSERT_LE(caps.dwUsedSize, dwTotal);
    if (dwTotal < dwNeeded) {
      ASSERT_EQ(caps.dwDeviceClassesSize, 0u) << dwTotal;
      continue;
    }
    ASSERT_EQ(caps.dwUsedSize, dwNeeded) << dwTotal;
    ASSERT_NE(caps.dwAddressSize, 0u);
    ASSERT_EQ(caps.dwDeviceClassesOffset + caps.dwDeviceClassesSize, dwNeeded);
    std::u16string classes(caps.dwDeviceClassesSize / 2, u'\0');
    std::memcpy(classes.data(), bytes.data() + caps.dwDeviceClassesOffset,
                caps.dwDeviceClassesSize);
    EXPECT_EQ(classes.rfind(std::u16string(u"tapi/line\0tapi/providerid\0\0", 27), 0), 0u);
  }
}

TEST_F(LineTest, TapiSeesTheServiceStateInTheLineStatus) {
  // No switch answers: the open returns after its waits with the line out of service.
  dwLoginWait = 100;
  LineSetup::timing.dwMonitorStartWait = 100;
  // Every call-control function exported, as in the product, so that the line offers MAKECALL.
  provider.DetectExportedFunctions(
      [](LPCSTR) { return reinterpret_cast<FARPROC>(&scenario::Tapi::Completion); });
  Restart();
  LineSetup::timing.dwMonitorStartWait = 4000;
  sim->SetLoginPolicy(SimLoginPolicy::kIgnore);
  ASSERT_EQ(Open(0), 0);
  ASSERT_EQ(lines[0]->SetStatusMessages(LINEDEVSTATE_INSERVICE | LINEDEVSTATE_OUTOFSERVICE |
                                            LINEDEVSTATE_MSGWAITON | LINEDEVSTATE_MSGWAITOFF,
                                        0),
            0);
  auto inService = [&] {
    return (lines[0]->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_INSERVICE) != 0;
  };
  auto reported = [](DWORD dwState) { return scenario::Tapi::Count(LINE_LINEDEVSTATE, dwState); };
  EXPECT_TRUE(lines[0]->IsOutOfService());
  EXPECT_FALSE(inService());
  EXPECT_EQ(lines[0]->GetLineDevStatus().dwLineFeatures & LINEFEATURE_MAKECALL, 0u);

  // Each way in and out of service, in order: the login, the phone's word, the lost link.
  sim->SetLoginPolicy(SimLoginPolicy::kAccept);
  ASSERT_TRUE(WaitUntil(inService));
  EXPECT_FALSE(lines[0]->IsOutOfService());
  EXPECT_NE(lines[0]->GetLineDevStatus().dwLineFeatures & LINEFEATURE_MAKECALL, 0u);
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_INSERVICE) == 1; }));
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->GetMonitorID() != 0; }));

  EXPECT_EQ(sim->Command("out-of-service 200"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_OUTOFSERVICE) == 1; }));
  EXPECT_TRUE(lines[0]->IsOutOfService());
  EXPECT_FALSE(lines[0]->IsReconnectPending());  // the phone's word, not the link's
  EXPECT_FALSE(lines[1]->IsOutOfService());
  // The waiting messages change their own flag only.
  EXPECT_EQ(sim->Command("messages 200 2"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_MSGWAITON) == 1; }));
  EXPECT_FALSE(inService());
  EXPECT_EQ(sim->Command("in-service 200"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_INSERVICE) == 2; }));
  EXPECT_TRUE(inService());
  EXPECT_NE(lines[0]->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_MSGWAIT, 0u);
  EXPECT_EQ(sim->Command("messages 200 0"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_MSGWAITOFF) >= 1; }));
  EXPECT_EQ(lines[0]->GetLineDevStatus().dwDevStatusFlags & LINEDEVSTATUSFLAGS_MSGWAIT, 0u);

  EXPECT_EQ(sim->Command("disconnect"), "ok");
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_OUTOFSERVICE) == 2; }));
  ASSERT_TRUE(WaitUntil([&] { return reported(LINEDEVSTATE_INSERVICE) == 3; }));
  EXPECT_TRUE(inService());
}

// The phone's configuration sets the address's limits; a device name the switch gives replaces
// the one derived from the number, which the monitor and the dialable address still go by.
TEST_F(LineTest, PhoneConfigurationSetsTheAddressLimitsAndTheDeviceName) {
  const struct {
    const char *pszNumber, *pszDevice, *pszDialable;
    DWORD dwMaxCalls, dwConfLimit, dwOnHold;
  } cases[] = {{"200", "200", "200", 4, 6, 2},
               {"200", "200", "200", 2, 1, 0},
               {"200", "200", "200", 1, 7, 0},
               {"5550134x22", "SIP/22", "22", 0, 5, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dwMaxCalls);
    lineNumbers[0] = c.pszNumber;
    simConfig.phones = {{c.pszNumber, "1234", c.pszDevice, c.dwMaxCalls, c.dwConfLimit},
                        {"201", "1234", "201"}};
    Restart();
    ASSERT_EQ(Open(0), 0);
    ASSERT_TRUE(WaitUntil([&] { return Caps(0).dwMaxNumConference == c.dwConfLimit; }));
    EXPECT_EQ(Caps(0).dwMaxNumOnHoldCalls, c.dwOnHold);
    EXPECT_EQ(MonitorStarts(c.pszNumber).size(), 1u);
    EXPECT_EQ(lines[0]->GetDeviceString(), CString(c.pszDevice));
    EXPECT_EQ(lines[0]->GetAddress(0)->GetDialableAddress(), CString(c.pszDialable));
    EXPECT_TRUE(SimHeard(OMBIX_QUERY_PHONE_CONFIG_REQ,
                         [&](const SimReceived& r) { return r.Str("strAgent") == c.pszDevice; }));
  }
}

TEST_F(LineTest, LostLinkRestartsTheMonitorsAndIdlesTheCallsTheSwitchNoLongerHas) {
  // Calls the switch has when the line opens: it lists them with the monitor start.
  DWORD dwCall[2] = {};
  for (DWORD& dwNumber : dwCall) {
    const std::string answer = sim->Command("call 200 201 connected");
    ASSERT_EQ(answer.rfind("call ", 0), 0u) << answer;
    dwNumber = std::stoul(answer.substr(5));
  }
  const DWORD dwLive = dwCall[0];
  const DWORD dwEnded = dwCall[1];    // ends while the link is up; listed then, not after
  const DWORD dwLost = dwLive + 100;  // the switch never had it
  ASSERT_EQ(Open(0), 0);
  ASSERT_TRUE(WaitUntil([&] { return lines[0]->GetReportedCallNumbers().size() == 2; }));
  std::map<DWORD, CTSPICallAppearance*> calls;  // kept to look at after the resynchronisation
  for (DWORD dwNumber : {dwLive, dwEnded, dwLost}) calls[dwNumber] = AddCall(dwNumber);
  EXPECT_EQ(sim->Command("hangup " + std::to_string(dwEnded)), "ok");

  ASSERT_TRUE(WaitUntil([&] { return lines[1]->GetMonitorID() != 0; }));
  const DWORD dwOldMonitors[2] = {lines[0]->GetMonitorID(), lines[1]->GetMonitorID()};

  EXPECT_EQ(sim->Command("disconnect"), "ok");
  // The switch forgot the monitors; both lines get new ones.
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(WaitUntil([&] {
      return lines[i]->GetMonitorID() != dwOldMonitors[i] && lines[i]->GetMonitorID() != 0;
    }));
  }
  ASSERT_TRUE(WaitUntil([&] { return calls[dwLost]->GetCallState() == LINECALLSTATE_IDLE; }));
  EXPECT_EQ(calls[dwEnded]->GetCallState(), LINECALLSTATE_IDLE);
  EXPECT_EQ(calls[dwLive]->GetCallState(), LINECALLSTATE_CONNECTED);
  EXPECT_TRUE(lines[0]->GetReportedCallNumbers().empty());
  EXPECT_FALSE(lines[0]->IsOutOfService());
  EXPECT_FALSE(lines[0]->IsReconnectPending());
  for (auto& [dwNumber, pCall] : calls) pCall->Release();
}

// After a lost link, a call that throws while it is idled costs the check nothing more: the
// other lost call still goes IDLE, and the thread ends as usual with the shutdown.
TEST_F(LineTest, ResyncGoesOnPastACallThatThrows) {
  provider.SetObjectClasses(RUNTIME_CLASS(TestDevice), nullptr, RUNTIME_CLASS(TestLine), nullptr,
                            RUNTIME_CLASS(IdleThrowingCall), RUNTIME_CLASS(COmbixConfCall),
                            nullptr);
  ASSERT_EQ(Open(0), 0);
  // Unknown to the switch.
  CTSPICallAppearance* calls[2] = {AddCall(90001), AddCall(90002)};
  ASSERT_NE(dynamic_cast<IdleThrowingCall*>(calls[1]), nullptr);
  IdleThrowingCall::s_thrower = nullptr;
  IdleThrowingCall::s_armed = true;
  const DWORD dwOldMonitor = lines[0]->GetMonitorID();
  EXPECT_EQ(sim->Command("disconnect"), "ok");
  ASSERT_TRUE(WaitUntil([&] {
    return lines[0]->GetMonitorID() != dwOldMonitor && lines[0]->GetMonitorID() != 0;
  }));
  ASSERT_TRUE(WaitUntil([&] { return calls[1]->GetCallState() == LINECALLSTATE_IDLE; }));
  EXPECT_EQ(IdleThrowingCall::s_thrower.load(), calls[0]);
  IdleThrowingCall::s_armed = false;
  // The state change the double broke off let go of its reference and its changing-state mark.
  EXPECT_EQ(calls[0]->GetFlags() & CALLFLAG_INSTATECHANGE, 0u);
  for (CTSPICallAppearance* pCall : calls) pCall->Release();
}

TEST_F(LineTest, ShutdownDuringTheResyncWaitEndsTheThreadWithoutTouchingTheLine) {
  // A wait far longer than the test may take must not hold the shutdown; a short one must not
  // wake on a line that is gone (the sanitizer builds see that).
  for (DWORD dwDelay : {60000u, 300u}) {
    SCOPED_TRACE(dwDelay);
    LineSetup::timing.dwResyncDelay = dwDelay;
    Restart();
    LineSetup::timing.dwResyncDelay = kTestResyncDelay;
    ASSERT_EQ(Open(0), 0);
    CTSPICallAppearance* pCall = lines[0]->GetAddress(0)->FindOrCreateCall(
        nullptr, 0, LINECALLORIGIN_OUTBOUND, LINECALLREASON_DIRECT, 0xFFFFFFFF, 0);
    ASSERT_NE(pCall, nullptr);
    pCall->ChangeCallState(LINECALLSTATE_CONNECTED);
    const DWORD dwOldMonitor = lines[0]->GetMonitorID();
    EXPECT_EQ(sim->Command("disconnect"), "ok");
    ASSERT_TRUE(WaitUntil([&] {
      return lines[0]->GetMonitorID() != dwOldMonitor && lines[0]->GetMonitorID() != 0;
    }));
    ASSERT_TRUE(WaitUntil([&] { return !lines[0]->IsReconnectPending(); }));  // thread waits
    provider.providerShutdown(0x00020001, device);
    device = nullptr;
    EXPECT_EQ(provider.FindDeviceByProviderID(kProviderID), nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(2 * 300));
  }
}

}  // namespace
}  // namespace prov_test
