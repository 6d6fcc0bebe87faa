#include "platform/winsock_posix.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

#include "platform/winsock_errors.h"

namespace ombix::net {
namespace {

int WinsockError(int err) {
  switch (err) {
    case EINTR:
      return winsock::WSAEINTR;
    case EBADF:
    case ENOTSOCK:
      return winsock::WSAENOTSOCK;
    case EACCES:
    case EPERM:
      return winsock::WSAEACCES;
    case EFAULT:
      return winsock::WSAEFAULT;
    case EINVAL:
      return winsock::WSAEINVAL;
    case EMFILE:
    case ENFILE:
      return winsock::WSAEMFILE;
    case EAGAIN:
      return winsock::WSAEWOULDBLOCK;
    case EMSGSIZE:
      return winsock::WSAEMSGSIZE;
    case EDESTADDRREQ:
      return winsock::WSAEDESTADDRREQ;
    case EADDRINUSE:
      return winsock::WSAEADDRINUSE;
    case EADDRNOTAVAIL:
      return winsock::WSAEADDRNOTAVAIL;
    case ENETDOWN:
      return winsock::WSAENETDOWN;
    case ENETUNREACH:
      return winsock::WSAENETUNREACH;
    case EHOSTUNREACH:
      return winsock::WSAEHOSTUNREACH;
    // What the original platform reports on a datagram socket after an ICMP "unreachable".
    case ECONNREFUSED:
    case ECONNRESET:
      return winsock::WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
      return winsock::WSAENOBUFS;
    case EAFNOSUPPORT:
      return winsock::WSAEAFNOSUPPORT;
    case EPROTONOSUPPORT:
      return winsock::WSAEPROTONOSUPPORT;
    case EOPNOTSUPP:
      return winsock::WSAEOPNOTSUPP;
    default:
      return winsock::WSAENETDOWN;
  }
}

int Failed() {
  return -WinsockError(errno);
}

sockaddr_in ToSockaddr(const NETENDPOINT& endpoint) {
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = endpoint.wPort;
  sin.sin_addr.s_addr = endpoint.dwAddr;
  return sin;
}

NETENDPOINT FromSockaddr(const sockaddr_in& sin) {
  NETENDPOINT endpoint;
  endpoint.dwAddr = sin.sin_addr.s_addr;
  endpoint.wPort = sin.sin_port;
  return endpoint;
}

}  // namespace

int OpenDatagramSocket() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  return fd >= 0 ? fd : Failed();
}

int Bind(int fd, const NETENDPOINT& local) {
  const sockaddr_in sin = ToSockaddr(local);
  return ::bind(fd, reinterpret_cast<const sockaddr*>(&sin), sizeof sin) == 0 ? 0 : Failed();
}

int GetLocalEndpoint(int fd, NETENDPOINT& local) {
  sockaddr_in sin{};
  socklen_t len = sizeof sin;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len) != 0) return Failed();
  if (sin.sin_family != AF_INET) return -winsock::WSAEAFNOSUPPORT;
  local = FromSockaddr(sin);
  return 0;
}

int Poll(NETPOLL* pEntries, std::size_t count, long long llTimeoutMs) {
  if (count > kMaxPollEntries) return -winsock::WSAEINVAL;
  pollfd fds[kMaxPollEntries];
  for (std::size_t i = 0; i < count; ++i) {
    fds[i].fd = pEntries[i].fd;
    fds[i].events =
        static_cast<short>((pEntries[i].bRead ? POLLIN : 0) | (pEntries[i].bWrite ? POLLOUT : 0) |
                           (pEntries[i].bExcept ? POLLPRI : 0));
    fds[i].revents = 0;
  }
  const int timeout = llTimeoutMs < 0         ? -1
                      : llTimeoutMs > INT_MAX ? INT_MAX
                                              : static_cast<int>(llTimeoutMs);
  const int result = ::poll(fds, count, timeout);
  if (result < 0) return Failed();
  int ready = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const short revents = fds[i].revents;
    if (revents & POLLNVAL) return -winsock::WSAENOTSOCK;
    // An error or hang-up is reported as readable: the receive then says what happened.
    NETPOLL& entry = pEntries[i];
    entry.bReadable = entry.bRead && (revents & (POLLIN | POLLERR | POLLHUP)) != 0;
    entry.bWritable = entry.bWrite && (revents & POLLOUT) != 0;
    entry.bExceptional = entry.bExcept && (revents & POLLPRI) != 0;
    ready += entry.bReadable + entry.bWritable + entry.bExceptional;
  }
  return ready;
}

int SetReceiveTimeout(int fd, DWORD dwMilliseconds) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(dwMilliseconds / 1000);
  tv.tv_usec = static_cast<suseconds_t>(dwMilliseconds % 1000 * 1000);
  return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0 ? 0 : Failed();
}

long SendTo(int fd, const void* pData, std::size_t len, const NETENDPOINT& to) {
  const sockaddr_in sin = ToSockaddr(to);
  const ssize_t sent =
      ::sendto(fd, pData, len, 0, reinterpret_cast<const sockaddr*>(&sin), sizeof sin);
  return sent >= 0 ? static_cast<long>(sent) : Failed();
}

long RecvFrom(int fd, void* pData, std::size_t len, bool bPeek, NETENDPOINT& from,
              bool& bTruncated) {
  sockaddr_in sin{};
  socklen_t sinLen = sizeof sin;
  // MSG_TRUNC makes a datagram socket report the whole length, so a cut is seen.
  const ssize_t got = ::recvfrom(fd, pData, len, MSG_TRUNC | (bPeek ? MSG_PEEK : 0),
                                 reinterpret_cast<sockaddr*>(&sin), &sinLen);
  // Every socket here blocks, so a receive that would block has run out of its time-out.
  if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return -winsock::WSAETIMEDOUT;
  if (got < 0) return Failed();
  from = FromSockaddr(sin);
  bTruncated = static_cast<std::size_t>(got) > len;
  return bTruncated ? static_cast<long>(len) : static_cast<long>(got);
}

int Close(int fd) {
  // The descriptor is gone after close, even when it reports EINTR.
  return ::close(fd) == 0 || errno == EINTR ? 0 : Failed();
}

}  // namespace ombix::net
