// COmbixSocket: the link's UDP socket, bound to any local address and a port the system picks.
//
// Contract: construction starts Windows Sockets 1.1 and opens the socket; a failed open leaves
// it invalid, and every later send and receive on it fails. Addresses and ports are IPv4 in host
// order. The destructor closes the socket. Receive and Send may run on different threads at once;
// both are virtual, for a link that hands out a socket of its own (COmbixAPI::CreateSocket).
#pragma once

#include "platform/winsock.h"
#include "platform/wintypes.h"

class COmbixSocket {
 public:
  COmbixSocket();
  virtual ~COmbixSocket();
  COmbixSocket(const COmbixSocket&) = delete;
  COmbixSocket& operator=(const COmbixSocket&) = delete;

  // socket and bind to INADDR_ANY, port 0; TRUE on success.
  BOOL Open();
  BOOL IsValid() const { return m_hSocket != winsock::INVALID_SOCKET; }
  // With a time-out other than 0, first waits up to that many ms for a datagram: 0 when none
  // came, -1 on error. Then reads one datagram: its length, or -1 on error (WSAGetLastError says
  // which; WSAEMSGSIZE for one longer than nSize). The sender is stored where a pointer is given.
  virtual int Receive(BYTE* pBuffer, int nSize, DWORD* pdwAddr, WORD* pwPort, DWORD dwTimeout);
  // 0 without sending when the address or the port is 0; else what sendto returns.
  virtual int Send(const BYTE* pBuffer, int nLength, DWORD dwAddr, WORD wPort);

 private:
  winsock::SOCKET m_hSocket = winsock::INVALID_SOCKET;
  BOOL m_bStarted = FALSE;  // WSAStartup succeeded and WSACleanup is owed
};
