// The link end to end against the simulated switch on loopback: logins through either server,
// every request with its fields, the switch's faults (lost and repeated datagrams, silence,
// disconnects, restarts) and recovery, and many threads sending at once over a lossy link.
#include <gtest/gtest.h>

#include <algorithm>
#include <latch>
#include <map>
#include <set>
#include <string>
#include <thread>

#include "tests/switchapi/link_test_support.h"
#include "tools/switch-sim/switch_sim.h"

namespace {

constexpr DWORD kPrimary = 0x7F000001;    // 127.0.0.1
constexpr DWORD kSecondary = 0x7F000002;  // 127.0.0.2

SwitchSimConfig SimConfig(const char* pszAddress = "127.0.0.1", WORD wPort = 0) {
  SwitchSimConfig config;
  config.strAddress = pszAddress;
  config.wPort = wPort;
  config.ackTimeout = std::chrono::milliseconds(100);
  config.dwMaxRetries = 50;  // the sim outlasts the link's own give-up in these tests
  config.pingInterval = std::chrono::milliseconds(0);
  return config;
}

ObjectId Oid(BYTE first) {
  ObjectId oid;
  for (BYTE i = 0; i < 12; ++i) oid.abId[i] = static_cast<BYTE>(first + i);
  return oid;
}

std::vector<BYTE> ResponseBody(DWORD dwInvokeID, DWORD dwError = 0) {
  TestDatagram body;
  body.U32(dwInvokeID).U32(dwError);
  return body.bytes;
}

class LinkE2eTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.Start()) << sim.GetLastError(); }

  RecordingLink& MakeLink(OMBIXLINKOPTIONS options) {
    link = std::make_unique<RecordingLink>(options);
    return *link;
  }
  RecordingLink& MakeLink() { return MakeLink(FastLinkOptions(sim.GetPort())); }

  void StartAndLogIn() {
    ASSERT_TRUE(link->Start("127.0.0.1", "", "TAPI", "6.0.1"));
    ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  }

  bool SimWait(const std::function<bool()>& pred) { return sim.WaitFor(pred, kLinkTestDeadline); }

  SwitchSim sim{SimConfig()};
  std::unique_ptr<RecordingLink> link;  // destroyed before the sim
};

TEST_F(LinkE2eTest, LogsInThroughThePrimary) {
  MakeLink();
  ASSERT_TRUE(link->Start("127.0.0.1", "127.0.0.2", "TAPI", "6.0.1"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  EXPECT_EQ(link->GetServerAddr(), kPrimary);
  EXPECT_TRUE(link->IsLoggedIn());
  const std::vector<SimReceived> logins = sim.ReceivedOfType(OMBIX_LOGIN_REQ);
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].Str("strAPIVersion"), "3.0");
  EXPECT_EQ(logins[0].Str("strClient"), "TAPI");
  EXPECT_EQ(logins[0].Str("strClientVersion"), "6.0.1");
}

