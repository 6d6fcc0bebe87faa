#include "switchapi/ombix_socket.h"

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
  if (winsock::bind(m_hSocket, reinterpret_cast<const winsock::sockaddr*>(&local), sizeof local) ==
      winsock::SOCKET_ERROR) {
    winsock::closesocket(m_hSocket);
    m_hSocket = winsock::INVALID_SOCKET;
    return FALSE;
  }
  return TRUE;
}

int COmbixSocket::Receive(BYTE* pBuffer, int nSize, DWORD* pdwAddr, WORD* pwPort, DWORD dwTimeout) {
  if (dwTimeout != 0) {
    winsock::fd_set readfds;
    winsock::FdZero(&readfds);
    winsock::FdSet(m_hSocket, &readfds);
    winsock::timeval tv;
    tv.tv_sec = static_cast<LONG>(dwTimeout / 1000);
    tv.tv_usec = static_cast<LONG>(dwTimeout % 1000 * 1000);
    const int ready = winsock::select(0, &readfds, nullptr, nullptr, &tv);
    if (ready <= 0) return ready;
  }
  winsock::sockaddr_in from{};
  int fromLen = sizeof from;
  const int got = winsock::recvfrom(m_hSocket, reinterpret_cast<char*>(pBuffer), nSize, 0,
                                    reinterpret_cast<winsock::sockaddr*>(&from), &fromLen);
  if (got == winsock::SOCKET_ERROR) return -1;
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
