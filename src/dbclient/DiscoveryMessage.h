// The datagrams of server discovery: a request "who is there" sent to a broadcast address, and
// the answer of every responder that hears it, carrying its server address "NAME@address".
// docs/backoffice.md has the grammar; these functions are its only writer and reader.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kessmar::dbclient {

// Default UDP port of discovery; KESSMAR_DISCOVERY_PORT overrides it.
inline constexpr uint16_t kDefaultDiscoveryPort = 28712;
// Longest server address an answer may carry (what a server name can be read back with).
inline constexpr size_t kMaxAnnouncedAddress = 63;

struct DiscoveryAnswer {
  uint32_t nonce = 0;
  std::string serverAddress;  // "NAME@address"
};

std::string FormatDiscoveryRequest(uint32_t nonce);
// Throws std::invalid_argument when serverAddress does not follow the grammar.
std::string FormatDiscoveryAnswer(uint32_t nonce, std::string_view serverAddress);

// The nonce of a well-formed request; nullopt for anything else. Never throws.
std::optional<uint32_t> ParseDiscoveryRequest(std::string_view datagram);
// A well-formed answer; nullopt for anything else (wrong version, bad characters, an address
// longer than kMaxAnnouncedAddress, trailing bytes). Never throws.
std::optional<DiscoveryAnswer> ParseDiscoveryAnswer(std::string_view datagram);

// Whether text is a server address an answer may carry.
bool IsAnnounceableAddress(std::string_view text);

}  // namespace kessmar::dbclient
