// The host's network adapters with their IPv4 addresses, in the order the system lists them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/net/Ipv4Address.h"

namespace kessmar::platform {

struct NetworkAdapter {
  std::string name;  // interface name, e.g. "eth0"
  Ipv4Address address;
  Ipv4Address netmask;
  std::optional<Ipv4Address> broadcast;  // none on point-to-point links
  bool loopback = false;
  bool up = false;
  bool pointToPoint = false;
};

// One entry per IPv4 address of every interface (an interface with two addresses appears twice),
// in the system's order. Throws std::system_error when the list cannot be read.
std::vector<NetworkAdapter> ListNetworkAdapters();

}  // namespace kessmar::platform
