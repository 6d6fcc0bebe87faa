// Test support for the link: a scripted switch on a loopback socket (TestPeer), a link that
// records its callbacks (RecordingLink), and shortened time-outs.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/winsock.h"
#include "switchapi/ombix_api.h"
#include "switchapi/ombix_message_types.h"
#include "tests/switchapi/datagram_builder.h"

inline constexpr std::chrono::milliseconds kLinkTestDeadline{10000};

// Time-outs short enough for tests, long enough for a loaded machine under a sanitizer.
inline OMBIXLINKOPTIONS FastLinkOptions(WORD wServerPort) {
  OMBIXLINKOPTIONS options;
  options.dwAckTimeout = 1000;
  options.dwReceiveWait = 200;
  options.dwBackOffStep = 20;
  options.dwBackOffMax = 100;
  options.dwLoginSpacing = 0;
  options.wServerPort = wServerPort;
  return options;
}

// Polls pred until it holds or the deadline passes.
inline bool WaitUntil(const std::function<bool()>& pred,
                      std::chrono::milliseconds deadline = kLinkTestDeadline) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

struct PeerDatagram {
  std::vector<BYTE> bytes;

  DWORD Word(std::size_t offset) const {
    if (bytes.size() < offset + 4) return 0;
    return (DWORD{bytes[offset]} << 24) | (DWORD{bytes[offset + 1]} << 16) |
           (DWORD{bytes[offset + 2]} << 8) | DWORD{bytes[offset + 3]};
  }
  DWORD Seq() const { return Word(0); }
  DWORD Type() const { return Word(4); }
  DWORD InvokeID() const { return Word(8); }  // of a request
};

// A scripted switch: a datagram socket on a loopback address that the test drives by hand.
class TestPeer {
 public:
  explicit TestPeer(const char* pszAddr = "127.0.0.1", WORD wPort = 0) {
    winsock::WSADATA data;
    winsock::WSAStartup(winsock::MAKEWORD(1, 1), &data);
    m_socket = winsock::socket(winsock::AF_INET, winsock::SOCK_DGRAM, 0);
    winsock::sockaddr_in local{};
    local.sin_family = winsock::AF_INET;
    local.sin_addr.s_addr = winsock::inet_addr(pszAddr);
    local.sin_port = winsock::htons(wPort);
    m_bBound =
        winsock::bind(m_socket, reinterpret_cast<winsock::sockaddr*>(&local), sizeof local) == 0;
    int len = sizeof local;
    winsock::getsockname(m_socket, reinterpret_cast<winsock::sockaddr*>(&local), &len);
    m_dwAddr = winsock::ntohl(local.sin_addr.s_addr);
    m_wPort = winsock::ntohs(local.sin_port);
  }
  ~TestPeer() {
    winsock::closesocket(m_socket);
    winsock::WSACleanup();
  }
  TestPeer(const TestPeer&) = delete;
  TestPeer& operator=(const TestPeer&) = delete;

  bool IsBound() const { return m_bBound; }
  DWORD GetAddr() const { return m_dwAddr; }
  WORD GetPort() const { return m_wPort; }
  DWORD GetClientAddr() const { return m_dwClientAddr; }
  WORD GetClientPort() const { return m_wClientPort; }

  // The next datagram within the deadline; its sender becomes the client answered by Send.
  std::optional<PeerDatagram> Receive(std::chrono::milliseconds deadline = kLinkTestDeadline) {
    winsock::fd_set set;
    winsock::FdZero(&set);
    winsock::FdSet(m_socket, &set);
    winsock::timeval tv;
    tv.tv_sec = static_cast<LONG>(deadline.count() / 1000);
    tv.tv_usec = static_cast<LONG>(deadline.count() % 1000 * 1000);
    if (winsock::select(0, &set, nullptr, nullptr, &tv) != 1) return std::nullopt;
    PeerDatagram d;
    d.bytes.resize(8192);
    winsock::sockaddr_in from{};
    int fromLen = sizeof from;
    const int n = winsock::recvfrom(m_socket, reinterpret_cast<char*>(d.bytes.data()),
                                    static_cast<int>(d.bytes.size()), 0,
                                    reinterpret_cast<winsock::sockaddr*>(&from), &fromLen);
    if (n < 0) return std::nullopt;
    d.bytes.resize(static_cast<std::size_t>(n));
    m_dwClientAddr = winsock::ntohl(from.sin_addr.s_addr);
    m_wClientPort = winsock::ntohs(from.sin_port);
    return d;
  }