TEST_F(LinkE2eTest, LogsInThroughTheSecondaryWhenThePrimaryIsSilent) {
  // The secondary listens on the same port as the primary, at the other loopback address.
  SwitchSimConfig config = SimConfig("127.0.0.2", sim.GetPort());
  SwitchSim secondary(config);
  ASSERT_TRUE(secondary.Start()) << secondary.GetLastError();
  sim.SetLoginPolicy(SimLoginPolicy::kIgnore);
  MakeLink();
  ASSERT_TRUE(link->Start("127.0.0.1", "127.0.0.2", "TAPI", "6.0.1"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  EXPECT_EQ(link->GetServerAddr(), kSecondary);
  EXPECT_TRUE(SimWait([&] { return sim.Counters().dwLoginsIgnored >= 1; }));  // asked too

  link->MonitorStart(3, "201", "pw", nullptr);
  ASSERT_TRUE(link->WaitForCount("Response", 1));
  EXPECT_EQ(secondary.ReceivedOfType(OMBIX_MONITOR_START_REQ).size(), 1u);
  EXPECT_TRUE(sim.ReceivedOfType(OMBIX_MONITOR_START_REQ).empty());
  link.reset();
}

TEST_F(LinkE2eTest, LogsInThroughTheSecondaryAlone) {
  SwitchSimConfig config = SimConfig("127.0.0.2", sim.GetPort());
  SwitchSim secondary(config);
  ASSERT_TRUE(secondary.Start()) << secondary.GetLastError();
  sim.Stop();  // nothing at all on the primary
  MakeLink();
  ASSERT_TRUE(link->Start("", "127.0.0.2", "TAPI", "6.0.1"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  EXPECT_EQ(link->GetServerAddr(), kSecondary);
  link.reset();
}

TEST_F(LinkE2eTest, RefusedLogin) {
  sim.SetLoginPolicy(SimLoginPolicy::kRefuse, 11);
  MakeLink();
  ASSERT_TRUE(link->Start("127.0.0.1", "", "TAPI", "6.0.1"));
  ASSERT_TRUE(link->WaitForCount("LoginFailed", 1));
  EXPECT_EQ(link->Calls().back().dwError, 11u);
  EXPECT_FALSE(link->IsLoggedIn());
}

TEST_F(LinkE2eTest, EveryRequestArrivesWithItsFieldsAndIsAnswered) {
  struct Case {
    DWORD dwType;
    std::function<void(COmbixAPI&, DWORD)> send;
    std::map<std::string, std::string> strings;
    std::map<std::string, DWORD> dwords;
    std::map<std::string, ObjectId> oids;
  };
  const ObjectId a = Oid(0x10), b = Oid(0x40);
  // clang-format off
  const Case cases[] = {
      {OMBIX_ALTERNATE_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.AlternateCall(id, "201", a, b); },
       {{"strDevice", "201"}}, {}, {{"oidActiveCall", a}, {"oidOtherCall", b}}},
      {OMBIX_ANSWER_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.AnswerCall(id, "201", a, "ph"); },
       {{"strDevice", "201"}, {"strPhone", "ph"}}, {}, {{"oidCall", a}}},
      {OMBIX_COMPLETE_TRANSFER_REQ, [&](COmbixAPI& l, DWORD id) { l.CompleteTransfer(id, "201", a, b); },
       {{"strDevice", "201"}}, {}, {{"oidActiveCall", a}, {"oidHeldCall", b}}},
      {OMBIX_DIAL_DIGITS_REQ, [&](COmbixAPI& l, DWORD id) { l.DialDigits(id, "201", a, "123#"); },
       {{"strDigits", "123#"}}, {}, {{"oidCall", a}}},
      {OMBIX_DROP_CONNECTION_REQ, [&](COmbixAPI& l, DWORD id) { l.DropConnection(id, "201", b, 7); },
       {{"strDevice", "201"}}, {{"dwReason", 7}}, {{"oidCall", b}}},
      {OMBIX_HOLD_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.HoldCall(id, "201", a, nullptr); },
       {{"strPhone", ""}}, {}, {{"oidCall", a}}},
      {OMBIX_MAKE_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.MakeCall(id, "201", "5551234", 3, "ph"); },
       {{"strNumber", "5551234"}, {"strPhone", "ph"}}, {{"dwOptions", 3}}, {}},
      {OMBIX_MONITOR_START_REQ, [&](COmbixAPI& l, DWORD id) { l.MonitorStart(id, "201", "pw", "new"); },
       {{"strDID", "201"}, {"strPassword", "pw"}, {"strNewPassword", "new"}}, {}, {}},
      {OMBIX_MONITOR_STOP_REQ, [&](COmbixAPI& l, DWORD id) { l.MonitorStop(id, "202"); },
       {{"strDevice", "202"}}, {}, {}},
      {OMBIX_PARK_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.ParkCall(id, "201", a, 1); },
       {}, {{"dwAutoComplete", 1}}, {{"oidCall", a}}},
      {OMBIX_PICKUP_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.PickupCall(id, "201", "305", "ph"); },
       {{"strFromDevice", "305"}, {"strPhone", "ph"}}, {}, {}},
      {OMBIX_QUERY_PHONE_STATE_REQ, [&](COmbixAPI& l, DWORD id) { l.QueryPhoneState(id, "ag", "ph"); },
       {{"strAgent", "ag"}, {"strPhone", "ph"}}, {}, {}},
      {OMBIX_REDIRECT_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.RedirectCall(id, "201", b, 2, "777", 8); },
       {{"strDigits", "777"}}, {{"dwRedirectTo", 2}, {"dwOptions", 8}}, {{"oidCall", b}}},
      {OMBIX_RETRIEVE_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.RetrieveCall(id, "201", a, "ph"); },
       {{"strPhone", "ph"}}, {}, {{"oidCall", a}}},
      {OMBIX_SET_CALL_FORWARDING_REQ, [&](COmbixAPI& l, DWORD id) { l.SetCallForwarding(id, "201", 2, "999"); },
       {{"strForwardTo", "999"}}, {{"dwForwardMode", 2}}, {}},
      {OMBIX_SET_DO_NOT_DISTURB_REQ, [&](COmbixAPI& l, DWORD id) { l.SetDoNotDisturb(id, "201", 1, ""); },
       {{"strPhone", ""}}, {{"dwOn", 1}}, {}},
      {OMBIX_SETUP_TRANSFER_REQ, [&](COmbixAPI& l, DWORD id) { l.SetupTransfer(id, "201", a, "400", 1); },
       {{"strNumber", "400"}}, {{"dwOptions", 1}}, {{"oidCall", a}}},
      {OMBIX_SETUP_CONFERENCE_REQ, [&](COmbixAPI& l, DWORD id) { l.SetupConference(id, "201", b, "401", 2); },
       {{"strNumber", "401"}}, {{"dwOptions", 2}}, {{"oidCall", b}}},
      {OMBIX_SINGLE_STEP_TRANSFER_REQ, [&](COmbixAPI& l, DWORD id) { l.SingleStepTransfer(id, "201", a, "402", 4); },
       {{"strNumber", "402"}}, {{"dwOptions", 4}}, {{"oidCall", a}}},
      {OMBIX_GET_CALL_FORWARDING_REQ, [&](COmbixAPI& l, DWORD id) { l.GetCallForwarding(id, "203"); },
       {{"strDevice", "203"}}, {}, {}},
      {OMBIX_CONFERENCE_CALL_REQ, [&](COmbixAPI& l, DWORD id) { l.ConferenceCall(id, "201", b, a); },
       {}, {}, {{"oidActiveCall", b}, {"oidOtherCall", a}}},
      {OMBIX_DROP_CONFERENCE_CONNECTION_REQ, [&](COmbixAPI& l, DWORD id) { l.DropConferenceConnection(id, "201", a, "306"); },
       {{"strDropDevice", "306"}}, {}, {{"oidCall", a}}},
      {OMBIX_QUERY_PHONE_CONFIG_REQ, [&](COmbixAPI& l, DWORD id) { l.QueryPhoneConfig(id, "ag2", "ph2"); },
       {{"strAgent", "ag2"}, {"strPhone", "ph2"}}, {}, {}},
  };
  // clang-format on
  MakeLink();
  StartAndLogIn();
  DWORD id = 100;
  for (const Case& c : cases) c.send(*link, id++);
  const std::size_t n = std::size(cases);
  ASSERT_TRUE(link->WaitForCount("Response", n));

  std::vector<SimReceived> got;
  for (const SimReceived& r : sim.Received()) {
    if (r.dwMsgType != OMBIX_LOGIN_REQ) got.push_back(r);
  }
  ASSERT_EQ(got.size(), n);
  for (std::size_t i = 0; i < n; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "message type " << c.dwType);
    EXPECT_EQ(got[i].dwMsgType, c.dwType);
    EXPECT_EQ(got[i].dwMsgSeq, i + 1);
    EXPECT_EQ(got[i].dwInvokeID, 100 + i);
    for (const auto& [name, value] : c.strings) EXPECT_EQ(got[i].Str(name), value) << name;
    for (const auto& [name, value] : c.dwords) EXPECT_EQ(got[i].Dword(name), value) << name;
    for (const auto& [name, value] : c.oids) EXPECT_TRUE(got[i].Oid(name) == value) << name;
  }
  // Each answered with its response, in order.
  std::vector<LinkCall> responses;
  for (const LinkCall& call : link->Calls()) {
    if (call.strWhat == "Response") responses.push_back(call);
  }
  ASSERT_EQ(responses.size(), n);
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(responses[i].dwMsgType, cases[i].dwType + 1);
    EXPECT_EQ(responses[i].dwInvokeID, 100 + i);
  }
}

