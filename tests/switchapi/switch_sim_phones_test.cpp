// switch-sim as a switch: monitors, phone queries and the events that follow requests and
// commands, seen by a real link.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "switchapi/ombix_values.h"
#include "tests/switchapi/link_test_support.h"
#include "tools/switch-sim/sim_commands.h"
#include "tools/switch-sim/switch_sim.h"

namespace {

// What arrived, in order: responses and events reduced to the fields the cases look at.
class PhoneLink : public COmbixAPI {
 public:
  using COmbixAPI::COmbixAPI;
  ~PhoneLink() override { StopThread(); }
  std::vector<std::string> Got() {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_got;
  }
  bool WaitFor(const std::string& what) {
    return WaitUntil([&] { return std::ranges::count(Got(), what) > 0; });
  }

 protected:
  void OnResponse(const COmbixMsg* pMsg) override {
    const COmbixRsp* p = OmbixAsResponse(pMsg);
    std::ostringstream out;
    out << MessageTypeName(pMsg->dwMsgType) << " " << (p ? p->dwInvokeID : 0) << " "
        << ErrorName(p ? p->dwError : 0);
    if (auto* m = dynamic_cast<const COmbixMonitorRsp*>(pMsg)) out << " " << m->strDevice;
    if (auto* f = dynamic_cast<const COmbixCallForwardingRsp*>(pMsg)) {
      out << " busy=" << f->strForwardBusy;
    }
    if (auto* c = dynamic_cast<const COmbixPhoneConfigRsp*>(pMsg)) {
      out << " calls=" << c->dwMaxCalls << " conf=" << c->dwConfLimit;
    }
    Add(out.str());
  }
  void OnPhoneStateEvent(const COmbixPhoneStateEvent* p) override {
    std::ostringstream out;
    out << PhoneStateEventName(p->dwEvent) << " service=" << p->dwInService
        << " dnd=" << p->dwDoNotDisturb << " messages=" << p->dwTotalMessages
        << " forwarding=" << p->dwForwarding;
    Add(out.str());
  }
  void OnCallEvent(const COmbixCallConnectionEvent* p) override {
    Add(std::string(CallConnectionEventName(p->dwEvent)) + " " + p->strDevice);
  }

 private:
  void Add(const std::string& what) {
    std::lock_guard<std::mutex> lock(m_mx);
    m_got.push_back(what);
  }
  std::mutex m_mx;
  std::vector<std::string> m_got;
};

class SimPhonesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SwitchSimConfig config;
    config.wPort = 0;
    config.phones = DefaultSimPhones();
    config.phones.push_back({"300", "pw", std::string(40, 'd')});
    // Its device name is another phone's number: the lower number answers for it.
    config.phones.push_back({"199", "pw", "201", 6, 3});
    sim = std::make_unique<SwitchSim>(config);
    ASSERT_TRUE(sim->Start());
  }
  std::unique_ptr<PhoneLink> LoggedInLink() {
    auto link = std::make_unique<PhoneLink>(FastLinkOptions(sim->GetPort()));
    link->Start("127.0.0.1", "", "TAPI", "6.0.1");
    EXPECT_TRUE(WaitUntil([&] { return link->IsLoggedIn() != FALSE; }));
    return link;
  }
  std::unique_ptr<SwitchSim> sim;
};