  // The next datagram of the type, skipping others; seq checked too when given.
  std::optional<PeerDatagram> ReceiveType(DWORD dwType, std::optional<DWORD> seq = std::nullopt,
                                          std::chrono::milliseconds deadline = kLinkTestDeadline) {
    const auto end = std::chrono::steady_clock::now() + deadline;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          end - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      std::optional<PeerDatagram> d = Receive(left);
      if (!d) return std::nullopt;
      if (d->bytes.size() >= 8 && d->Type() == dwType && (!seq || d->Seq() == *seq)) return d;
    }
  }

  void SendTo(const std::vector<BYTE>& bytes, DWORD dwAddr, WORD wPort) {
    winsock::sockaddr_in to{};
    to.sin_family = winsock::AF_INET;
    to.sin_addr.s_addr = winsock::htonl(dwAddr);
    to.sin_port = winsock::htons(wPort);
    winsock::sendto(m_socket, reinterpret_cast<const char*>(bytes.data()),
                    static_cast<int>(bytes.size()), 0, reinterpret_cast<winsock::sockaddr*>(&to),
                    sizeof to);
  }
  // To the client last heard from.
  void Send(const TestDatagram& d) { SendTo(d.bytes, m_dwClientAddr, m_wClientPort); }
  void SendAck(DWORD dwSeq) { Send(TestDatagram(dwSeq, OMBIX_ACK)); }

  // Waits for a login, acknowledges it and, unless told otherwise, answers OMBIX_LOGIN_RSP
  // (sequence 0) with the error and takes the client's acknowledgement of it.
  // A login round that arrives meanwhile means the client never saw the acknowledgement (its
  // attempt ended first, on a slow machine): that round is answered instead.
  bool AcceptLogin(std::optional<DWORD> dwError = 0) {
    std::optional<PeerDatagram> d = ReceiveType(OMBIX_LOGIN_REQ, 0);
    while (d) {
      SendAck(0);
      if (!dwError) return true;
      Send(TestDatagram(0, OMBIX_LOGIN_RSP).U32(0).U32(*dwError).Str("3.0").Str("sim"));
      do {
        d = Receive();
      } while (d && d->Type() != OMBIX_LOGIN_REQ && !(d->Type() == OMBIX_ACK && d->Seq() == 0));
      if (d && d->Type() == OMBIX_ACK) return true;
    }
    return false;
  }

 private:
  winsock::SOCKET m_socket;
  bool m_bBound = false;
  DWORD m_dwAddr = 0;
  WORD m_wPort = 0;
  DWORD m_dwClientAddr = 0;
  WORD m_wClientPort = 0;
};

// One callback the link made.
struct LinkCall {
  std::string strWhat;  // "LoginSucceeded", "ConnectionLost", "Response", ...
  DWORD dwMsgType = 0;
  DWORD dwInvokeID = 0;
  BOOL bLoggedIn = FALSE;  // IsLoggedIn() during the callback
};

// A link that records its callbacks; hooks let a test act inside one.
class RecordingLink : public COmbixAPI {
 public:
  explicit RecordingLink(const OMBIXLINKOPTIONS& options) : COmbixAPI(options) {}
  ~RecordingLink() override { StopThread(); }

  std::vector<LinkCall> Calls() {
    std::lock_guard<std::mutex> lock(m_mx);
    return m_calls;
  }
  std::size_t Count(const std::string& strWhat) {
    std::lock_guard<std::mutex> lock(m_mx);
    return CountLocked(strWhat);
  }
  bool WaitForCount(const std::string& strWhat, std::size_t n,
                    std::chrono::milliseconds deadline = kLinkTestDeadline) {
    std::unique_lock<std::mutex> lock(m_mx);
    return m_cv.wait_for(lock, deadline, [&] { return CountLocked(strWhat) >= n; });
  }

  std::function<void()> onLoginSucceeded;

 protected:
  void OnLoginSucceeded(const COmbixLoginRsp* pRsp) override {
    Record("LoginSucceeded", pRsp);
    if (onLoginSucceeded) onLoginSucceeded();
  }
  void OnConnectionLost() override { Record("ConnectionLost", nullptr); }
  void OnResponse(const COmbixMsg* pMsg) override { Record("Response", pMsg); }
  void OnCallEvent(const COmbixCallConnectionEvent* p) override { Record("CallEvent", p); }
  void OnPhoneStateEvent(const COmbixPhoneStateEvent* p) override { Record("PhoneState", p); }

 private:
  std::size_t CountLocked(const std::string& strWhat) const {
    std::size_t n = 0;
    for (const LinkCall& call : m_calls) n += call.strWhat == strWhat;
    return n;
  }
  void Record(const char* pszWhat, const COmbixMsg* pMsg) {
    LinkCall call;
    call.strWhat = pszWhat;
    call.bLoggedIn = IsLoggedIn();
    if (pMsg != nullptr) {
      call.dwMsgType = pMsg->dwMsgType;
      if (const COmbixRsp* pRsp = OmbixAsResponse(pMsg)) call.dwInvokeID = pRsp->dwInvokeID;
    }
    {
      std::lock_guard<std::mutex> lock(m_mx);
      m_calls.push_back(call);
    }
    m_cv.notify_all();
  }

  std::mutex m_mx;
  std::condition_variable m_cv;
  std::vector<LinkCall> m_calls;
};

// A plain response datagram: type, invoke id, error.
inline TestDatagram Response(DWORD dwSeq, DWORD dwType, DWORD dwInvokeID, DWORD dwError = 0) {
  return TestDatagram(dwSeq, dwType).U32(dwInvokeID).U32(dwError);
}
