// The Winsock subset on loopback: start-up rules, error numbers, datagrams whole or refused as
// too long, select, and the dotted-address parser.
#include "platform/winsock.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

// fd_set and timeval are named with the namespace: the C library has its own.
using namespace winsock;

namespace {

class WinsockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);
  }
  void TearDown() override {
    for (SOCKET s : m_sockets) closesocket(s);
    WSACleanup();
  }

  // A datagram socket bound to 127.0.0.1 on a port the system picks.
  SOCKET Bound() {
    SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
    EXPECT_NE(s, INVALID_SOCKET);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr("127.0.0.1");
    EXPECT_EQ(bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    m_sockets.push_back(s);
    return s;
  }

  static sockaddr_in LocalOf(SOCKET s) {
    sockaddr_in sin{};
    int len = sizeof sin;
    EXPECT_EQ(getsockname(s, reinterpret_cast<sockaddr*>(&sin), &len), 0);
    return sin;
  }

  static int SendText(SOCKET from, SOCKET to, const std::string& text) {
    sockaddr_in dest = LocalOf(to);
    return sendto(from, text.data(), static_cast<int>(text.size()), 0,
                  reinterpret_cast<sockaddr*>(&dest), sizeof dest);
  }

  // The error a failing call left (SOCKET_ERROR, or INVALID_SOCKET from socket); 0 on success.
  static int ErrorOf(int result) { return result == SOCKET_ERROR ? WSAGetLastError() : 0; }
  static int ErrorOf(SOCKET s) { return s == INVALID_SOCKET ? WSAGetLastError() : 0; }

  // select for reading with a wait of several seconds; the result of select.
  static int WaitReadable(SOCKET s, LONG lSeconds = 5) {
    winsock::fd_set set;
    FdZero(&set);
    FdSet(s, &set);
    winsock::timeval tv{lSeconds, 0};
    return select(0, &set, nullptr, nullptr, &tv);
  }

  std::vector<SOCKET> m_sockets;
};

TEST_F(WinsockTest, StartupIsCountedAndNeededBeforeSocket) {
  // Undo every start-up this process holds, this test's included.
  while (WSACleanup() == 0) {
  }
  EXPECT_EQ(WSAGetLastError(), WSANOTINITIALISED);
  EXPECT_EQ(ErrorOf(socket(AF_INET, SOCK_DGRAM, 0)), WSANOTINITIALISED);

  WSADATA data;
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 0), &data), WSAVERNOTSUPPORTED);
  EXPECT_EQ(WSAStartup(MAKEWORD(1, 1), nullptr), WSAEFAULT);
  ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  EXPECT_EQ(data.wVersion, MAKEWORD(1, 1));
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &data), 0);  // TearDown undoes this one
  EXPECT_EQ(WSACleanup(), 0);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  EXPECT_NE(s, INVALID_SOCKET);
  closesocket(s);
}