TEST_F(SimPhonesTest, MonitorsQueriesAndEvents) {
  auto link = LoggedInLink();
  const std::string cut(31, 'd');
  struct Step {
    std::function<void()> act;
    std::string expected;  // arrives (after whatever came before)
  };
  PhoneLink& l = *link;
  // clang-format off
  const Step steps[] = {
      {[&] { l.MonitorStart(1, "200", "wrong", ""); }, "OMBIX_MONITOR_START_RSP 1 OMBIX_ERROR_INVALID_PASSWORD "},
      {[&] { l.MonitorStart(2, "299", "1234", ""); }, "OMBIX_MONITOR_START_RSP 2 OMBIX_ERROR_INVALID_DEVICE "},
      {[&] { sim->Command("call 200 201 held"); }, ""},  // before the monitor: listed to it
      {[&] { l.MonitorStart(3, "200", "1234", ""); }, "OMBIX_MONITOR_START_RSP 3 0 200"},
      {nullptr, "CALL_CONNECTION_LIST 200"},
      {[&] { l.MonitorStart(4, "200", "1234", ""); }, "OMBIX_MONITOR_START_RSP 4 OMBIX_ERROR_DUPLICATE_MONITOR 200"},
      {[&] { l.MonitorStart(5, "300", "pw", ""); }, "OMBIX_MONITOR_START_RSP 5 0 " + cut},
      {[&] { l.QueryPhoneState(6, "200", ""); }, "OMBIX_QUERY_PHONE_STATE_RSP 6 0"},
      {nullptr, "PHONE_STATE_QUERY service=1 dnd=0 messages=0 forwarding=0"},
      {[&] { l.QueryPhoneState(7, "201", ""); }, "OMBIX_QUERY_PHONE_STATE_RSP 7 OMBIX_ERROR_NO_MONITOR"},
      {[&] { l.QueryPhoneConfig(8, "200", ""); }, "OMBIX_QUERY_PHONE_CONFIG_RSP 8 0 calls=4 conf=3"},
      {[&] { l.QueryPhoneConfig(14, "201", ""); }, "OMBIX_QUERY_PHONE_CONFIG_RSP 14 0 calls=6 conf=3"},
      {[&] { l.QueryPhoneConfig(15, cut.c_str(), ""); }, "OMBIX_QUERY_PHONE_CONFIG_RSP 15 0 calls=4 conf=3"},
      {[&] { sim->Command("messages 200 3"); }, "PHONE_STATE_MESSAGE_WAITING service=1 dnd=0 messages=3 forwarding=0"},
      {[&] { sim->Command("out-of-service 200"); }, "PHONE_STATE_OUT_OF_SERVICE service=0 dnd=0 messages=3 forwarding=0"},
      {[&] { l.SetCallForwarding(9, "200", CALL_FORWARD_BUSY, "555"); }, "OMBIX_SET_CALL_FORWARDING_RSP 9 0"},
      {nullptr, "PHONE_STATE_CALL_FORWARDING service=0 dnd=0 messages=3 forwarding=1"},
      {[&] { l.GetCallForwarding(10, "200"); }, "OMBIX_GET_CALL_FORWARDING_RSP 10 0 busy=555"},
      {[&] { l.SetDoNotDisturb(11, "200", 1, ""); }, "OMBIX_SET_DO_NOT_DISTURB_RSP 11 0"},
      {nullptr, "PHONE_STATE_DO_NOT_DISTURB service=0 dnd=1 messages=3 forwarding=1"},
      {[&] { l.MonitorStop(12, "200"); }, "OMBIX_MONITOR_STOP_RSP 12 0"},
      {[&] { sim->Command("in-service 200"); l.MonitorStop(13, "200"); }, "OMBIX_MONITOR_STOP_RSP 13 OMBIX_ERROR_NO_MONITOR"},
  };
  // clang-format on
  std::vector<std::string> expected;
  for (const Step& step : steps) {
    if (step.act) step.act();
    if (step.expected.empty()) continue;
    expected.push_back(step.expected);
    ASSERT_TRUE(link->WaitFor(step.expected)) << step.expected;
  }
  EXPECT_EQ(link->Got(), expected);  // nothing else, and in this order
}

TEST_F(SimPhonesTest, CommandsFromAScript) {
  auto link = LoggedInLink();
  link->MonitorStart(1, "201", "1234", "");
  ASSERT_TRUE(link->WaitFor("OMBIX_MONITOR_START_RSP 1 0 201"));
  std::istringstream script(
      "# a script\nmessages 201 2\nwait 5\nbogus\nmessages 999 1\ndnd 201 maybe\nstatus\n");
  std::ostringstream out;
  RunSimCommands(*sim, script, out);
  EXPECT_TRUE(link->WaitFor("PHONE_STATE_MESSAGE_WAITING service=1 dnd=0 messages=2 forwarding=0"));
  const std::string printed = out.str();
  EXPECT_EQ(printed.rfind("ok\nerror: not understood: bogus\nerror: no phone 999\nerror: ", 0), 0u)
      << printed;
  EXPECT_NE(printed.find("phone 201 device 201 in service, 2 messages"), std::string::npos);
  EXPECT_NE(printed.find("monitor 1 on 201 by session 1"), std::string::npos);
}

}  // namespace
