// The link's rules against a scripted switch on loopback: login, sequence numbers and
// acknowledgements, stop-and-wait, pings, back-off, stopping, and the faults mended in the link
// (late login acknowledgement, foreign and overlong datagrams, old sessions, stop races). Resends
// and the give-up after them are tested against switch-sim in ombix_api_e2e_test.cpp.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <new>
#include <stdexcept>
#include <string>

#include "switchapi/ombix_socket.h"
#include "tests/switchapi/link_test_support.h"

namespace {

constexpr DWORD kLoopback = 0x7F000001;

// A socket whose next receive fails with an error the link does not wait through, when asked.
class FailingSocket : public COmbixSocket {
 public:
  explicit FailingSocket(std::atomic<bool>& bFail) : m_bFail(bFail) {}
  int Receive(BYTE* pBuffer, int nSize, DWORD* pdwAddr, WORD* pwPort, DWORD dwTimeout) override {
    if (m_bFail.exchange(false)) {
      winsock::WSASetLastError(winsock::WSAENETDOWN);
      return -1;
    }
    return COmbixSocket::Receive(pBuffer, nSize, pdwAddr, pwPort, dwTimeout);
  }

 private:
  std::atomic<bool>& m_bFail;
};

class FailingSocketLink : public RecordingLink {
 public:
  using RecordingLink::RecordingLink;
  ~FailingSocketLink() override { StopThread(); }
  std::atomic<bool> bFailNextReceive{false};

 protected:
  std::unique_ptr<COmbixSocket> CreateSocket() override {
    return std::make_unique<FailingSocket>(bFailNextReceive);
  }
};

// A link whose callbacks throw where the test says: a response with invoke id 13, and the
// report of a lost connection when armed.
class ThrowingLink : public RecordingLink {
 public:
  using RecordingLink::RecordingLink;
  ~ThrowingLink() override { StopThread(); }
  std::atomic<bool> bThrowOnLoss{false};

 protected:
  void OnResponse(const COmbixMsg* pMsg) override {
    RecordingLink::OnResponse(pMsg);
    const COmbixRsp* pRsp = OmbixAsResponse(pMsg);
    if (pRsp != nullptr && pRsp->dwInvokeID == 13) throw std::runtime_error("response 13");
  }
  void OnConnectionLost() override {
    RecordingLink::OnConnectionLost();
    if (bThrowOnLoss.exchange(false)) throw std::bad_alloc();
  }
};

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(peer.IsBound()); }

  // A new link of class L, with the fast options unless told others.
  template <class L = RecordingLink>
  L& MakeLink(std::optional<OMBIXLINKOPTIONS> options = std::nullopt) {
    auto made = std::make_unique<L>(options.value_or(FastLinkOptions(peer.GetPort())));
    L& l = *made;
    link = std::move(made);
    return l;
  }

  void Start() { ASSERT_TRUE(link->StartSession(peer.GetAddr(), 0, "TAPI", "6.0.1")); }

  // Completes the next login with success (the nLogins-th of the link); the client then expects
  // sequence number 1 and numbers its next datagram 1.
  void Connect(std::size_t nLogins = 1) {
    ASSERT_TRUE(peer.AcceptLogin(0));
    ASSERT_TRUE(link->WaitForCount("LoginSucceeded", nLogins));
  }
  // A new link of class L, started and logged in.
  template <class L = RecordingLink>
  L& Connected(std::optional<OMBIXLINKOPTIONS> options = std::nullopt) {
    L& l = MakeLink<L>(options);
    Start();
    Connect();
    return l;
  }
  // Request `id` (a monitor stop, the id also its sequence number) taken and acknowledged.
  void Acked(DWORD id) {
    link->MonitorStop(id, "201");
    ASSERT_TRUE(peer.ReceiveType(OMBIX_MONITOR_STOP_REQ, id));
    peer.SendAck(id);
  }

  // d sent to the client, which acknowledges it by its number.
  void SendAcked(const TestDatagram& d) {
    peer.Send(d);
    ASSERT_TRUE(peer.ReceiveType(OMBIX_ACK, PeerDatagram{d.bytes}.Seq()));
  }
  // d came, of that type and sequence number, and of that invoke id when one is given.
  static void Expect(const std::optional<PeerDatagram>& d, DWORD dwType, DWORD dwSeq,
                     std::optional<DWORD> invokeID = std::nullopt) {
    ASSERT_TRUE(d);
    EXPECT_EQ(d->Type(), dwType);
    EXPECT_EQ(d->Seq(), dwSeq);
    EXPECT_EQ(d->InvokeID(), invokeID.value_or(d->InvokeID()));
  }

  // The next datagram that is not an acknowledgement, nor a login round that went out before the
  // peer's late answer to an earlier one reached the client (a slow test thread).
  std::optional<PeerDatagram> NextNotAck() {
    std::optional<PeerDatagram> d;
    while ((d = peer.Receive()) && (d->Type() == OMBIX_ACK || d->Type() == OMBIX_LOGIN_REQ)) {
    }
    return d;
  }

  // Responses the link handed on, by invoke id.
  std::vector<DWORD> ResponseIds() {
    std::vector<DWORD> ids;
    for (const LinkCall& call : link->Calls()) {
      if (call.strWhat == "Response") ids.push_back(call.dwInvokeID);
    }
    return ids;
  }

  // Reads what is already waiting at the peer, so later reads see only what comes after.
  void Drain() {
    while (peer.Receive(std::chrono::milliseconds(0))) {
    }
  }

  TestPeer peer;
  std::unique_ptr<RecordingLink> link;
};

