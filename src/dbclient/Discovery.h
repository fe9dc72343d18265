// Server discovery over UDP: the request sent to a broadcast address, the answers collected, and
// the responder that answers for one server. Datagrams as in DiscoveryMessage.h.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/net/NetworkAdapters.h"
#include "platform/net/UdpSocket.h"

namespace kessmar::dbclient {

struct DiscoveryRoute {
  platform::Ipv4Address bindAddress;  // 0.0.0.0: any
  platform::Ipv4Address destination;
  uint16_t port = 0;
};

// The discovery port: KESSMAR_DISCOVERY_PORT when set, else kDefaultDiscoveryPort. Throws
// DatabaseError (08001) when the variable is not a port number.
uint16_t DiscoveryPort();

// Where a request goes. KESSMAR_DISCOVERY_ADDR, when set, is the destination and the socket binds
// to no particular address (tests and the demo confine discovery to 127.255.255.255 this way).
// Otherwise the request goes to the broadcast address of adapter, from that adapter's address;
// without an adapter (or one without broadcast) to 255.255.255.255. Throws DatabaseError (08001)
// when KESSMAR_DISCOVERY_ADDR or KESSMAR_DISCOVERY_PORT is malformed.
DiscoveryRoute ChooseDiscoveryRoute(const std::optional<platform::NetworkAdapter>& adapter);

// Sends a request along route and collects answers for wait. Returns the server addresses that
// answered, each once (compared without regard to case), in the order they arrived; answers to
// other requests and malformed datagrams are ignored. Throws DatabaseError (08001) naming the
// destination when the request cannot be sent.
std::vector<std::string> DiscoverServers(const DiscoveryRoute& route,
                                         std::chrono::milliseconds wait);

// Answers discovery requests for one server: listens on port (all addresses, shared with other
// responders of this machine, so each of them hears every broadcast) and answers every
// well-formed request with serverAddress. Throws std::invalid_argument when serverAddress cannot
// be announced, std::system_error when the port cannot be bound.
class DiscoveryResponder {
 public:
  DiscoveryResponder(std::string serverAddress, uint16_t port);

  // Answers the requests that arrive before deadline; returns how many were answered. Never
  // throws for a bad datagram or a requester that cannot be answered.
  int ServeUntil(std::chrono::steady_clock::time_point deadline);
  uint16_t Port() const { return socket_.LocalPort(); }

 private:
  std::string serverAddress_;
  platform::UdpSocket socket_;
};

}  // namespace kessmar::dbclient
