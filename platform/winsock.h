// Windows Sockets 1.1, the subset the switch link calls, on POSIX sockets (IPv4 datagrams only).
//
// Everything lives in namespace winsock, because the C library already owns several of these
// names (select, fd_set, timeval and the FD_* macros) in every translation unit; for the same
// reason the FD_* macros are the functions FdZero, FdSet, FdClear and FdIsSet here. Do not
// include this header together with the POSIX socket headers (their macros AF_INET etc. clash).
//
// Contract, beyond the usual Winsock meaning of each function:
// - A failing call returns SOCKET_ERROR (INVALID_SOCKET for socket) and WSAGetLastError, kept per
//   thread, gives the platform's error number (winsock_errors.h). An ICMP "unreachable" that the
//   system reports on a datagram socket comes back as WSAECONNRESET, as on the original platform.
// - socket needs a successful WSAStartup first (else WSANOTINITIALISED); WSAStartup accepts
//   version 1.1 or later and counts, WSACleanup undoes one. Only AF_INET with SOCK_DGRAM exists.
// - recvfrom never cuts a datagram silently: one longer than the buffer fills the buffer, is
//   consumed (unless MSG_PEEK), stores its sender, and the call fails with WSAEMSGSIZE.
// - select ignores nfds; a null time-out waits without limit; each set is rewritten to hold only
//   its ready sockets; at least one socket must be given (else WSAEINVAL). It allocates nothing.
// - setsockopt knows SOL_SOCKET/SO_RCVTIMEO alone (a DWORD of milliseconds, 0: no limit; else
//   WSAENOPROTOOPT); a receive that waits longer fails with WSAETIMEDOUT.
// - Addresses and ports inside sockaddr_in are in network order, as on the original platform.
#pragma once

#include <bit>

#include "platform/winsock_errors.h"
#include "platform/wintypes.h"

namespace winsock {

using SOCKET = UINT_PTR;
inline constexpr SOCKET INVALID_SOCKET = ~static_cast<SOCKET>(0);
inline constexpr int SOCKET_ERROR = -1;

inline constexpr int AF_INET = 2;
inline constexpr int SOCK_STREAM = 1;
inline constexpr int SOCK_DGRAM = 2;
inline constexpr int IPPROTO_UDP = 17;
inline constexpr int MSG_PEEK = 0x2;
inline constexpr int SOL_SOCKET = 0xFFFF;
inline constexpr int SO_RCVTIMEO = 0x1006;
inline constexpr DWORD INADDR_ANY = 0x00000000;
inline constexpr DWORD INADDR_NONE = 0xFFFFFFFF;

constexpr WORD MAKEWORD(BYTE low, BYTE high) {
  return static_cast<WORD>(low | (high << 8));
}

inline constexpr int WSADESCRIPTION_LEN = 256;
inline constexpr int WSASYS_STATUS_LEN = 128;

struct WSADATA {
  WORD wVersion;
  WORD wHighVersion;
  char szDescription[WSADESCRIPTION_LEN + 1];
  char szSystemStatus[WSASYS_STATUS_LEN + 1];
  USHORT iMaxSockets;
  USHORT iMaxUdpDg;
  char* lpVendorInfo;
};
using LPWSADATA = WSADATA*;

struct in_addr {
  DWORD s_addr;  // network order
};

struct sockaddr {
  USHORT sa_family;
  char sa_data[14];
};

struct sockaddr_in {
  SHORT sin_family;
  USHORT sin_port;  // network order
  in_addr sin_addr;
  char sin_zero[8];
};
static_assert(sizeof(sockaddr_in) == sizeof(sockaddr));

inline constexpr UINT WINSOCK_FD_SETSIZE = 64;  // FD_SETSIZE of the original platform

struct fd_set {
  UINT fd_count;
  SOCKET fd_array[WINSOCK_FD_SETSIZE];
};

struct timeval {
  LONG tv_sec;
  LONG tv_usec;
};

// --- Start-up and errors. ---
// Returns 0 or an error number (not through WSAGetLastError).
int WSAStartup(WORD wVersionRequested, LPWSADATA lpWSAData);
int WSACleanup();
int WSAGetLastError();
void WSASetLastError(int iError);

// --- Sockets. ---
SOCKET socket(int af, int type, int protocol);
int bind(SOCKET s, const sockaddr* name, int namelen);
int getsockname(SOCKET s, sockaddr* name, int* namelen);
int setsockopt(SOCKET s, int level, int optname, const char* optval, int optlen);
int select(int nfds, fd_set* readfds, fd_set* writefds, fd_set* exceptfds, const timeval* timeout);
int sendto(SOCKET s, const char* buf, int len, int flags, const sockaddr* to, int tolen);
int recvfrom(SOCKET s, char* buf, int len, int flags, sockaddr* from, int* fromlen);
int closesocket(SOCKET s);

// The FD_* operations of the original platform.
inline void FdZero(fd_set* set) {
  set->fd_count = 0;
}
// Adds s unless it is there already or the set is full.
void FdSet(SOCKET s, fd_set* set);
void FdClear(SOCKET s, fd_set* set);
BOOL FdIsSet(SOCKET s, const fd_set* set);

// --- Addresses and byte order. ---
// Dotted IPv4 text ("a.b.c.d", or fewer parts with the last one filling the rest; each part
// decimal, octal with a leading 0, or hex with 0x) in network order. INADDR_NONE for null, empty
// or malformed text; text after the address is ignored once a blank separates it.
DWORD inet_addr(const char* cp);

constexpr WORD htons(WORD hostshort) {
  return std::endian::native == std::endian::big
             ? hostshort
             : static_cast<WORD>((hostshort >> 8) | (hostshort << 8));
}
constexpr DWORD htonl(DWORD hostlong) {
  return std::endian::native == std::endian::big ? hostlong : __builtin_bswap32(hostlong);
}
constexpr WORD ntohs(WORD netshort) {
  return htons(netshort);
}
constexpr DWORD ntohl(DWORD netlong) {
  return htonl(netlong);
}

}  // namespace winsock
