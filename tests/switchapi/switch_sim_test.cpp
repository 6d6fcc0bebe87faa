// The simulated switch's side of the link rules, which the link's end-to-end tests rely on but
// cannot see, played by hand from a raw UDP client on loopback. Its fault knobs are checked where
// the link's tests use them. Waits are on conditions with deadlines, never on elapsed time.
#include "tools/switch-sim/switch_sim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "switchapi/ombix_decoder.h"
#include "switchapi/ombix_values.h"
#include "tests/switchapi/link_test_support.h"

namespace {

using namespace std::chrono_literals;

constexpr auto kDeadline = 10s;  // generous: a loaded machine with sanitizers

// A client socket on 127.0.0.1 talking to one sim.
class RawClient : public TestPeer {
 public:
  explicit RawClient(WORD wServerPort) : m_wServerPort(wServerPort) {}

  void Send(const TestDatagram& d) { SendTo(d.bytes, 0x7F000001, m_wServerPort); }
  void SendAck(DWORD dwSeq) { Send(TestDatagram(dwSeq, OMBIX_ACK)); }
  void SendLogin() { Send(TestDatagram(0, OMBIX_LOGIN_REQ).U32(0).Str("3.0").Str("T").Str("1")); }
  // Logs in and acknowledges the login response.
  void LogIn() {
    SendLogin();
    EXPECT_EQ(Expect(OMBIX_ACK), 0u);
    EXPECT_EQ(Expect(OMBIX_LOGIN_RSP), 0u);
    SendAck(0);
  }

  // The next datagram's sequence number, resends of the login response skipped when asked (they
  // cross our acknowledgement on a slow machine); fails the test when none comes or its type
  // differs.
  DWORD Expect(DWORD dwType, std::vector<BYTE>* pBytes = nullptr, bool bSkipLoginRsp = false) {
    while (auto d = Receive()) {
      if (bSkipLoginRsp && d->Type() == OMBIX_LOGIN_RSP) continue;
      EXPECT_EQ(d->Type(), dwType) << MessageTypeName(d->Type());
      if (pBytes) *pBytes = d->bytes;
      return d->Seq();
    }
    ADD_FAILURE() << "no datagram, expected " << MessageTypeName(dwType);
    return 0xDEAD;
  }
  DWORD ExpectAfterLogin(DWORD dwType) { return Expect(dwType, nullptr, true); }

 private:
  WORD m_wServerPort;
};

SwitchSimConfig TestConfig() {
  SwitchSimConfig config;
  config.wPort = 0;
  config.ackTimeout = 60s;  // no resends unless a test asks for them
  config.pingInterval = 0ms;
  return config;
}

// Every sequenced datagram is acknowledged, repeats included, and acted on once; every request is
// answered with its response, the echoed invoke id and the configured result; any other number
// ends the session.
TEST(SwitchSimTest, AnswersEachRequestOnceAndEndsTheSessionOnASequenceError) {
  SwitchSimConfig config = TestConfig();
  config.mapResults[OMBIX_HOLD_CALL_REQ] = OMBIX_ERROR_INVALID_STATE;
  config.mapResults[OMBIX_ANSWER_CALL_REQ] = kSimNoAnswer;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start()) << sim.GetLastError();
  RawClient client(sim.GetPort());
  client.LogIn();

