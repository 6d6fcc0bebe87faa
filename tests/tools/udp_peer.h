// A client of the switch's UDP protocol for the tools' tests: a socket of the test's own on
// loopback, bound to a free port, that sends datagrams of DWORD fields and reads the answers;
// and a login through it to a switch-sim whose listening line tells its port.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "switchapi/ombix_message_types.h"
#include "switchapi/ombix_wire.h"

namespace tooltest {

// A UDP socket of the test's own on loopback, bound to a free port.
class UdpPeer {
 public:
  UdpPeer() {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(addr);
    bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &length);
    port_ = ntohs(addr.sin_port);
  }
  ~UdpPeer() { close(fd_); }
  int port() const { return port_; }

  // A datagram of DWORD fields (the header's two first) to the switch on `port`.
  void Send(int port, std::vector<DWORD> fields) {
    BYTE buffer[64];
    COmbixWriter writer(buffer, sizeof(buffer));
    for (DWORD field : fields) writer.WriteDword(field);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(static_cast<uint16_t>(port));
    sendto(fd_, buffer, writer.GetLength(), 0, reinterpret_cast<sockaddr*>(&to), sizeof(to));
  }
  // The first DWORD fields of the next datagram that is no acknowledgement; empty when none
  // comes within ten seconds.
  std::vector<DWORD> Receive(size_t count) {
    for (pollfd fd{fd_, POLLIN, 0}; poll(&fd, 1, 10000) == 1;) {
      BYTE buffer[2048];
      const ssize_t n = recv(fd_, buffer, sizeof(buffer), 0);
      if (n < 0) break;
      COmbixReader reader(buffer, static_cast<DWORD>(n));
      std::vector<DWORD> fields;
      while (fields.size() < count) fields.push_back(reader.ReadDword());
      if (fields[1] != OMBIX_ACK) return fields;
    }
    return {};
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// The port of a listening line "... listening on 127.0.0.1 port P" in text; 0 when none.
inline int ListeningPort(const std::string& text) {
  const std::string marker = "listening on 127.0.0.1 port ";
  const size_t at = text.find(marker);
  return at == std::string::npos ? 0 : std::atoi(text.c_str() + at + marker.size());
}

// A login (sequence 0) from the client, acknowledged and answered; false when no answer came.
inline bool LogIn(UdpPeer& client, int port) {
  client.Send(port, {0, OMBIX_LOGIN_REQ, 0});
  const std::vector<DWORD> answer = client.Receive(4);
  if (answer != std::vector<DWORD>{0, OMBIX_LOGIN_RSP, 0, 0}) return false;
  client.Send(port, {0, OMBIX_ACK});
  return true;
}

}  // namespace tooltest
