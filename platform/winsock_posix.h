// Internal to the socket layer: the system calls behind winsock.cpp, in a translation unit of
// their own so that the POSIX socket headers never meet winsock.h. Each function returns its
// result (>= 0) or the negated Winsock error number (winsock_errors.h).
#pragma once

#include <cstddef>

#include "platform/wintypes.h"

namespace ombix::net {

// An IPv4 address and port, both in network order (as they sit in a sockaddr_in).
struct NETENDPOINT {
  DWORD dwAddr = 0;
  WORD wPort = 0;
};

// No initialisers: select keeps the largest array it may need on its stack and fills only the
// entries it uses.
struct NETPOLL {
  int fd;
  bool bRead, bWrite, bExcept;              // asked for
  bool bReadable, bWritable, bExceptional;  // found
};
// The most entries one Poll takes.
inline constexpr std::size_t kMaxPollEntries = 192;

// A new IPv4 datagram socket (close-on-exec).
int OpenDatagramSocket();
int Bind(int fd, const NETENDPOINT& local);
int GetLocalEndpoint(int fd, NETENDPOINT& local);
// Waits until one of the entries (at most kMaxPollEntries) is ready or the time-out (ms, -1: no
// limit) passes; returns the number of entries found ready. Allocates nothing.
int Poll(NETPOLL* pEntries, std::size_t count, long long llTimeoutMs);
// How long a receive waits for a datagram before it fails with WSAETIMEDOUT; 0: no limit.
int SetReceiveTimeout(int fd, DWORD dwMilliseconds);
long SendTo(int fd, const void* pData, std::size_t len, const NETENDPOINT& to);
// Fills at most len bytes; bTruncated tells that the datagram was longer (the return value is
// then len). The datagram is consumed unless bPeek.
long RecvFrom(int fd, void* pData, std::size_t len, bool bPeek, NETENDPOINT& from,
              bool& bTruncated);
int Close(int fd);

}  // namespace ombix::net
