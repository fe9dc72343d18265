#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include "platform/net/NetworkAdapters.h"

namespace kessmar::platform {
namespace {

Ipv4Address FromSockaddr(const sockaddr* address) {
  const auto* in = reinterpret_cast<const sockaddr_in*>(address);
  return Ipv4Address{ntohl(in->sin_addr.s_addr)};
}

}  // namespace

std::vector<NetworkAdapter> ListNetworkAdapters() {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    throw std::system_error(errno, std::generic_category(), "getifaddrs");
  }
  std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
  std::vector<NetworkAdapter> adapters;
  for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
    if (entry->ifa_addr == nullptr || entry->ifa_addr->sa_family != AF_INET) continue;
    NetworkAdapter adapter;
    adapter.name = entry->ifa_name != nullptr ? entry->ifa_name : "";
    adapter.address = FromSockaddr(entry->ifa_addr);
    if (entry->ifa_netmask != nullptr) adapter.netmask = FromSockaddr(entry->ifa_netmask);
    adapter.loopback = (entry->ifa_flags & IFF_LOOPBACK) != 0;
    adapter.up = (entry->ifa_flags & IFF_UP) != 0;
    adapter.pointToPoint = (entry->ifa_flags & IFF_POINTOPOINT) != 0;
    if ((entry->ifa_flags & IFF_BROADCAST) != 0 && entry->ifa_broadaddr != nullptr) {
      adapter.broadcast = FromSockaddr(entry->ifa_broadaddr);
    }
    adapters.push_back(std::move(adapter));
  }
  return adapters;
}

}  // namespace kessmar::platform
