// Server addresses: the server's announced name, "@", and its address, as in "VEMOPRO@127.0.0.1".
// For TCP/IP the address is an IPv4 address or a host name; for a server on this machine reached
// through its Unix-domain socket it is the socket's folder ("VEMOPRO@/run/user/0/kessmar/pg").
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace kessmar::dbclient {

// A server name is read back with at most this many characters and set with at most the other.
inline constexpr size_t kServerNameReadLimit = 63;
inline constexpr size_t kServerNameWriteLimit = 255;

struct ServerAddress {
  std::string name;
  std::string address;

  // Splits text at its first "@"; nullopt when there is none or either side is empty.
  static std::optional<ServerAddress> Split(std::string_view text);
  std::string ToString() const { return name + "@" + address; }
};

// The address part of an address text as the locator compares them: the text after ": " when
// present ("eth0: 192.168.1.5"), else the text after "@" ("local@127.0.0.1"), else the text.
std::string AddressPart(std::string_view text);

// text cut to at most limit characters (bytes; server addresses are ASCII).
std::string Truncated(std::string_view text, size_t limit);

}  // namespace kessmar::dbclient
