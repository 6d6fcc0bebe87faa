// COmbixSocket: the link's UDP socket, bound to any local address and a port the system picks.
//
// Contract: construction starts Windows Sockets 1.1 and opens the socket; a failed open leaves
// it invalid, and every later send and receive on it fails. Addresses and ports are IPv4 in host
// order. The destructor closes the socket. Receive runs on one thread at a time; Send and Wake
// may run on others at once. Receive and Send are virtual, for a link that hands out a socket of
// its own (COmbixAPI::CreateSocket).
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
  // Reads one datagram, waiting up to dwTimeout ms for it (0: without limit): its length, 0 when
  // none came in time, or -1 on error (WSAGetLastError says which; WSAEMSGSIZE for one longer
  // than nSize). The sender is stored where a pointer is given.
  virtual int Receive(BYTE* pBuffer, int nSize, DWORD* pdwAddr, WORD* pwPort, DWORD dwTimeout);
  // 0 without sending when the address or the port is 0; else what sendto returns.
  virtual int Send(const BYTE* pBuffer, int nLength, DWORD dwAddr, WORD wPort);
  // Ends the wait of a Receive now, or of the next one: a datagram of one byte that the socket
  // sends itself over loopback, which a reader of protocol datagrams takes for a runt.
  void Wake();

 private:
  winsock::SOCKET m_hSocket = winsock::INVALID_SOCKET;
  BOOL m_bStarted = FALSE;  // WSAStartup succeeded and WSACleanup is owed
  WORD m_wLocalPort = 0;    // set by Open
  DWORD m_dwTimeout = 0;    // the receive time-out the socket holds; Receive's alone
};
