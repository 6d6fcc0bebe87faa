// The simulated switch, driven by a raw UDP client on loopback that plays the client's part of
// the link rules by hand. Waits are on conditions with deadlines of seconds, never on elapsed time.
#include "tools/switch-sim/switch_sim.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <vector>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_values.h"
#include "tests/switchapi/datagram_builder.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 10s;  // generous: a loaded machine with sanitizers

// A client socket on 127.0.0.1 talking to one sim.
class RawClient {
 public:
  explicit RawClient(WORD wServerPort) {
    m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof(local));
    m_server.sin_family = AF_INET;
    m_server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_server.sin_port = htons(wServerPort);
  }
  ~RawClient() { ::close(m_fd); }

  void Send(const TestDatagram& d) {
    ::sendto(m_fd, d.data(), d.size(), 0, reinterpret_cast<sockaddr*>(&m_server), sizeof(m_server));
  }
  void SendAck(DWORD dwSeq) { Send(TestDatagram(dwSeq, OMBIX_ACK)); }
  void SendLogin() {
    Send(TestDatagram(0, OMBIX_LOGIN_REQ).U32(0).Str("3.0").Str("TAPI").Str("6.0.1"));
  }

  // The next datagram, or nothing within the time-out.
  std::optional<std::vector<BYTE>> Receive(std::chrono::milliseconds timeout = kDeadline) {
    pollfd pfd{m_fd, POLLIN, 0};
    if (::poll(&pfd, 1, static_cast<int>(timeout.count())) <= 0) return std::nullopt;
    std::vector<BYTE> bytes(65536);
    const ssize_t n = ::recv(m_fd, bytes.data(), bytes.size(), 0);
    if (n < 0) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(n));
    return bytes;
  }
  // The next datagram's header; fails the test when none comes.
  OMBIXHEADER Expect(DWORD dwType, std::vector<BYTE>* pBytes = nullptr) {
    auto bytes = Receive();
    EXPECT_TRUE(bytes.has_value()) << "no datagram, expected " << MessageTypeName(dwType);
    if (!bytes) return {0xDEAD, 0xDEAD};
    const OMBIXHEADER header = ReadOmbixHeader(bytes->data(), static_cast<DWORD>(bytes->size()));
    EXPECT_EQ(header.dwMsgType, dwType) << MessageTypeName(header.dwMsgType);
    if (pBytes) *pBytes = *bytes;
    return header;
  }
  // Logs in and acknowledges the login response: the sim's next number is then 1, ours 1.
  void LogIn() {
    SendLogin();
    EXPECT_EQ(Expect(OMBIX_ACK).dwMsgSeq, 0u);
    EXPECT_EQ(Expect(OMBIX_LOGIN_RSP).dwMsgSeq, 0u);
    SendAck(0);
  }

 private:
  int m_fd;
  sockaddr_in m_server{};
};

SwitchSimConfig TestConfig() {
  SwitchSimConfig config;
  config.wPort = 0;
  config.ackTimeout = 60s;  // no resends unless a test asks for them
  config.pingInterval = 0ms;
  if (std::getenv("OMBIX_SIM_VERBOSE") != nullptr) config.pLog = &std::cerr;
  return config;
}

TestDatagram MakeCall(DWORD dwSeq, DWORD dwInvokeID, const char* pszNumber) {
  return TestDatagram(dwSeq, OMBIX_MAKE_CALL_REQ)
      .U32(dwInvokeID)
      .Str("")
      .Str(pszNumber)
      .U32(0)
      .Str("");
}

std::unique_ptr<COmbixMsg> Decode(const std::vector<BYTE>& bytes) {
  return DecodeMessage(bytes.data(), static_cast<DWORD>(bytes.size()));
}

TEST(SwitchSimTest, AcceptsLoginAndRecordsIt) {
  SwitchSim sim(TestConfig());
  ASSERT_TRUE(sim.Start()) << sim.GetLastError();
  ASSERT_NE(sim.GetPort(), 0);
  RawClient client(sim.GetPort());
  client.SendLogin();
  EXPECT_EQ(client.Expect(OMBIX_ACK).dwMsgSeq, 0u);
  std::vector<BYTE> bytes;
  EXPECT_EQ(client.Expect(OMBIX_LOGIN_RSP, &bytes).dwMsgSeq, 0u);
  auto rsp = Decode(bytes);
  auto* pLogin = dynamic_cast<COmbixLoginRsp*>(rsp.get());
  ASSERT_NE(pLogin, nullptr);
  EXPECT_EQ(pLogin->dwError, 0u);
  EXPECT_STREQ(pLogin->strAPIVersion, "3.0");

  auto logins = sim.ReceivedOfType(OMBIX_LOGIN_REQ);
  ASSERT_EQ(logins.size(), 1u);
  EXPECT_EQ(logins[0].Str("strClient"), "TAPI");
  EXPECT_EQ(logins[0].Str("strClientVersion"), "6.0.1");
  EXPECT_EQ(sim.Counters().dwLogins, 1u);
}