TEST_F(WinsockTest, DatagramLongerThanTheBufferIsReportedNotCut) {
  SOCKET a = Bound();
  SOCKET b = Bound();
  const std::string big(100, 'x');
  ASSERT_EQ(SendText(a, b, "0123456789" + big), 110);
  ASSERT_EQ(SendText(a, b, "next"), 4);
  ASSERT_EQ(WaitReadable(b), 1);

  char buf[10];
  sockaddr_in from{};
  int fromLen = sizeof from;
  // A peek leaves it in place; the read takes it away; both say it did not fit.
  for (int flags : {MSG_PEEK, 0}) {
    EXPECT_EQ(
        ErrorOf(recvfrom(b, buf, sizeof buf, flags, reinterpret_cast<sockaddr*>(&from), &fromLen)),
        WSAEMSGSIZE);
  }
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  EXPECT_EQ(fromLen, static_cast<int>(sizeof from));  // and the sender comes with it
  EXPECT_EQ(from.sin_family, AF_INET);
  EXPECT_EQ(ntohl(from.sin_addr.s_addr), 0x7F000001u);
  EXPECT_EQ(from.sin_port, LocalOf(a).sin_port);

  ASSERT_EQ(WaitReadable(b), 1);
  EXPECT_EQ(recvfrom(b, buf, sizeof buf, 0, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(buf, 4), "next");
}

TEST_F(WinsockTest, SelectReportsOnlyReadySockets) {
  SOCKET quiet = Bound();
  SOCKET busy = Bound();
  ASSERT_EQ(SendText(quiet, busy, "x"), 1);
  ASSERT_EQ(WaitReadable(busy), 1);

  winsock::fd_set set;
  FdZero(&set);
  FdSet(quiet, &set);
  FdSet(busy, &set);
  FdSet(busy, &set);  // once only
  EXPECT_EQ(set.fd_count, 2u);
  winsock::timeval tv{0, 0};
  EXPECT_EQ(select(0, &set, nullptr, nullptr, &tv), 1);
  EXPECT_EQ(set.fd_count, 1u);
  EXPECT_TRUE(FdIsSet(busy, &set));
  EXPECT_FALSE(FdIsSet(quiet, &set));

  // Nothing to wait for ends with the wait, the set emptied.
  FdZero(&set);
  FdSet(quiet, &set);
  tv = {0, 20000};
  EXPECT_EQ(select(0, &set, nullptr, nullptr, &tv), 0);
  EXPECT_EQ(set.fd_count, 0u);
}

TEST_F(WinsockTest, ReceiveTimeOutEndsTheWaitAndIsTheOnlyOptionKnown) {
  SOCKET a = Bound();
  SOCKET b = Bound();
  const DWORD dwWait = 20;
  const char* pWait = reinterpret_cast<const char*>(&dwWait);
  ASSERT_EQ(setsockopt(b, SOL_SOCKET, SO_RCVTIMEO, pWait, sizeof dwWait), 0);
  char buf[8];
  EXPECT_EQ(ErrorOf(recvfrom(b, buf, sizeof buf, 0, nullptr, nullptr)), WSAETIMEDOUT);
  ASSERT_EQ(SendText(a, b, "late"), 4);
  // Loopback may hand the datagram over a little after the send (a loaded machine): the 20 ms
  // time-out is for the wait above, not for this delivery.
  ASSERT_EQ(WaitReadable(b), 1);
  EXPECT_EQ(recvfrom(b, buf, sizeof buf, 0, nullptr, nullptr), 4);

  EXPECT_EQ(ErrorOf(setsockopt(b, SOL_SOCKET, SO_RCVTIMEO, pWait, 2)), WSAEFAULT);
  EXPECT_EQ(ErrorOf(setsockopt(b, SOL_SOCKET, 0x1005 /* SO_SNDTIMEO */, pWait, sizeof dwWait)),
            WSAENOPROTOOPT);
}

TEST_F(WinsockTest, FailuresCarryThePlatformNumbers) {
  // Only IPv4 datagram sockets exist.
  EXPECT_EQ(ErrorOf(socket(AF_INET, SOCK_STREAM, 0)), WSAESOCKTNOSUPPORT);
  EXPECT_EQ(ErrorOf(socket(23, SOCK_DGRAM, 0)), WSAEAFNOSUPPORT);
  EXPECT_EQ(ErrorOf(socket(AF_INET, SOCK_DGRAM, 6)), WSAEPROTONOSUPPORT);

  winsock::fd_set set;
  FdZero(&set);
  winsock::timeval tv{0, 0};
  EXPECT_EQ(ErrorOf(select(0, &set, nullptr, nullptr, &tv)), WSAEINVAL);
  SOCKET s = socket(AF_INET, SOCK_DGRAM, 0);
  ASSERT_NE(s, INVALID_SOCKET);
  EXPECT_EQ(closesocket(s), 0);
  EXPECT_EQ(ErrorOf(closesocket(s)), WSAENOTSOCK);
  FdSet(s, &set);
  EXPECT_EQ(ErrorOf(select(0, &set, nullptr, nullptr, &tv)), WSAENOTSOCK);

  SOCKET a = Bound();
  sockaddr_in taken = LocalOf(a);
  SOCKET b = socket(AF_INET, SOCK_DGRAM, 0);
  m_sockets.push_back(b);
  EXPECT_EQ(ErrorOf(bind(b, reinterpret_cast<sockaddr*>(&taken), sizeof taken)), WSAEADDRINUSE);
  EXPECT_EQ(ErrorOf(bind(b, reinterpret_cast<sockaddr*>(&taken), 8)), WSAEFAULT);
  taken.sin_family = 23;
  EXPECT_EQ(ErrorOf(sendto(a, "x", 1, 0, reinterpret_cast<sockaddr*>(&taken), sizeof taken)),
            WSAEAFNOSUPPORT);
  char buf[4];
  EXPECT_EQ(ErrorOf(recvfrom(a, buf, sizeof buf, 0x1 /* out-of-band */, nullptr, nullptr)),
            WSAEOPNOTSUPP);

  WSASetLastError(1234);
  EXPECT_EQ(WSAGetLastError(), 1234);
}

TEST(WinsockAddressTest, InetAddrParsesDottedTextInNetworkOrder) {
  struct {
    const char* text;
    DWORD host;  // expected, host order
  } const cases[] = {
      {"127.0.0.1", 0x7F000001},       {"127.0.0.2", 0x7F000002},
      {"192.168.1.20", 0xC0A80114},    {"1.2.3", 0x01020003},
      {"1.65535", 0x0100FFFF},         {"16909060", 0x01020304},
      {"0x7f.1", 0x7F000001},          {"010.0.0.1", 0x08000001},
      {"0.0.0.0", 0x00000000},         {"1.2.3.4 trailing words", 0x01020304},
      {"255.255.255.255", 0xFFFFFFFF},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ntohl(inet_addr(c.text)), c.host) << c.text;
  }
  const char* const bad[] = {"",           " 1.2.3.4", "1.2.3.4.5", "256.1.1.1", "1.2.3.256",
                             "1.2.65536",  "08.1.1.1", "0x",        "1..2",      "1.2.3.4x",
                             "4294967296", "a.b.c.d",  "1.2.3.",    "-1.2.3.4"};
  for (const char* text : bad) {
    EXPECT_EQ(inet_addr(text), INADDR_NONE) << '"' << text << '"';
  }
  EXPECT_EQ(inet_addr(nullptr), INADDR_NONE);

  // Network order is big-endian whatever the host's.
  const WORD w = htons(0x1234);
  const DWORD dw = htonl(0x12345678);
  EXPECT_EQ(std::memcmp(&w, "\x12\x34", 2), 0);
  EXPECT_EQ(std::memcmp(&dw, "\x12\x34\x56\x78", 4), 0);
  EXPECT_EQ(ntohs(w), 0x1234);
  EXPECT_EQ(ntohl(dw), 0x12345678u);
}

}  // namespace
