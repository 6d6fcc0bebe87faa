#include "platform/winsock.h"

#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>

#include "platform/winsock_posix.h"

namespace winsock {
namespace {

thread_local int t_lastError = 0;
std::atomic<LONG> g_startups{0};

constexpr int kAddrLen = static_cast<int>(sizeof(sockaddr_in));

// SOCKET_ERROR after setting the error, for the one-line failure returns.
int Fail(int iError) {
  t_lastError = iError;
  return SOCKET_ERROR;
}

SOCKET FailSocket(int iError) {
  t_lastError = iError;
  return INVALID_SOCKET;
}

// The descriptor of a socket handle, or -1 when no descriptor can be it.
int Descriptor(SOCKET s) {
  return s <= static_cast<SOCKET>(INT_MAX) ? static_cast<int>(s) : -1;
}

// Checks an IPv4 address structure passed in; 0 or the error number.
int CheckAddress(const sockaddr* addr, int addrlen) {
  if (addr == nullptr || addrlen < kAddrLen) return WSAEFAULT;
  const auto* sin = reinterpret_cast<const sockaddr_in*>(addr);
  return sin->sin_family == AF_INET ? 0 : WSAEAFNOSUPPORT;
}

ombix::net::NETENDPOINT ToEndpoint(const sockaddr* addr) {
  const auto* sin = reinterpret_cast<const sockaddr_in*>(addr);
  ombix::net::NETENDPOINT endpoint;
  endpoint.dwAddr = sin->sin_addr.s_addr;
  endpoint.wPort = sin->sin_port;
  return endpoint;
}

void StoreEndpoint(const ombix::net::NETENDPOINT& endpoint, sockaddr* addr) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = endpoint.wPort;
  sin.sin_addr.s_addr = endpoint.dwAddr;
  std::memcpy(addr, &sin, sizeof sin);
}

// One part of a dotted address: decimal, octal with a leading 0, or hex with 0x. Advances p.
bool ParseAddressPart(const char*& p, DWORD& dwValue) {
  DWORD base = 10;
  if (*p == '0') {
    base = 8;
    ++p;
    if (*p == 'x' || *p == 'X') {
      base = 16;
      ++p;
      if (!std::isxdigit(static_cast<unsigned char>(*p))) return false;
    }
  } else if (!std::isdigit(static_cast<unsigned char>(*p))) {
    return false;
  }
  unsigned long long value = 0;
  for (;; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    DWORD digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(c)) {
      digit = static_cast<DWORD>(std::tolower(c) - 'a' + 10);
    } else {
      break;
    }
    if (digit >= base) return false;
    value = value * base + digit;
    if (value > 0xFFFFFFFFull) return false;
  }
  dwValue = static_cast<DWORD>(value);
  return true;
}

}  // namespace

int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData) {
  const BYTE major = static_cast<BYTE>(wVersionRequested & 0xFF);
  const BYTE minor = static_cast<BYTE>(wVersionRequested >> 8);
  if (major < 1 || (major == 1 && minor < 1)) return WSAVERNOTSUPPORTED;
  if (lpWSAData == nullptr) return WSAEFAULT;
  std::memset(lpWSAData, 0, sizeof *lpWSAData);
  lpWSAData->wVersion = MAKEWORD(1, 1);
  lpWSAData->wHighVersion = MAKEWORD(1, 1);
  std::strcpy(lpWSAData->szDescription, "Windows Sockets 1.1 on POSIX sockets");
  std::strcpy(lpWSAData->szSystemStatus, "Running");
  lpWSAData->iMaxUdpDg = 65507;  // the largest IPv4 UDP payload
  g_startups.fetch_add(1);
  return 0;
}

int WSACleanup() {
  LONG count = g_startups.load();
  do {
    if (count == 0) return Fail(WSANOTINITIALISED);
  } while (!g_startups.compare_exchange_weak(count, count - 1));
  return 0;
}

int WSAGetLastError() {
  return t_lastError;
}

void WSASetLastError(int iError) {
  t_lastError = iError;
}

SOCKET socket(int af, int type, int protocol) {
  if (g_startups.load() == 0) return FailSocket(WSANOTINITIALISED);
  if (af != AF_INET) return FailSocket(WSAEAFNOSUPPORT);
  if (type != SOCK_DGRAM) return FailSocket(WSAESOCKTNOSUPPORT);
  if (protocol != 0 && protocol != IPPROTO_UDP) return FailSocket(WSAEPROTONOSUPPORT);
  const int fd = ombix::net::OpenDatagramSocket();
  if (fd < 0) return FailSocket(-fd);
  return static_cast<SOCKET>(fd);
}

int bind(SOCKET s, const sockaddr* name, int namelen) {
  if (const int err = CheckAddress(name, namelen)) return Fail(err);
  const int result = ombix::net::Bind(Descriptor(s), ToEndpoint(name));
  return result < 0 ? Fail(-result) : 0;
}

int getsockname(SOCKET s, sockaddr* name, int* namelen) {
  if (name == nullptr || namelen == nullptr || *namelen < kAddrLen) return Fail(WSAEFAULT);
  ombix::net::NETENDPOINT local;
  const int result = ombix::net::GetLocalEndpoint(Descriptor(s), local);
  if (result < 0) return Fail(-result);
  StoreEndpoint(local, name);
  *namelen = kAddrLen;
  return 0;
}

void FdSet(SOCKET s, fd_set* set) {
  if (FdIsSet(s, set) || set->fd_count >= WINSOCK_FD_SETSIZE) return;
  set->fd_array[set->fd_count++] = s;
}

void FdClear(SOCKET s, fd_set* set) {
  for (UINT i = 0; i < set->fd_count; ++i) {
    if (set->fd_array[i] == s) {
      set->fd_array[i] = set->fd_array[--set->fd_count];
      return;
    }
  }
}