  struct Case {
    TestDatagram request;
    DWORD dwResponse, dwInvokeID, dwError;
  } cases[] = {
      {TestDatagram(1, OMBIX_MAKE_CALL_REQ).U32(7).Str("200").Str("12345").U32(0).Str(""),
       OMBIX_MAKE_CALL_RSP, 7, 0},
      {TestDatagram(2, OMBIX_HOLD_CALL_REQ).U32(7).Str("201").Oid(1).Str(""), OMBIX_HOLD_CALL_RSP,
       7, OMBIX_ERROR_INVALID_STATE},
      {TestDatagram(3, OMBIX_CALL_CONNECTION_EVENT).U32(7), OMBIX_FAILURE_RSP, 7,
       OMBIX_ERROR_INVALID_MSG_TYPE},  // no request, but the first field is echoed all the same
  };
  DWORD dwSeq = 1;
  for (Case& c : cases) {
    client.Send(c.request);
    EXPECT_EQ(client.Expect(OMBIX_ACK), dwSeq);
    std::vector<BYTE> bytes;
    EXPECT_EQ(client.Expect(c.dwResponse, &bytes), dwSeq);
    client.Send(c.request);  // as if the first had been lost: acknowledged, not acted on
    EXPECT_EQ(client.Expect(OMBIX_ACK), dwSeq);
    client.SendAck(dwSeq++);
    auto rsp = DecodeMessage(bytes.data(), static_cast<DWORD>(bytes.size()));
    EXPECT_EQ(OmbixAsResponse(rsp.get())->dwInvokeID, c.dwInvokeID);
    EXPECT_EQ(OmbixAsResponse(rsp.get())->dwError, c.dwError) << MessageTypeName(c.dwResponse);
  }
  const auto calls = sim.ReceivedOfType(OMBIX_MAKE_CALL_REQ);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].dwRepeats, 1u);
  EXPECT_EQ(sim.Counters().dwResponsesSent, 4u);  // the login's and one per request

  // Acknowledged, recorded, never answered.
  client.Send(TestDatagram(4, OMBIX_ANSWER_CALL_REQ).U32(3).Str("201").Oid(1).Str(""));
  EXPECT_EQ(client.Expect(OMBIX_ACK), 4u);
  EXPECT_FALSE(client.Receive(200ms).has_value());
  EXPECT_EQ(sim.ReceivedOfType(OMBIX_ANSWER_CALL_REQ).size(), 1u);

  client.Send(TestDatagram(7, OMBIX_MONITOR_STOP_REQ).U32(1).Str("201"));  // 5 expected
  EXPECT_EQ(client.Expect(OMBIX_DISCONNECT), 4u);
  EXPECT_TRUE(sim.Sessions().empty());
  EXPECT_TRUE(sim.ReceivedOfType(OMBIX_MONITOR_STOP_REQ).empty());
}

// The sim's own datagrams: one outstanding, resent unchanged until acknowledged, the next one only
// after that; an acknowledgement of anything else changes nothing.
TEST(SwitchSimTest, SendsOneAtATimeAndResendsUntilAcknowledged) {
  SwitchSimConfig config = TestConfig();
  config.ackTimeout = 20ms;
  config.dwMaxRetries = 100000;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.SendLogin();
  client.Expect(OMBIX_ACK);
  std::vector<BYTE> first, again;
  EXPECT_EQ(client.Expect(OMBIX_LOGIN_RSP, &first), 0u);
  sim.QueueMessage(OMBIX_PING);
  for (int i = 0; i < 2; ++i) {
    client.Expect(OMBIX_LOGIN_RSP, &again);
    EXPECT_EQ(first, again);
  }
  client.SendAck(1);  // stale
  ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwStaleAcks == 1; }, kDeadline));
  client.SendAck(0);
  EXPECT_EQ(client.ExpectAfterLogin(OMBIX_PING), 1u);
  EXPECT_GE(sim.Counters().dwResends, 2u);
}

TEST(SwitchSimTest, AClientBackOnANewPortLeavesNoSessionBehind) {
  SwitchSimConfig config = TestConfig();
  // The gone client's session is given up after three seconds; a live client's login
  // acknowledgement, late on a loaded machine, must come within that time too.
  config.ackTimeout = 1s;
  config.dwMaxRetries = 2;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient(sim.GetPort()).LogIn();  // and gone
  RawClient(sim.GetPort()).LogIn();
  EXPECT_TRUE(sim.WaitFor([&] { return sim.Sessions().size() == 1; }, kDeadline));
  EXPECT_EQ(sim.Counters().dwSessionsGivenUp, 1u);
}

// Every response that carries more than a result carries all of it, with empty values.
TEST(SwitchSimTest, WholeResponseBodies) {
  SwitchSim sim(TestConfig());
  ASSERT_TRUE(sim.Start());
  RawClient client(sim.GetPort());
  client.LogIn();
  // Bytes after dwInvokeID and dwError: u32 4, empty string 4, ObjectId 12, empty array 4.
  const struct {
    DWORD dwResponse, dwBytes;
  } cases[] = {{269, 24}, {301, 24}, {317, 16}, {333, 4}, {339, 24}, {345, 8}, {363, 8},
               {347, 4},  {353, 12}, {355, 4},  {357, 4}, {367, 84}, {369, 4}, {513, 12},
               {517, 12}, {519, 8},  {527, 12}, {769, 4}, {771, 4},  {773, 4}, {779, 4},
               {785, 4},  {787, 4},  {775, 8},  {783, 36}};
  DWORD dwSeq = 1;
  for (const auto& c : cases) {
    client.Send(TestDatagram(dwSeq, c.dwResponse - 1).U32(dwSeq));
    client.Expect(OMBIX_ACK);
    std::vector<BYTE> rsp;
    client.Expect(c.dwResponse, &rsp);
    client.SendAck(dwSeq++);
    EXPECT_EQ(rsp.size(), 8u + 8u + c.dwBytes) << MessageTypeName(c.dwResponse);
  }
}