TEST(SwitchSimTest, RefusesLoginWithTheGivenCode) {
  SwitchSimConfig config = TestConfig();
  config.loginPolicy = SimLoginPolicy::kRefuse;
  config.dwLoginError = OMBIX_ERROR_ACCOUNT_LOCKED;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.SendLogin();
  client.Expect(OMBIX_ACK);
  std::vector<BYTE> bytes;
  client.Expect(OMBIX_LOGIN_RSP, &bytes);
  auto rsp = Decode(bytes);
  EXPECT_EQ(OmbixAsResponse(rsp.get())->dwError, OMBIX_ERROR_ACCOUNT_LOCKED);
  EXPECT_EQ(sim.Counters().dwLoginsRefused, 1u);
  EXPECT_EQ(sim.Counters().dwLogins, 0u);
}

TEST(SwitchSimTest, IgnoredLoginGetsNoAnswer) {
  SwitchSimConfig config = TestConfig();
  config.loginPolicy = SimLoginPolicy::kIgnore;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.SendLogin();
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwLoginsIgnored == 1; }, kDeadline));
  EXPECT_FALSE(client.Receive(200ms).has_value());
  EXPECT_TRUE(sim.Sessions().empty());
}

TEST(SwitchSimTest, AcknowledgesRepeatsButActsOnce) {
  SwitchSim sim(TestConfig());
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  client.Send(MakeCall(1, 7, "12345"));
  EXPECT_EQ(client.Expect(OMBIX_ACK).dwMsgSeq, 1u);
  std::vector<BYTE> bytes;
  EXPECT_EQ(client.Expect(OMBIX_MAKE_CALL_RSP, &bytes).dwMsgSeq, 1u);
  client.Send(MakeCall(1, 7, "12345"));  // as if our first send had been lost
  EXPECT_EQ(client.Expect(OMBIX_ACK).dwMsgSeq, 1u);
  client.SendAck(1);

  auto rsp = Decode(bytes);
  EXPECT_EQ(OmbixAsResponse(rsp.get())->dwInvokeID, 7u);
  auto calls = sim.ReceivedOfType(OMBIX_MAKE_CALL_REQ);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].dwInvokeID, 7u);
  EXPECT_EQ(calls[0].Str("strNumber"), "12345");
  EXPECT_EQ(calls[0].dwRepeats, 1u);
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwAcksReceived == 2; }, kDeadline));
  const SimCounters counters = sim.Counters();
  EXPECT_EQ(counters.dwRepeatsSeen, 1u);
  EXPECT_EQ(counters.dwResponsesSent, 2u);  // the login's and the one make-call answer
  EXPECT_EQ(sim.Sessions()[0].dwExpectedRecvSeq, 2u);
}

TEST(SwitchSimTest, AnswersWithTheConfiguredResult) {
  SwitchSimConfig config = TestConfig();
  config.mapResults[OMBIX_HOLD_CALL_REQ] = OMBIX_ERROR_INVALID_STATE;
  config.mapResults[OMBIX_ANSWER_CALL_REQ] = kSimNoAnswer;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  struct Case {
    TestDatagram request;
    DWORD dwResponse;
    DWORD dwError;
  } cases[] = {
      {TestDatagram(1, OMBIX_HOLD_CALL_REQ).U32(3).Str("201").Oid(1).Str(""), OMBIX_HOLD_CALL_RSP,
       OMBIX_ERROR_INVALID_STATE},
      {TestDatagram(2, OMBIX_MONITOR_START_REQ).U32(3).Str("201").Str("pw").Str(""),
       OMBIX_MONITOR_START_RSP, 0},
      {TestDatagram(3, OMBIX_CALL_CONNECTION_EVENT).U32(3), OMBIX_FAILURE_RSP,
       OMBIX_ERROR_INVALID_MSG_TYPE},
  };
  DWORD dwSeq = 1;
  for (Case& c : cases) {
    client.Send(c.request);
    client.Expect(OMBIX_ACK);
    std::vector<BYTE> bytes;
    EXPECT_EQ(client.Expect(c.dwResponse, &bytes).dwMsgSeq, dwSeq);
    client.SendAck(dwSeq++);
    auto rsp = Decode(bytes);
    EXPECT_EQ(OmbixAsResponse(rsp.get())->dwError, c.dwError) << MessageTypeName(c.dwResponse);
    if (auto* pMonitor = dynamic_cast<COmbixMonitorRsp*>(rsp.get())) {
      EXPECT_NE(pMonitor->dwMonitorID, 0u);
      EXPECT_STREQ(pMonitor->strDevice, "201");
    }
  }
  // Acknowledged, recorded, never answered.
  client.Send(TestDatagram(4, OMBIX_ANSWER_CALL_REQ).U32(3).Str("201").Oid(1).Str(""));
  client.Expect(OMBIX_ACK);
  EXPECT_FALSE(client.Receive(200ms).has_value());
  EXPECT_EQ(sim.ReceivedOfType(OMBIX_ANSWER_CALL_REQ).size(), 1u);
}

