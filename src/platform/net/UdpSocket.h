// A UDP socket for IPv4 datagrams: the discovery request and its answers.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/FileDescriptor.h"
#include "platform/net/Ipv4Address.h"

namespace kessmar::platform {

struct Datagram {
  std::string data;
  Ipv4Address from;
  uint16_t fromPort = 0;
};

// Owns one datagram socket; closed when the object goes. Every failing call throws
// std::system_error whose what() names the operation and the address involved.
class UdpSocket {
 public:
  // Opens an unbound socket. Throws std::system_error.
  UdpSocket();

  // Lets this socket send to broadcast addresses.
  void EnableBroadcast();
  // Lets several sockets bind the same port; each of them receives every broadcast.
  void EnableAddressReuse();
  // Binds to address and port (port 0: any free port).
  void Bind(Ipv4Address address, uint16_t port);
  // The bound port (after Bind, or after the first send).
  uint16_t LocalPort() const;

  // Sends data as one datagram.
  void SendTo(Ipv4Address address, uint16_t port, std::string_view data);

  // The next datagram (at most maxSize bytes; longer ones are cut), or nullopt when none arrived
  // before deadline.
  std::optional<Datagram> Receive(std::chrono::steady_clock::time_point deadline,
                                  size_t maxSize = 2048);

  int Descriptor() const { return fd_.get(); }

 private:
  FileDescriptor fd_;
};

}  // namespace kessmar::platform
