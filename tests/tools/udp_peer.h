// A client of the switch's UDP protocol for the tools' tests: a socket of the test's own on
// loopback, bound to a free port, that sends datagrams of DWORD fields and reads the answers.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
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

}  // namespace tooltest