TEST_F(LinkE2eTest, LostAcknowledgementsHoldTheQueueAndAreMadeGoodByResends) {
  MakeLink();
  StartAndLogIn();
  SimFaults lossy;
  lossy.dDropSent = 1;  // the switch hears everything, the client hears nothing
  sim.SetFaults(lossy);
  link->MakeCall(1, "201", "100", 0, nullptr);
  link->MakeCall(2, "201", "200", 0, nullptr);
  auto makeCalls = [&] { return sim.ReceivedOfType(OMBIX_MAKE_CALL_REQ); };
  ASSERT_TRUE(SimWait([&] {
    const auto got = makeCalls();
    return !got.empty() && got[0].dwRepeats >= 1;
  }));
  EXPECT_EQ(makeCalls().size(), 1u);  // 2 waits behind the unacknowledged 1
  sim.SetFaults(SimFaults{});
  ASSERT_TRUE(SimWait([&] { return makeCalls().size() == 2; }));
  const auto got = makeCalls();
  EXPECT_EQ(got[0].dwInvokeID, 1u);
  EXPECT_EQ(got[1].dwInvokeID, 2u);
  EXPECT_EQ(got[1].dwMsgSeq, got[0].dwMsgSeq + 1);
  EXPECT_TRUE(link->WaitForCount("Response", 2));
  EXPECT_EQ(link->Count("ConnectionLost"), 0u);
}

