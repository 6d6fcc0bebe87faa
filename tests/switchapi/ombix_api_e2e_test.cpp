// The link end to end against the simulated switch on loopback: logins through either server,
// every request with its bytes, resends until the switch is heard again, repeated datagrams across
// a reconnect, the switch restarting, and many threads sending at once over a lossy link. The exact
// sequence rules, acknowledgements, pings and the mended faults are tested against a scripted
// switch in ombix_api_link_test.cpp.
#include <gtest/gtest.h>

#include <latch>
#include <optional>
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

class LinkE2eTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim.Start()) << sim.GetLastError(); }

  // A new link, with the fast options unless told others.
  void MakeLink(std::optional<OMBIXLINKOPTIONS> options = std::nullopt) {
    link = std::make_unique<RecordingLink>(options.value_or(FastLinkOptions(sim.GetPort())));
  }
  // A new link, started and logged in through the primary.
  void StartAndLogIn(std::optional<OMBIXLINKOPTIONS> options = std::nullopt) {
    MakeLink(options);
    ASSERT_TRUE(link->Start("127.0.0.1", "", "TAPI", "6.0.1"));
    ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  }

  bool SimWait(const std::function<bool()>& pred) { return sim.WaitFor(pred, kLinkTestDeadline); }

  SwitchSim sim{SimConfig()};
  std::unique_ptr<RecordingLink> link;  // destroyed before the sim
};