BOOL FdIsSet(SOCKET s, const fd_set* set) {
  for (UINT i = 0; i < set->fd_count && i < WINSOCK_FD_SETSIZE; ++i) {
    if (set->fd_array[i] == s) return TRUE;
  }
  return FALSE;
}

int select(int /*nfds*/, fd_set* readfds, fd_set* writefds, fd_set* exceptfds,
           const timeval* timeout) {
  fd_set* const sets[3] = {readfds, writefds, exceptfds};
  static_assert(3 * WINSOCK_FD_SETSIZE <= ombix::net::kMaxPollEntries);
  ombix::net::NETPOLL entries[3 * WINSOCK_FD_SETSIZE];  // only the first count are filled
  std::size_t count = 0;
  for (int kind = 0; kind < 3; ++kind) {
    if (sets[kind] == nullptr) continue;
    if (sets[kind]->fd_count > WINSOCK_FD_SETSIZE) return Fail(WSAEINVAL);
    for (UINT i = 0; i < sets[kind]->fd_count; ++i) {
      ombix::net::NETPOLL& entry = entries[count++];
      entry.fd = Descriptor(sets[kind]->fd_array[i]);
      if (entry.fd < 0) return Fail(WSAENOTSOCK);
      entry.bRead = kind == 0;
      entry.bWrite = kind == 1;
      entry.bExcept = kind == 2;
      entry.bReadable = entry.bWritable = entry.bExceptional = false;
    }
  }
  if (count == 0) return Fail(WSAEINVAL);
  long long llTimeoutMs = -1;
  if (timeout != nullptr) {
    if (timeout->tv_sec < 0 || timeout->tv_usec < 0) return Fail(WSAEINVAL);
    // Rounded up, so a short wait is not turned into a poll.
    llTimeoutMs = static_cast<long long>(timeout->tv_sec) * 1000 + (timeout->tv_usec + 999) / 1000;
  }
  const int ready = ombix::net::Poll(entries, count, llTimeoutMs);
  if (ready < 0) return Fail(-ready);
  std::size_t next = 0;
  for (int kind = 0; kind < 3; ++kind) {
    if (sets[kind] == nullptr) continue;
    fd_set& set = *sets[kind];
    const UINT given = set.fd_count;
    const SOCKET* const asked = set.fd_array;
    UINT kept = 0;
    for (UINT i = 0; i < given; ++i) {
      const ombix::net::NETPOLL& entry = entries[next++];
      if (entry.bReadable || entry.bWritable || entry.bExceptional) {
        set.fd_array[kept++] = asked[i];  // kept <= i, so nothing unread is overwritten
      }
    }
    set.fd_count = kept;
  }
  return ready;
}

int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen) {
  if (level != SOL_SOCKET || optname != SO_RCVTIMEO) return Fail(WSAENOPROTOOPT);
  DWORD dwMilliseconds;
  if (optval == nullptr || optlen < static_cast<int>(sizeof dwMilliseconds)) return Fail(WSAEFAULT);
  std::memcpy(&dwMilliseconds, optval, sizeof dwMilliseconds);
  const int result = ombix::net::SetReceiveTimeout(Descriptor(s), dwMilliseconds);
  return result < 0 ? Fail(-result) : 0;
}

int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen) {
  if (flags != 0) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  if (to == nullptr) return Fail(WSAEDESTADDRREQ);
  if (const int err = CheckAddress(to, tolen)) return Fail(err);
  const long sent =
      ombix::net::SendTo(Descriptor(s), buf, static_cast<std::size_t>(len), ToEndpoint(to));
  return sent < 0 ? Fail(static_cast<int>(-sent)) : static_cast<int>(sent);
}

int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen) {
  if ((flags & ~MSG_PEEK) != 0) return Fail(WSAEOPNOTSUPP);
  if (len < 0 || (buf == nullptr && len > 0)) return Fail(WSAEFAULT);
  if (from != nullptr && (fromlen == nullptr || *fromlen < kAddrLen)) return Fail(WSAEFAULT);
  ombix::net::NETENDPOINT sender;
  bool bTruncated = false;
  const long got = ombix::net::RecvFrom(Descriptor(s), buf, static_cast<std::size_t>(len),
                                        (flags & MSG_PEEK) != 0, sender, bTruncated);
  if (got < 0) return Fail(static_cast<int>(-got));
  if (from != nullptr) {
    StoreEndpoint(sender, from);
    *fromlen = kAddrLen;
  }
  if (bTruncated) return Fail(WSAEMSGSIZE);
  return static_cast<int>(got);
}

int closesocket(SOCKET s) {
  const int result = ombix::net::Close(Descriptor(s));
  return result < 0 ? Fail(-result) : 0;
}

DWORD inet_addr(const char* cp) {
  if (cp == nullptr) return INADDR_NONE;
  DWORD parts[4] = {};
  int count = 0;
  const char* p = cp;
  for (;;) {
    if (count == 4 || !ParseAddressPart(p, parts[count])) return INADDR_NONE;
    ++count;
    if (*p != '.') break;
    ++p;
  }
  if (*p != '\0' && !std::isspace(static_cast<unsigned char>(*p))) return INADDR_NONE;
  // The last part fills every byte that the parts before it leave.
  DWORD host = 0;
  for (int i = 0; i < count - 1; ++i) {
    if (parts[i] > 0xFF) return INADDR_NONE;
    host |= parts[i] << (24 - 8 * i);
  }
  const DWORD last = parts[count - 1];
  const int lastBits = 32 - 8 * (count - 1);
  if (lastBits < 32 && last >= (1u << lastBits)) return INADDR_NONE;
  return htonl(host | last);
}

}  // namespace winsock