TEST_F(LinkE2eTest, FourResendsUnacknowledgedDropTheLinkUntilTheSwitchIsHeardAgain) {
  OMBIXLINKOPTIONS options = FastLinkOptions(sim.GetPort());
  options.dwAckTimeout = 300;
  MakeLink(options);
  StartAndLogIn();
  SimFaults deaf;
  deaf.dDropSent = 1;
  sim.SetFaults(deaf);
  link->HoldCall(9, "201", Oid(1), "");
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  const auto holds = sim.ReceivedOfType(OMBIX_HOLD_CALL_REQ);
  ASSERT_EQ(holds.size(), 1u);  // acted on once
  EXPECT_EQ(holds[0].dwRepeats, 4u);
  ASSERT_TRUE(SimWait([&] { return sim.Counters().dwDisconnectsReceived == 1; }));
  const auto disconnects = sim.ReceivedOfType(OMBIX_DISCONNECT);
  ASSERT_EQ(disconnects.size(), 1u);
  EXPECT_EQ(disconnects[0].dwMsgSeq, holds[0].dwMsgSeq + 1);
  sim.SetFaults(SimFaults{});
  EXPECT_TRUE(link->WaitForCount("LoginSucceeded", 2));
}

TEST_F(LinkE2eTest, SequenceRulesAgainstTheSwitch) {
  MakeLink();
  StartAndLogIn();
  // The switch's login response was 0; 0 again is a repeat, 1 the next.
  TestDatagram repeat = Response(0, OMBIX_MAKE_CALL_RSP, 40);
  sim.SendRaw(repeat.bytes);
  sim.QueueMessage(OMBIX_MAKE_CALL_RSP, ResponseBody(41));
  ASSERT_TRUE(link->WaitForCount("Response", 1));
  sim.QueueMessage(OMBIX_PING);  // 2: acknowledged, handed to nobody
  ASSERT_TRUE(SimWait([&] { return sim.Counters().dwAcksReceived >= 3; }));
  EXPECT_GE(sim.Counters().dwStaleAcks, 1u);  // the client acknowledged the repeat too
  TestDatagram ahead = Response(5, OMBIX_MAKE_CALL_RSP, 45);  // 3 expected
  sim.SendRaw(ahead.bytes);
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  ASSERT_TRUE(SimWait([&] { return sim.Counters().dwDisconnectsReceived == 1; }));
  std::vector<DWORD> ids;
  for (const LinkCall& call : link->Calls()) {
    if (call.strWhat == "Response") ids.push_back(call.dwInvokeID);
  }
  EXPECT_EQ(ids, std::vector<DWORD>{41});
  EXPECT_TRUE(link->WaitForCount("LoginSucceeded", 2));
}

TEST_F(LinkE2eTest, PingsWhenIdle) {
  OMBIXLINKOPTIONS options = FastLinkOptions(sim.GetPort());
  options.dwPingTimer = 200;
  MakeLink(options);
  StartAndLogIn();
  ASSERT_TRUE(SimWait([&] { return sim.ReceivedOfType(OMBIX_PING).size() >= 2; }));
  const auto pings = sim.ReceivedOfType(OMBIX_PING);
  EXPECT_EQ(pings[0].dwMsgSeq, 1u);
  EXPECT_EQ(pings[1].dwMsgSeq, 2u);
  EXPECT_EQ(link->Count("Response"), 0u);
}

TEST_F(LinkE2eTest, ServerDisconnectLeadsToANewLogin) {
  MakeLink();
  StartAndLogIn();
  sim.SendDisconnect();
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 2));
  EXPECT_EQ(sim.Counters().dwLogins, 2u);
  link->MonitorStop(5, "201");
  EXPECT_TRUE(link->WaitForCount("Response", 1));
}

TEST_F(LinkE2eTest, RecoversAfterTheSwitchRestarts) {
  MakeLink();
  StartAndLogIn();
  ASSERT_TRUE(sim.Restart());
  // The restarted switch knows no session: the next request is refused with a disconnect.
  link->MakeCall(1, "201", "100", 0, nullptr);
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 2));
  link->MakeCall(2, "201", "200", 0, nullptr);
  ASSERT_TRUE(link->WaitForCount("Response", 1));
  EXPECT_EQ(link->Calls().back().dwInvokeID, 2u);
}

