#include "dbclient/DiscoveryMessage.h"

#include <stdexcept>

namespace kessmar::dbclient {
namespace {

constexpr std::string_view kRequestTag = "KESSMAR-DB-WHO 1 ";
constexpr std::string_view kAnswerTag = "KESSMAR-DB-HERE 1 ";
constexpr char kHex[] = "0123456789abcdef";

std::string Hex(uint32_t nonce) {
  std::string text(8, '0');
  for (int i = 7; i >= 0; --i) {
    text[static_cast<size_t>(i)] = kHex[nonce & 0xF];
    nonce >>= 4;
  }
  return text;
}

std::optional<uint32_t> ParseHex(std::string_view text) {
  if (text.size() != 8) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    uint32_t digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else {
      return std::nullopt;
    }
    value = (value << 4) | digit;
  }
  return value;
}

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '_' || c == '.';
}

bool IsAddressChar(char c) {
  return IsNameChar(c) || c == ':' || c == '/';
}

}  // namespace

bool IsAnnounceableAddress(std::string_view text) {
  if (text.size() > kMaxAnnouncedAddress) return false;
  const size_t at = text.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == text.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == at) continue;
    if (i < at ? !IsNameChar(text[i]) : !IsAddressChar(text[i])) return false;
  }
  return true;
}

std::string FormatDiscoveryRequest(uint32_t nonce) {
  return std::string(kRequestTag) + Hex(nonce);
}

std::string FormatDiscoveryAnswer(uint32_t nonce, std::string_view serverAddress) {
  if (!IsAnnounceableAddress(serverAddress)) {
    throw std::invalid_argument("\"" + std::string(serverAddress) +
                                "\" is not a server address that can be announced");
  }
  return std::string(kAnswerTag) + Hex(nonce) + " " + std::string(serverAddress);
}

std::optional<uint32_t> ParseDiscoveryRequest(std::string_view datagram) {
  if (datagram.substr(0, kRequestTag.size()) != kRequestTag) return std::nullopt;
  return ParseHex(datagram.substr(kRequestTag.size()));
}

std::optional<DiscoveryAnswer> ParseDiscoveryAnswer(std::string_view datagram) {
  if (datagram.substr(0, kAnswerTag.size()) != kAnswerTag) return std::nullopt;
  std::string_view rest = datagram.substr(kAnswerTag.size());
  if (rest.size() < 9 || rest[8] != ' ') return std::nullopt;
  const auto nonce = ParseHex(rest.substr(0, 8));
  if (!nonce) return std::nullopt;
  const std::string_view address = rest.substr(9);
  if (!IsAnnounceableAddress(address)) return std::nullopt;
  return DiscoveryAnswer{*nonce, std::string(address)};
}

}  // namespace kessmar::dbclient