TEST(SwitchSimTest, SequenceErrorEndsTheSession) {
  SwitchSim sim(TestConfig());
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  client.Send(MakeCall(3, 1, "1"));  // 1 expected
  EXPECT_EQ(client.Expect(OMBIX_DISCONNECT).dwMsgSeq, 1u);
  EXPECT_TRUE(sim.Sessions().empty());
  EXPECT_EQ(sim.Counters().dwSequenceErrors, 1u);
  EXPECT_TRUE(sim.ReceivedOfType(OMBIX_MAKE_CALL_REQ).empty());
}

TEST(SwitchSimTest, ResendsUntilAcknowledged) {
  SwitchSimConfig config = TestConfig();
  config.ackTimeout = 20ms;
  config.dwMaxRetries = 100000;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.SendLogin();
  client.Expect(OMBIX_ACK);
  std::vector<BYTE> first, again;
  client.Expect(OMBIX_LOGIN_RSP, &first);
  for (int i = 0; i < 2; ++i) {
    client.Expect(OMBIX_LOGIN_RSP, &again);
    EXPECT_EQ(first, again);
  }
  client.SendAck(0);
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwAcksReceived == 1; }, kDeadline));
  EXPECT_GE(sim.Counters().dwResends, 2u);
  EXPECT_FALSE(sim.Sessions()[0].bOutstanding);
}

TEST(SwitchSimTest, GivesUpAfterTheLastResend) {
  SwitchSimConfig config = TestConfig();
  config.ackTimeout = 20ms;
  config.dwMaxRetries = 3;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.SendLogin();
  client.Expect(OMBIX_ACK);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(client.Expect(OMBIX_LOGIN_RSP).dwMsgSeq, 0u);
  EXPECT_EQ(client.Expect(OMBIX_DISCONNECT).dwMsgSeq, 1u);
  EXPECT_EQ(sim.Counters().dwResends, 3u);
  EXPECT_EQ(sim.Counters().dwSessionsGivenUp, 1u);
  EXPECT_TRUE(sim.Sessions().empty());
}

TEST(SwitchSimTest, SendsOneAtATimeInOrder) {
  SwitchSim sim(TestConfig());
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  ASSERT_TRUE(sim.WaitFor([&] { return !sim.Sessions()[0].bOutstanding; }, kDeadline));
  sim.QueueMessage(OMBIX_PHONE_STATE_EVENT, TestDatagram().U32(5).bytes);
  sim.QueueMessage(OMBIX_PING);
  EXPECT_EQ(client.Expect(OMBIX_PHONE_STATE_EVENT).dwMsgSeq, 1u);
  EXPECT_FALSE(client.Receive(100ms).has_value());  // the ping waits for our acknowledgement
  client.SendAck(0);                                // stale: changes nothing
  client.SendAck(1);
  EXPECT_EQ(client.Expect(OMBIX_PING).dwMsgSeq, 2u);
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwStaleAcks == 1; }, kDeadline));
}

TEST(SwitchSimTest, PingsWhenIdle) {
  SwitchSimConfig config = TestConfig();
  config.pingInterval = 20ms;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  EXPECT_EQ(client.Expect(OMBIX_PING).dwMsgSeq, 1u);
  client.SendAck(1);
  EXPECT_EQ(client.Expect(OMBIX_PING).dwMsgSeq, 2u);
  EXPECT_GE(sim.Counters().dwPingsSent, 2u);
}