TEST_F(LinkE2eTest, LogsInThroughTheSecondaryWhenThePrimaryIsSilentOrNone) {
  // The secondary listens on the same port as the primary, at the other loopback address.
  SwitchSim secondary(SimConfig("127.0.0.2", sim.GetPort()));
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

  sim.Stop();  // and with no primary at all
  MakeLink();
  ASSERT_TRUE(link->Start("", "127.0.0.2", "TAPI", "6.0.1"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  EXPECT_EQ(link->GetServerAddr(), kSecondary);
  link.reset();
}

// The login through the primary of two servers, then each request method's datagram, byte for
// byte as written by hand, and its answer handed on.
TEST_F(LinkE2eTest, LogsInThroughThePrimaryAndEveryRequestArrivesWithItsBytes) {
  struct Case {
    DWORD dwType;
    std::function<void(COmbixAPI&, DWORD)> send;
    TestDatagram fields;  // after dwInvokeID
  };
  const ObjectId a = TestOid(0x10), b = TestOid(0x40);
  using T = TestDatagram;
  // clang-format off
  const Case cases[] = {
      {256, [&](COmbixAPI& l, DWORD id) { l.AlternateCall(id, "201", a, b); }, T().Str("201").Oid(0x10).Oid(0x40)},
      {258, [&](COmbixAPI& l, DWORD id) { l.AnswerCall(id, "201", a, "ph"); }, T().Str("201").Oid(0x10).Str("ph")},
      {260, [&](COmbixAPI& l, DWORD id) { l.CompleteTransfer(id, "201", a, b); }, T().Str("201").Oid(0x10).Oid(0x40)},
      {264, [&](COmbixAPI& l, DWORD id) { l.DialDigits(id, "201", a, "123#"); }, T().Str("201").Oid(0x10).Str("123#")},
      {266, [&](COmbixAPI& l, DWORD id) { l.DropConnection(id, "201", b, 7); }, T().Str("201").Oid(0x40).U32(7)},
      {270, [&](COmbixAPI& l, DWORD id) { l.HoldCall(id, "201", a, nullptr); }, T().Str("201").Oid(0x10).Str("")},
      {274, [&](COmbixAPI& l, DWORD id) { l.MakeCall(id, "201", "5551234", 3, "ph"); },
       T().Str("201").Str("5551234").U32(3).Str("ph")},
      {278, [&](COmbixAPI& l, DWORD id) { l.MonitorStart(id, "201", "pw", "new"); }, T().Str("201").Str("pw").Str("new")},
      {280, [&](COmbixAPI& l, DWORD id) { l.MonitorStop(id, "202"); }, T().Str("202")},
      {282, [&](COmbixAPI& l, DWORD id) { l.ParkCall(id, "201", a, 1); }, T().Str("201").Oid(0x10).U32(1)},
      {284, [&](COmbixAPI& l, DWORD id) { l.PickupCall(id, "201", "305", "ph"); }, T().Str("201").Str("305").Str("ph")},
      {288, [&](COmbixAPI& l, DWORD id) { l.QueryPhoneState(id, "ag", "ph"); }, T().Str("ag").Str("ph")},
      {294, [&](COmbixAPI& l, DWORD id) { l.RedirectCall(id, "201", b, 2, "777", 8); },
       T().Str("201").Oid(0x40).U32(2).Str("777").U32(8)},
      {296, [&](COmbixAPI& l, DWORD id) { l.RetrieveCall(id, "201", a, "ph"); }, T().Str("201").Oid(0x10).Str("ph")},
      {302, [&](COmbixAPI& l, DWORD id) { l.SetCallForwarding(id, "201", 2, "999"); }, T().Str("201").U32(2).Str("999")},
      {304, [&](COmbixAPI& l, DWORD id) { l.SetDoNotDisturb(id, "201", 1, ""); }, T().Str("201").U32(1).Str("")},
      {306, [&](COmbixAPI& l, DWORD id) { l.SetupTransfer(id, "201", a, "400", 1); },
       T().Str("201").Oid(0x10).Str("400").U32(1)},
      {308, [&](COmbixAPI& l, DWORD id) { l.SetupConference(id, "201", b, "401", 2); },
       T().Str("201").Oid(0x40).Str("401").U32(2)},
      {310, [&](COmbixAPI& l, DWORD id) { l.SingleStepTransfer(id, "201", a, "402", 4); },
       T().Str("201").Oid(0x10).Str("402").U32(4)},
      {318, [&](COmbixAPI& l, DWORD id) { l.GetCallForwarding(id, "203"); }, T().Str("203")},
      {322, [&](COmbixAPI& l, DWORD id) { l.ConferenceCall(id, "201", b, a); }, T().Str("201").Oid(0x40).Oid(0x10)},
      {324, [&](COmbixAPI& l, DWORD id) { l.DropConferenceConnection(id, "201", a, "306"); },
       T().Str("201").Oid(0x10).Str("306")},
      {334, [&](COmbixAPI& l, DWORD id) { l.QueryPhoneConfig(id, "ag2", "ph2"); }, T().Str("ag2").Str("ph2")},
  };
  // clang-format on
  MakeLink();
  ASSERT_TRUE(link->Start("127.0.0.1", "127.0.0.2", "TAPI", "6.0.1"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  EXPECT_EQ(link->GetServerAddr(), kPrimary);
  const std::vector<SimReceived> logins = sim.ReceivedOfType(OMBIX_LOGIN_REQ);
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].body, TestDatagram().U32(0).Str("3.0").Str("TAPI").Str("6.0.1").bytes);
  DWORD id = 100;
  for (const Case& c : cases) c.send(*link, id++);
  const std::size_t n = std::size(cases);
  ASSERT_TRUE(link->WaitForCount("Response", n));

  std::vector<SimReceived> got;
  for (const SimReceived& r : sim.Received()) {
    if (r.dwMsgType != OMBIX_LOGIN_REQ) got.push_back(r);
  }
  std::vector<LinkCall> responses;
  for (const LinkCall& call : link->Calls()) {
    if (call.strWhat == "Response") responses.push_back(call);
  }
  ASSERT_EQ(got.size(), n);
  ASSERT_EQ(responses.size(), n);
  for (std::size_t i = 0; i < n; ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "message type " << c.dwType);
    EXPECT_EQ(got[i].dwMsgType, c.dwType);
    EXPECT_EQ(got[i].dwMsgSeq, i + 1);
    std::vector<BYTE> expected = TestDatagram().U32(static_cast<DWORD>(100 + i)).bytes;
    expected.insert(expected.end(), c.fields.bytes.begin(), c.fields.bytes.end());
    EXPECT_EQ(got[i].body, expected);
    EXPECT_EQ(responses[i].dwMsgType, c.dwType + 1);  // answered in order
    EXPECT_EQ(responses[i].dwInvokeID, 100 + i);
  }
}

TEST_F(LinkE2eTest, FourResendsUnacknowledgedDropTheLinkUntilTheSwitchIsHeardAgain) {
  OMBIXLINKOPTIONS options = FastLinkOptions(sim.GetPort());
  options.dwAckTimeout = 300;
  StartAndLogIn(options);
  SimFaults deaf;
  deaf.dDropSent = 1;
  sim.SetFaults(deaf);
  link->HoldCall(9, "201", TestOid(1), "");
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  // The disconnect left after the last resend: once the sim has it, it has them all.
  ASSERT_TRUE(SimWait([&] { return sim.Counters().dwDisconnectsReceived == 1; }));
  const auto holds = sim.ReceivedOfType(OMBIX_HOLD_CALL_REQ);
  ASSERT_EQ(holds.size(), 1u);  // acted on once
  EXPECT_EQ(holds[0].dwRepeats, 4u);
  const auto disconnects = sim.ReceivedOfType(OMBIX_DISCONNECT);
  ASSERT_EQ(disconnects.size(), 1u);
  EXPECT_EQ(disconnects[0].dwMsgSeq, holds[0].dwMsgSeq + 1);
  sim.SetFaults(SimFaults{});
  EXPECT_TRUE(link->WaitForCount("LoginSucceeded", 2));
}

TEST_F(LinkE2eTest, RepeatedDatagramsAcrossAReconnectKeepTheNewLink) {
  SimFaults twice;
  twice.dDuplicateSent = 1;  // every acknowledgement and answer arrives two times
  sim.SetFaults(twice);
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

TEST_F(LinkE2eTest, RecoversAfterTheSwitchRestarts) {
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
  StartAndLogIn(options);

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
  std::vector<DWORD> next(kThreads, 0);
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].dwSession, got[0].dwSession);
    EXPECT_EQ(got[i].dwMsgSeq, i + 1);  // numbered in queue order, none skipped
    const DWORD t = got[i].dwInvokeID / 1000;
    ASSERT_LT(t, kThreads);
    EXPECT_EQ(got[i].dwInvokeID % 1000, next[t]++);  // so none is there twice
  }
  EXPECT_EQ(link->Count("ConnectionLost"), 0u);
  EXPECT_EQ(link->Count("Response"), total);
  // The losses really happened, both ways: the link made them good.
  EXPECT_GT(sim.Counters().dwDroppedReceived, 0u);
  EXPECT_GT(sim.Counters().dwDroppedSent, 0u);
}

}  // namespace