// The switch's answer to the login sets the state before the callback, which may send requests.
TEST_F(LinkTest, LoginSetsLoggedInBeforeTheCallbackWhichMaySendRequests) {
  MakeLink();
  link->onLoginSucceeded = [&] { link->MonitorStart(7, "201", "secret", nullptr); };
  Start();
  std::optional<PeerDatagram> login = peer.ReceiveType(OMBIX_LOGIN_REQ);
  ASSERT_TRUE(login);
  EXPECT_EQ(login->Seq(), 0u);
  EXPECT_EQ(login->bytes.size(), 36u);  // header, invoke id, "3.0", "TAPI", "6.0.1"
  EXPECT_FALSE(link->IsConnected());

  peer.SendAck(0);
  ASSERT_TRUE(WaitUntil([&] { return link->IsConnected() != FALSE; }));
  EXPECT_EQ(link->GetServerAddr(), kLoopback);
  EXPECT_FALSE(link->IsLoggedIn());  // connected, but the switch has not answered yet

  // 0 is expected next: the largest number is a repeat, acknowledged and dropped.
  SendAcked(Response(0xFFFFFFFF, OMBIX_MAKE_CALL_RSP, 1));
  SendAcked(TestDatagram(0, OMBIX_LOGIN_RSP).U32(0).U32(0).Str("3.0").Str("sim"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  EXPECT_TRUE(link->Calls().back().bLoggedIn);
  EXPECT_TRUE(link->IsLoggedIn());
  Expect(peer.ReceiveType(OMBIX_MONITOR_START_REQ), OMBIX_MONITOR_START_REQ, 1, 7);
  EXPECT_EQ(link->Count("Response"), 0u);
}

TEST_F(LinkTest, SequenceNumbersFromTheSwitch) {
  Connected();
  // Pings 1 to 4 are acknowledged and reach no callback; 5 is expected next.
  for (DWORD seq = 1; seq <= 4; ++seq) {
    SendAcked(TestDatagram(seq, OMBIX_PING));
  }
  SendAcked(Response(4, OMBIX_MAKE_CALL_RSP, 44));  // a repeat: acknowledged, dropped
  SendAcked(Response(5, OMBIX_MAKE_CALL_RSP, 55));  // the expected one: acknowledged, handed on
  ASSERT_TRUE(link->WaitForCount("Response", 1));
  EXPECT_EQ(ResponseIds(), std::vector<DWORD>{55});

  peer.Send(Response(7, OMBIX_MAKE_CALL_RSP, 77));  // out of range: the client leaves
  Expect(peer.Receive(), OMBIX_DISCONNECT, 1);      // the client's next number
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  EXPECT_EQ(ResponseIds(), std::vector<DWORD>{55});
  EXPECT_TRUE(peer.ReceiveType(OMBIX_LOGIN_REQ));  // and logs in anew
  EXPECT_EQ(link->Count("PhoneState") + link->Count("CallEvent"), 0u);
}

TEST_F(LinkTest, AcknowledgementsOfTheOutstandingDatagram) {
  Connected();
  for (DWORD id = 1; id <= 8; ++id) Acked(id);
  link->MonitorStop(9, "201");
  link->MonitorStop(10, "201");  // queued behind 9
  std::optional<PeerDatagram> first = peer.ReceiveType(OMBIX_MONITOR_STOP_REQ, 9);
  ASSERT_TRUE(first);
  peer.SendAck(8);  // a late repeat: changes nothing
  // The next request datagram is 9 sent again, unchanged, not 10.
  std::optional<PeerDatagram> next = peer.ReceiveType(OMBIX_MONITOR_STOP_REQ);
  ASSERT_TRUE(next);
  EXPECT_EQ(next->bytes, first->bytes);
  EXPECT_TRUE(link->IsConnected());

  peer.SendAck(9);  // a resend of 9 that crossed it is skipped
  Expect(peer.ReceiveType(OMBIX_MONITOR_STOP_REQ, 10), OMBIX_MONITOR_STOP_REQ, 10, 10);

  peer.SendAck(12);  // neither 10 nor 9: the client leaves
  Expect(peer.ReceiveType(OMBIX_DISCONNECT), OMBIX_DISCONNECT, 11);
  EXPECT_TRUE(link->WaitForCount("ConnectionLost", 1));
}

TEST_F(LinkTest, ReceiveErrorTellsTheServerBeforeTheLinkResets) {
  FailingSocketLink& l = Connected<FailingSocketLink>();
  Acked(1);
  l.bFailNextReceive = true;
  Expect(NextNotAck(), OMBIX_DISCONNECT, 2);
  EXPECT_TRUE(link->WaitForCount("ConnectionLost", 1));
  EXPECT_TRUE(peer.ReceiveType(OMBIX_LOGIN_REQ, 0));
}

// A runt, a datagram from another address and one longer than any datagram are ignored: the link
// neither acts on them nor leaves for a new login.
TEST_F(LinkTest, RuntsForeignAndOverlongDatagramsAreIgnored) {
  TestPeer foreign("127.0.0.3");
  ASSERT_TRUE(foreign.IsBound());
  Connected();
  TestDatagram overlong = Response(1, OMBIX_MAKE_CALL_RSP, 98);
  overlong.bytes.resize(5000);
  peer.Send(overlong);
  peer.Send(TestDatagram().Raw({0, 0, 0, 1, 0, 0, 1}));  // 7 bytes
  foreign.SendTo(Response(1, OMBIX_MAKE_CALL_RSP, 99).bytes, peer.GetClientAddr(),
                 peer.GetClientPort());
  peer.Send(Response(1, OMBIX_MAKE_CALL_RSP, 11));
  // The first thing the client says is the acknowledgement of the real 1; only an acknowledgement
  // of a login answer may come before it, when the peer answered a second login round late.
  std::optional<PeerDatagram> d;
  while ((d = peer.Receive()) && d->Type() == OMBIX_ACK && d->Seq() == 0) {
  }
  Expect(d, OMBIX_ACK, 1);
  ASSERT_TRUE(link->WaitForCount("Response", 1));
  EXPECT_EQ(ResponseIds(), std::vector<DWORD>{11});
  EXPECT_EQ(link->Count("ConnectionLost"), 0u);
  EXPECT_FALSE(foreign.Receive(std::chrono::milliseconds(300)));
}

TEST_F(LinkTest, NothingOfADroppedSessionIsSentInTheNext) {
  Connected();
  link->MakeCall(1, "201", "100", 0, nullptr);  // outstanding, never acknowledged
  link->MakeCall(2, "201", "200", 0, nullptr);  // queued
  ASSERT_TRUE(peer.ReceiveType(OMBIX_MAKE_CALL_REQ, 1));
  peer.Send(TestDatagram(1, OMBIX_DISCONNECT));
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  Connect(2);
  link->MakeCall(3, "201", "300", 0, nullptr);
  Expect(NextNotAck(), OMBIX_MAKE_CALL_REQ, 1, 3);
}

TEST_F(LinkTest, RequestThatCannotFitIsDroppedWithoutANumber) {
  Connected();
  const std::string huge(5000, '9');
  link->MakeCall(1, "", huge.c_str(), 0, "");
  link->MakeCall(2, "", "12345", 0, nullptr);
  std::optional<PeerDatagram> d = peer.ReceiveType(OMBIX_MAKE_CALL_REQ);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->Seq(), 1u);
  EXPECT_EQ(d->InvokeID(), 2u);
  EXPECT_EQ(d->bytes.size(), 33u);  // 4 + 4 + 4 + 4 + 4 + 5 + 4 + 4
}

TEST_F(LinkTest, PingsWhenIdleAndItsOwnAcknowledgementsDoNotCount) {
  OMBIXLINKOPTIONS options = FastLinkOptions(peer.GetPort());
  options.dwPingTimer = 300;
  Connected(options);
  // The switch keeps talking, so the client keeps acknowledging; it must still ping.
  DWORD seq = 1;
  std::optional<PeerDatagram> ping;
  const auto end = std::chrono::steady_clock::now() + kLinkTestDeadline;
  while (!ping && std::chrono::steady_clock::now() < end) {
    peer.Send(TestDatagram(seq++, OMBIX_PING));
    std::optional<PeerDatagram> d = peer.Receive(std::chrono::milliseconds(50));
    if (d && d->Type() == OMBIX_PING) ping = d;
  }
  ASSERT_TRUE(ping);
  EXPECT_EQ(ping->Seq(), 1u);
  EXPECT_EQ(ping->bytes.size(), 8u);
  peer.SendAck(1);  // a resend of ping 1 that crossed it is skipped
  Expect(peer.ReceiveType(OMBIX_PING, 2), OMBIX_PING, 2);
}

TEST_F(LinkTest, BackOffGrowsToItsCeilingAndStartsAgainAfterALogin) {
  std::mutex mx;
  std::vector<DWORD> waits;
  OMBIXLINKOPTIONS options = FastLinkOptions(peer.GetPort());
  options.dwReceiveWait = 20;
  options.dwBackOffStep = 10;
  options.dwBackOffMax = 60;
  options.pfnBackOff = [&](DWORD dw) {
    std::lock_guard<std::mutex> lock(mx);
    waits.push_back(dw);
  };
  auto snapshot = [&] {
    std::lock_guard<std::mutex> lock(mx);
    return waits;
  };
  MakeLink(options);
  Start();  // never answered yet
  ASSERT_TRUE(WaitUntil([&] { return snapshot().size() >= 7; }));
  const std::vector<DWORD> seen = snapshot();
  const std::vector<DWORD> first(seen.begin(), seen.begin() + 7);
  EXPECT_EQ(first, (std::vector<DWORD>{10, 20, 30, 40, 50, 60, 60}));

  Drain();
  ASSERT_TRUE(peer.AcceptLogin(0));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  const std::size_t before = snapshot().size();
  peer.Send(TestDatagram(1, OMBIX_DISCONNECT));
  ASSERT_TRUE(WaitUntil([&] { return snapshot().size() > before; }));
  EXPECT_EQ(snapshot()[before], 10u);
}

// A server slower than a login round (here 200 ms without an answer) acknowledges every round it
// got: the second round's acknowledgement comes after the login, when the link is in use.
TEST_F(LinkTest, SlowServersLateLoginAcknowledgementKeepsTheLinkUp) {
  MakeLink();
  Start();
  ASSERT_TRUE(peer.ReceiveType(OMBIX_LOGIN_REQ, 0));
  ASSERT_TRUE(peer.ReceiveType(OMBIX_LOGIN_REQ, 0));  // the next round: the first went unanswered
  peer.SendAck(0);  // the first round's, one and a half rounds late
  peer.Send(TestDatagram(0, OMBIX_LOGIN_RSP).U32(0).U32(0).Str("3.0").Str("sim"));
  ASSERT_TRUE(link->WaitForCount("LoginSucceeded", 1));
  for (DWORD id = 1; id <= 3; ++id) {
    Acked(id);
    SendAcked(Response(id, OMBIX_MONITOR_STOP_RSP, id));
  }
  ASSERT_TRUE(link->WaitForCount("Response", 3));
  peer.SendAck(0);  // the second round's
  link->MonitorStop(4, "201");
  Expect(NextNotAck(), OMBIX_MONITOR_STOP_REQ, 4);
  EXPECT_EQ(link->Count("ConnectionLost"), 0u);
  EXPECT_EQ(ResponseIds(), (std::vector<DWORD>{1, 2, 3}));
}

TEST_F(LinkTest, ServerAddressesThatAreNotAddressesMeanNoServer) {
  struct {
    const char* primary;
    const char* secondary;
    DWORD dwPrimary, dwSecondary;
  } const cases[] = {
      {"127.0.0.1", "127.0.0.2", kLoopback, kLoopback + 1},
      {"", "127.0.0.2", 0, kLoopback + 1},
      {nullptr, "not an address", 0, 0},
      {"255.255.255.255", "127.0.0.300", 0, 0},
      {"0.0.0.0", " 127.0.0.1", 0, 0},
  };
  OMBIXLINKOPTIONS options = FastLinkOptions(peer.GetPort());
  options.dwReceiveWait = 20;
  for (const auto& c : cases) {
    RecordingLink& l = MakeLink(options);
    l.Start(c.primary, c.secondary, "TAPI", "6.0.1");
    EXPECT_EQ(l.GetPrimaryAddr(), c.dwPrimary) << (c.primary ? c.primary : "(null)");
    EXPECT_EQ(l.GetSecondaryAddr(), c.dwSecondary) << c.secondary;
    l.StopThread();
  }
}

// Wherever the worker waits, a stop ends it at once, long before its wait would have ended; a
// connected link says OMBIX_DISCONNECT first and reports the loss, and may be started again.
TEST_F(LinkTest, StopEndsTheWorkerAtOnceWhereverItWaits) {
  enum class Where { kBackOff, kLoginRound, kConnected };
  for (Where where : {Where::kBackOff, Where::kLoginRound, Where::kConnected}) {
    SCOPED_TRACE(testing::Message() << "waiting in " << static_cast<int>(where));
    std::promise<void> backingOff;
    std::once_flag once;
    OMBIXLINKOPTIONS options = FastLinkOptions(peer.GetPort());
    options.dwReceiveWait = 60000;  // a minute, as the back-off below
    options.dwAckTimeout = 60000;
    options.dwBackOffStep = 60000;
    options.dwBackOffMax = 60000;
    if (where == Where::kBackOff) {
      options.dwReceiveWait = 20;
      options.dwAckTimeout = 20;
      options.pfnBackOff = [&](DWORD) { std::call_once(once, [&] { backingOff.set_value(); }); };
    }
    MakeLink(options);
    Start();
    if (where == Where::kBackOff) {
      ASSERT_EQ(backingOff.get_future().wait_for(kLinkTestDeadline), std::future_status::ready);
    } else if (where == Where::kLoginRound) {
      ASSERT_TRUE(peer.ReceiveType(OMBIX_LOGIN_REQ));
    } else {
      Connect();
    }
    std::future<void> stopped = std::async(std::launch::async, [&] { link->StopThread(); });
    EXPECT_EQ(stopped.wait_for(kLinkTestDeadline), std::future_status::ready);
    if (where == Where::kConnected) {
      EXPECT_EQ(link->Count("ConnectionLost"), 1u);  // told before StopThread returned
      EXPECT_FALSE(link->IsConnected());
      EXPECT_TRUE(peer.ReceiveType(OMBIX_DISCONNECT, 1));
      ASSERT_TRUE(link->StartThread());  // and a stopped link may start again
      Connect(2);
    }
    Drain();
  }
}

TEST_F(LinkTest, NoLoginDatagramLeavesOnceStopHasReturned) {
  OMBIXLINKOPTIONS options = FastLinkOptions(peer.GetPort());
  options.dwReceiveWait = 1000;  // as the protocol has it: rounds a second apart
  options.dwAckTimeout = 60000;
  MakeLink(options);
  Start();
  ASSERT_TRUE(peer.ReceiveType(OMBIX_LOGIN_REQ));
  link->Stop();
  Drain();  // whatever was sent before Stop returned is here already
  link->StopThread();
  EXPECT_FALSE(peer.Receive(std::chrono::milliseconds(300)));
}

TEST_F(LinkTest, StopRacingADisconnectFromTheSwitchStartsNoNewLogin) {
  for (int round = 0; round < 5; ++round) {
    Connected();
    std::thread server([&] { peer.Send(TestDatagram(1, OMBIX_DISCONNECT)); });
    link->Stop();
    server.join();
    Drain();
    link->StopThread();
    std::optional<PeerDatagram> late = peer.Receive(std::chrono::milliseconds(200));
    EXPECT_FALSE(late && late->Type() == OMBIX_LOGIN_REQ) << "round " << round;
    Drain();
  }
}

// A callback that throws costs its message only: the next one is handed on, the link stays up.
TEST_F(LinkTest, ACallbackThatThrowsLosesItsMessageOnly) {
  Connected<ThrowingLink>();
  SendAcked(Response(1, OMBIX_MAKE_CALL_RSP, 13));
  SendAcked(Response(2, OMBIX_MAKE_CALL_RSP, 22));
  ASSERT_TRUE(link->WaitForCount("Response", 2));
  EXPECT_EQ(ResponseIds(), (std::vector<DWORD>{13, 22}));
  EXPECT_TRUE(link->IsConnected());
  EXPECT_EQ(link->Count("ConnectionLost"), 0u);
}

// Thrown outside a message's callback, the worker logs in again instead of ending.
TEST_F(LinkTest, AThrowOutsideACallbackStartsTheWorkerOverWithALogin) {
  ThrowingLink& l = Connected<ThrowingLink>();
  l.bThrowOnLoss = true;
  peer.Send(TestDatagram(1, OMBIX_DISCONNECT));
  ASSERT_TRUE(link->WaitForCount("ConnectionLost", 1));
  Connect(2);
  EXPECT_FALSE(l.bThrowOnLoss);
  EXPECT_TRUE(link->IsConnected());
}

}  // namespace