TEST(SwitchSimTest, DisconnectSilenceAndRestart) {
  SwitchSimConfig config = TestConfig();
  config.ackTimeout = 20ms;
  config.dwMaxRetries = 100000;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  const WORD wPort = sim.GetPort();
  RawClient client(wPort);
  auto drain = [&] {
    while (client.Receive(100ms)) {
    }
  };

  client.LogIn();
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwAcksReceived == 1; }, kDeadline));
  drain();  // resends that crossed our acknowledgement
  sim.SendDisconnect();
  EXPECT_EQ(client.Expect(OMBIX_DISCONNECT).dwMsgSeq, 1u);
  EXPECT_TRUE(sim.Sessions().empty());

  // Silent: nothing is acknowledged or resent; speaking again resends what is outstanding.
  client.SendLogin();
  client.Expect(OMBIX_ACK);
  sim.GoSilent(true);
  drain();  // resends already on their way
  client.Send(MakeCall(1, 1, "1"));
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwDiscardedSilent == 1; }, kDeadline));
  EXPECT_FALSE(client.Receive(100ms).has_value());
  sim.GoSilent(false);
  EXPECT_EQ(client.Expect(OMBIX_LOGIN_RSP).dwMsgSeq, 0u);
  EXPECT_TRUE(sim.ReceivedOfType(OMBIX_MAKE_CALL_REQ).empty());

  // A restart forgets the session: the client's next datagram is told to log in again.
  ASSERT_TRUE(sim.Restart());
  EXPECT_EQ(sim.GetPort(), wPort);
  EXPECT_TRUE(sim.Sessions().empty());
  drain();
  client.Send(MakeCall(1, 1, "1"));
  EXPECT_EQ(client.Expect(OMBIX_DISCONNECT).dwMsgSeq, 0u);
  client.LogIn();
  ASSERT_EQ(sim.Sessions().size(), 1u);
  EXPECT_EQ(sim.Sessions()[0].dwSession, 3u);
}

TEST(SwitchSimTest, DelaysAndDropsWhatItSends) {
  SwitchSimConfig config = TestConfig();
  config.faults.dDelaySent = 1;
  config.faults.delay = 20ms;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();  // held back, but it all arrives
  EXPECT_EQ(sim.Counters().dwDelayedSent, 2u);

  SimFaults faults;
  faults.dDropSent = 1;
  sim.SetFaults(faults);
  client.Send(TestDatagram(1, OMBIX_PING));
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwDroppedSent == 1; }, kDeadline));
  EXPECT_FALSE(client.Receive(100ms).has_value());
  EXPECT_EQ(sim.ReceivedOfType(OMBIX_PING).size(), 1u);  // acted on all the same
}

// Plays stop-and-wait against a sim with faults and returns, per datagram sent, whether the
// sim dropped it on receipt and whether it sent its acknowledgement twice.
struct FaultPattern {
  std::vector<bool> dropped, duplicated;
};

FaultPattern RunFaults(DWORD dwSeed) {
  SwitchSimConfig config = TestConfig();
  config.dwSeed = dwSeed;
  SwitchSim sim(config);
  EXPECT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  EXPECT_TRUE(sim.WaitFor([&] { return sim.Counters().dwAcksReceived == 1; }, kDeadline));
  SimFaults faults;
  faults.dDropReceived = 0.3;
  faults.dDuplicateSent = 0.3;
  sim.SetFaults(faults);

  FaultPattern pattern;
  auto seen = [&] {
    const SimCounters c = sim.Counters();
    return c.dwReceived + c.dwDroppedReceived;
  };
  for (DWORD dwSeq = 1; dwSeq <= 24;) {
    const SimCounters before = sim.Counters();
    const DWORD dwSeenBefore = seen();
    client.Send(TestDatagram(dwSeq, OMBIX_PING));
    EXPECT_TRUE(sim.WaitFor([&] { return seen() == dwSeenBefore + 1; }, kDeadline));
    const SimCounters after = sim.Counters();
    const bool bDropped = after.dwDroppedReceived != before.dwDroppedReceived;
    pattern.dropped.push_back(bDropped);
    if (bDropped) continue;  // as the client does when no acknowledgement comes
    const bool bDuplicated = after.dwDuplicatedSent != before.dwDuplicatedSent;
    pattern.duplicated.push_back(bDuplicated);
    EXPECT_EQ(client.Expect(OMBIX_ACK).dwMsgSeq, dwSeq);
    if (bDuplicated) {
      EXPECT_EQ(client.Expect(OMBIX_ACK).dwMsgSeq, dwSeq);
    }
    ++dwSeq;
  }
  EXPECT_EQ(sim.ReceivedOfType(OMBIX_PING).size(), 24u);
  return pattern;
}

TEST(SwitchSimTest, DropsAndDuplicatesFollowTheSeed) {
  const FaultPattern a = RunFaults(42);
  const FaultPattern b = RunFaults(42);
  EXPECT_EQ(a.dropped, b.dropped);
  EXPECT_EQ(a.duplicated, b.duplicated);
  EXPECT_NE(std::count(a.dropped.begin(), a.dropped.end(), true), 0);
  EXPECT_NE(std::count(a.duplicated.begin(), a.duplicated.end(), true), 0);
  EXPECT_NE(std::count(a.duplicated.begin(), a.duplicated.end(), false), 0);
}

}  // namespace
