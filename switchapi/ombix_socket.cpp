#include "switchapi/ombix_socket.h"

namespace {

constexpr DWORD kLoopback = 0x7F000001;  // 127.0.0.1

}  // namespace

COmbixSocket::COmbixSocket() {
  winsock::WSADATA data;
  m_bStarted = winsock::WSAStartup(winsock::MAKEWORD(1, 1), &data) == 0;
  Open();
}

COmbixSocket::~COmbixSocket() {
  if (IsValid()) winsock::closesocket(m_hSocket);
  if (m_bStarted) winsock::WSACleanup();
}

BOOL COmbixSocket::Open() {
  m_hSocket = winsock::socket(winsock::AF_INET, winsock::SOCK_DGRAM, 0);
  if (!IsValid()) return FALSE;
  winsock::sockaddr_in local{};
  local.sin_family = winsock::AF_INET;
  local.sin_addr.s_addr = winsock::htonl(winsock::INADDR_ANY);
  local.sin_port = 0;
  int nLength = sizeof local;
  if (winsock::bind(m_hSocket, reinterpret_cast<const winsock::sockaddr*>(&local), sizeof local) ==
          winsock::SOCKET_ERROR ||
      winsock::getsockname(m_hSocket, reinterpret_cast<winsock::sockaddr*>(&local), &nLength) ==
          winsock::SOCKET_ERROR) {
    winsock::closesocket(m_hSocket);
    m_hSocket = winsock::INVALID_SOCKET;
    return FALSE;
  }
  m_wLocalPort = winsock::ntohs(local.sin_port);
  return TRUE;
}

int COmbixSocket::Receive(BYTE* pBuffer, int nSize, DWORD* pdwAddr, WORD* pwPort, DWORD dwTimeout) {
  // The wait is the receive's own time-out rather than a select before it: one system call per
  // datagram. Wake ends it all the same.
  if (dwTimeout != m_dwTimeout) {
    if (winsock::setsockopt(m_hSocket, winsock::SOL_SOCKET, winsock::SO_RCVTIMEO,
                            reinterpret_cast<const char*>(&dwTimeout),
                            sizeof dwTimeout) == winsock::SOCKET_ERROR) {
      return -1;
    }
    m_dwTimeout = dwTimeout;
  }
  winsock::sockaddr_in from{};
  int fromLen = sizeof from;
  const int got = winsock::recvfrom(m_hSocket, reinterpret_cast<char*>(pBuffer), nSize, 0,
                                    reinterpret_cast<winsock::sockaddr*>(&from), &fromLen);
  if (got == winsock::SOCKET_ERROR) {
    return winsock::WSAGetLastError() == winsock::WSAETIMEDOUT ? 0 : -1;
  }
  if (pdwAddr != nullptr) *pdwAddr = winsock::ntohl(from.sin_addr.s_addr);
  if (pwPort != nullptr) *pwPort = winsock::ntohs(from.sin_port);
  return got;
}

int COmbixSocket::Send(const BYTE* pBuffer, int nLength, DWORD dwAddr, WORD wPort) {
  if (dwAddr == 0 || wPort == 0) return 0;
  winsock::sockaddr_in to{};
  to.sin_family = winsock::AF_INET;
  to.sin_addr.s_addr = winsock::htonl(dwAddr);
  to.sin_port = winsock::htons(wPort);
  return winsock::sendto(m_hSocket, reinterpret_cast<const char*>(pBuffer), nLength, 0,
                         reinterpret_cast<const winsock::sockaddr*>(&to), sizeof to);
}

void COmbixSocket::Wake() {
  const BYTE bWake = 0;
  COmbixSocket::Send(&bWake, 1, kLoopback, m_wLocalPort);
}