TEST_F(LinkE2eTest, SurvivesASilentSwitch) {
  OMBIXLINKOPTIONS options = FastLinkOptions(sim.GetPort());
  options.dwAckTimeout = 200;
  MakeLink(options);
  StartAndLogIn();
  sim.GoSilent(true);
  link->MonitorStop(1, "201");
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  ASSERT_TRUE(SimWait([&] { return sim.Counters().dwDiscardedSilent >= 6; }));  // logins too
  sim.GoSilent(false);
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 2));
  link->MonitorStop(2, "201");
  ASSERT_TRUE(link->WaitForCount("Response", 1));
}

TEST_F(LinkE2eTest, RequestWhileTheLinkIsDownNeverReachesTheSwitch) {
  sim.SetLoginPolicy(SimLoginPolicy::kIgnore);
  MakeLink();
  ASSERT_TRUE(link->Start("127.0.0.1", "", "TAPI", "6.0.1"));
  ASSERT_TRUE(SimWait([&] { return sim.Counters().dwLoginsIgnored >= 1; }));
  link->MakeCall(1, "201", "100", 0, nullptr);
  sim.SetLoginPolicy(SimLoginPolicy::kAccept);
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  link->MakeCall(2, "201", "200", 0, nullptr);
  ASSERT_TRUE(link->WaitForCount("Response", 1));
  const auto calls = sim.ReceivedOfType(OMBIX_MAKE_CALL_REQ);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].dwInvokeID, 2u);
  EXPECT_EQ(calls[0].dwMsgSeq, 1u);
}

TEST_F(LinkE2eTest, RepeatedDatagramsAcrossAReconnectKeepTheNewLink) {
  SimFaults twice;
  twice.dDuplicateSent = 1;  // every acknowledgement and answer arrives two times
  sim.SetFaults(twice);
  MakeLink();
  StartAndLogIn();
  for (DWORD id = 1; id <= 3; ++id) link->MonitorStop(id, "201");
  ASSERT_TRUE(link->WaitForCount("Response", 3));
  sim.SendDisconnect();
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 2));
  link->MonitorStop(4, "201");
  ASSERT_TRUE(link->WaitForCount("Response", 4));
  EXPECT_EQ(link->Count("ConnectionLost"), 1u);  // the late login acknowledgement did no harm
  EXPECT_EQ(link->Count("Response"), 4u);        // repeated answers handed on once
}

// Several threads send while the switch drops a share of what it receives and sends: every
// request reaches the switch exactly once, and each thread's requests in the order it sent them.
TEST_F(LinkE2eTest, ConcurrentSendersOverALossyLink) {
  constexpr DWORD kThreads = 4;
  constexpr DWORD kPerThread = 40;
  SimFaults lossy;
  lossy.dDropReceived = 0.1;
  lossy.dDropSent = 0.1;
  sim.SetFaults(lossy);
  OMBIXLINKOPTIONS options = FastLinkOptions(sim.GetPort());
  options.dwAckTimeout = 60;
  options.dwMaxRetries = 30;  // losing a request to the give-up would be another test
  MakeLink(options);
  StartAndLogIn();

  std::latch go(kThreads);  // all start together, so their requests interleave
  std::vector<std::thread> senders;
  for (DWORD t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      go.arrive_and_wait();
      for (DWORD i = 0; i < kPerThread; ++i) link->MonitorStop(t * 1000 + i, "201");
    });
  }
  for (std::thread& sender : senders) sender.join();
  const std::size_t total = kThreads * kPerThread;
  ASSERT_TRUE(
      sim.WaitFor([&] { return sim.ReceivedOfType(OMBIX_MONITOR_STOP_REQ).size() >= total; },
                  std::chrono::seconds(120)));
  ASSERT_TRUE(link->WaitForCount("Response", total, std::chrono::seconds(120)));

  const auto got = sim.ReceivedOfType(OMBIX_MONITOR_STOP_REQ);
  ASSERT_EQ(got.size(), total);
  std::set<DWORD> ids;
  std::vector<DWORD> next(kThreads, 0);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].dwSession, got[0].dwSession);
    EXPECT_EQ(got[i].dwMsgSeq, i + 1);  // numbered in queue order, none skipped
    const DWORD t = got[i].dwInvokeID / 1000;
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(got[i].dwInvokeID % 1000, next[t]++);
    ids.insert(got[i].dwInvokeID);
  }
  EXPECT_EQ(ids.size(), total);
  EXPECT_EQ(link->Count("ConnectionLost"), 0u);
  EXPECT_EQ(link->Count("Response"), total);
}

}  // namespace
