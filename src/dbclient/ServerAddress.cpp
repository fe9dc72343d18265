#include "dbclient/ServerAddress.h"

#include "dbclient/Protocol.h"

namespace kessmar::dbclient {

const char* ProtocolName(Protocol protocol) {
  switch (protocol) {
    case Protocol::ptNone:
      return "ptNone";
    case Protocol::ptSingleUser:
      return "ptSingleUser";
    case Protocol::ptTCPIP:
      return "ptTCPIP";
    case Protocol::ptIPXSPX:
      return "ptIPXSPX";
    case Protocol::ptRegistry:
      return "ptRegistry";
  }
  return "?";
}

std::optional<ServerAddress> ServerAddress::Split(std::string_view text) {
  const size_t at = text.find('@');
  if (at == std::string_view::npos || at == 0 || at + 1 == text.size()) return std::nullopt;
  return ServerAddress{std::string(text.substr(0, at)), std::string(text.substr(at + 1))};
}

std::string AddressPart(std::string_view text) {
  if (const size_t colon = text.find(": "); colon != std::string_view::npos) {
    return std::string(text.substr(colon + 2));
  }
  if (const size_t at = text.find('@'); at != std::string_view::npos) {
    return std::string(text.substr(at + 1));
  }
  return std::string(text);
}

std::string Truncated(std::string_view text, size_t limit) {
  return std::string(text.substr(0, limit));
}

}  // namespace kessmar::dbclient
