// IPv4 addresses as the program writes them: dotted quads ("192.168.1.5").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kessmar::platform {

struct Ipv4Address {
  uint32_t value = 0;  // host byte order: 127.0.0.1 is 0x7F000001

  // The address written as four decimal parts of 0..255 separated by dots, nothing else (no
  // leading zeros beyond a single "0", no spaces); nullopt for any other text.
  static std::optional<Ipv4Address> Parse(std::string_view text);
  std::string ToString() const;

  bool IsLoopback() const { return (value >> 24) == 127; }
  friend bool operator==(Ipv4Address, Ipv4Address) = default;
};

}  // namespace kessmar::platform
