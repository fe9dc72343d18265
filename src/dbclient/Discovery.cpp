#include "dbclient/Discovery.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdlib>
#include <random>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "common/Text.h"
#include "dbclient/DatabaseError.h"
#include "dbclient/DiscoveryMessage.h"
#include "platform/EnvironmentOverrides.h"

namespace kessmar::dbclient {
namespace {

using Clock = std::chrono::steady_clock;

std::string Where(const DiscoveryRoute& route) {
  return route.destination.ToString() + ":" + std::to_string(route.port);
}

}  // namespace

uint16_t DiscoveryPort() {
  const auto text = platform::EnvironmentOverride(platform::env::kDiscoveryPort);
  if (!text) return kDefaultDiscoveryPort;
  const std::string_view value(*text);
  unsigned port = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
  if (error != std::errc() || end != value.data() + value.size() || port == 0 || port > 65535) {
    throw DatabaseError("KESSMAR_DISCOVERY_PORT \"" + std::string(value) + "\" is not a port",
                        sqlstate::kCannotConnect, {});
  }
  return static_cast<uint16_t>(port);
}

DiscoveryRoute ChooseDiscoveryRoute(const std::optional<platform::NetworkAdapter>& adapter) {
  DiscoveryRoute route;
  route.port = DiscoveryPort();
  if (const auto text = platform::EnvironmentOverride(platform::env::kDiscoveryAddr)) {
    const auto destination = platform::Ipv4Address::Parse(*text);
    if (!destination) {
      throw DatabaseError("KESSMAR_DISCOVERY_ADDR \"" + *text + "\" is not an IPv4 address",
                          sqlstate::kCannotConnect, {});
    }
    route.destination = *destination;
    return route;
  }
  route.destination = platform::Ipv4Address{0xFFFFFFFFu};
  if (adapter) {
    route.bindAddress = adapter->address;
    if (adapter->broadcast) route.destination = *adapter->broadcast;
  }
  return route;
}

std::vector<std::string> DiscoverServers(const DiscoveryRoute& route,
                                         std::chrono::milliseconds wait) {
  std::random_device random;
  const uint32_t nonce = random();
  const std::string request = FormatDiscoveryRequest(nonce);
  std::vector<std::string> found;
  try {
    platform::UdpSocket socket;
    socket.EnableBroadcast();
    socket.Bind(route.bindAddress, 0);
    const auto deadline = Clock::now() + wait;
    // A second request a little later covers a datagram lost on a busy network.
    auto resendAt = Clock::now() + std::min(wait / 4, std::chrono::milliseconds(100));
    bool resent = false;
    socket.SendTo(route.destination, route.port, request);
    for (;;) {
      const auto until = resent ? deadline : std::min(deadline, resendAt);
      const auto datagram = socket.Receive(until, 512);
      if (!datagram) {
        if (Clock::now() >= deadline) break;
        if (!resent && Clock::now() >= resendAt) {
          resent = true;
          socket.SendTo(route.destination, route.port, request);
        }
        continue;
      }
      const auto answer = ParseDiscoveryAnswer(datagram->data);
      if (!answer || answer->nonce != nonce) continue;
      bool known = false;
      for (const auto& address : found)
        known = known || EqualsIgnoringCase(address, answer->serverAddress);
      if (!known) found.push_back(answer->serverAddress);
    }
  } catch (const std::system_error& e) {
    throw DatabaseError("cannot send the discovery request to " + Where(route) + ": " + e.what(),
                        sqlstate::kCannotConnect, {});
  }
  return found;
}

DiscoveryResponder::DiscoveryResponder(std::string serverAddress, uint16_t port)
    : serverAddress_(std::move(serverAddress)) {
  if (!IsAnnounceableAddress(serverAddress_)) {
    throw std::invalid_argument("\"" + serverAddress_ +
                                "\" is not a server address that can be announced (NAME@address, "
                                "at most 63 characters)");
  }
  socket_.EnableAddressReuse();
  socket_.Bind(platform::Ipv4Address{0}, port);
}

int DiscoveryResponder::ServeUntil(std::chrono::steady_clock::time_point deadline) {
  int answered = 0;
  for (;;) {
    std::optional<platform::Datagram> datagram;
    try {
      datagram = socket_.Receive(deadline, 512);
    } catch (const std::system_error&) {
      return answered;
    }
    if (!datagram) return answered;
    const auto nonce = ParseDiscoveryRequest(datagram->data);
    if (!nonce) continue;
    try {
      socket_.SendTo(datagram->from, datagram->fromPort,
                     FormatDiscoveryAnswer(*nonce, serverAddress_));
      ++answered;
    } catch (const std::system_error&) {
      // A requester that cannot be answered is not our failure.
    }
  }
}

}  // namespace kessmar::dbclient
