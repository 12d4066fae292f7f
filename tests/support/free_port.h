#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// A TCP port that was free a moment ago, for tests that must hand a port number to a
// separate process: the system picks it (bind to port 0), then it is released.
inline int freeTcpPort() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_ANY);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  ::close(probe);
  return port;
}