// The sim sleeps until its next timer: a ping falls due with no traffic at all, and a datagram
// queued or held back by another thread while the sim had nothing due is still resent or sent.
TEST(SwitchSimTest, TimersFireWhenDueWithNothingElseToWakeTheSim) {
  enum class Timer { kPing, kResendOfAQueuedMessage, kDelayedSend };
  for (Timer timer : {Timer::kPing, Timer::kResendOfAQueuedMessage, Timer::kDelayedSend}) {
    SCOPED_TRACE(testing::Message() << "timer " << static_cast<int>(timer));
    SwitchSimConfig config = TestConfig();
    if (timer == Timer::kPing) config.pingInterval = 30ms;
    if (timer == Timer::kResendOfAQueuedMessage) {
      config.ackTimeout = 30ms;
      config.dwMaxRetries = 100000;  // a slow test's login acknowledgement must not end the session
    }
    SwitchSim sim(config);
    ASSERT_TRUE(sim.Start());
    RawClient client(sim.GetPort());
    client.LogIn();
    ASSERT_TRUE(sim.WaitFor([&] { return sim.Counters().dwAcksReceived == 1; }, kDeadline));
    if (timer == Timer::kPing) {
      EXPECT_EQ(client.Expect(OMBIX_PING), 1u);
      client.SendAck(1);
      EXPECT_EQ(client.Expect(OMBIX_PING), 2u);
      continue;
    }
    if (timer == Timer::kDelayedSend) {
      SimFaults faults;
      faults.dDelaySent = 1;
      faults.delay = 30ms;
      sim.SetFaults(faults);
    }
    sim.QueueMessage(OMBIX_PHONE_STATE_EVENT, TestDatagram().U32(1).bytes);
    EXPECT_EQ(client.ExpectAfterLogin(OMBIX_PHONE_STATE_EVENT), 1u);
    if (timer == Timer::kResendOfAQueuedMessage) {
      EXPECT_EQ(client.ExpectAfterLogin(OMBIX_PHONE_STATE_EVENT), 1u);  // the same, again
    }
  }
}

// Only the newest records are kept; counters and repeats are counted as before, a repeat of a
// forgotten datagram included.
TEST(SwitchSimTest, KeepsOnlyTheNewestRecords) {
  SwitchSimConfig config = TestConfig();
  config.nReceivedKept = 2;
  SwitchSim sim(config);
  ASSERT_TRUE(sim.Start());
  RawClient first(sim.GetPort()), second(sim.GetPort());
  first.LogIn();
  const auto request = [](DWORD dwSeq) {
    return TestDatagram(dwSeq, OMBIX_MONITOR_STOP_REQ).U32(dwSeq).Str("201");
  };
  for (DWORD dwSeq = 1; dwSeq <= 3; ++dwSeq) {
    first.Send(request(dwSeq));
    first.Expect(OMBIX_ACK);
    first.Expect(OMBIX_MONITOR_STOP_RSP);
    first.SendAck(dwSeq);
  }
  first.Send(request(3));
  EXPECT_EQ(first.Expect(OMBIX_ACK), 3u);
  std::vector<SimReceived> kept = sim.Received();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].dwInvokeID, 2u);
  EXPECT_EQ(kept[1].dwInvokeID, 3u);
  EXPECT_EQ(kept[1].dwRepeats, 1u);

  // The second client's login and request push out both of the first's records; the first's
  // repeat then finds its record gone.
  second.LogIn();
  // A login from a new port probes the address's other sessions; the first client is still there.
  first.SendAck(first.Expect(OMBIX_PING));
  second.Send(request(1));
  second.Expect(OMBIX_ACK);
  first.Send(request(3));
  EXPECT_EQ(first.Expect(OMBIX_ACK), 3u);
  kept = sim.Received();
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].dwMsgType, OMBIX_LOGIN_REQ);
  EXPECT_EQ(kept[1].dwMsgType, OMBIX_MONITOR_STOP_REQ);
  EXPECT_EQ(kept[0].dwRepeats + kept[1].dwRepeats, 0u);
  EXPECT_EQ(sim.Counters().dwRepeatsSeen, 2u);
  EXPECT_EQ(sim.Counters().dwResponsesSent, 6u);  // two logins, four requests
}

}  // namespace
