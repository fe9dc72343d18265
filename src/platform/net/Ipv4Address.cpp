#include "platform/net/Ipv4Address.h"

namespace kessmar::platform {

std::optional<Ipv4Address> Ipv4Address::Parse(std::string_view text) {
  uint32_t value = 0;
  size_t pos = 0;
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    const size_t start = pos;
    uint32_t number = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 3) {
      number = number * 10 + static_cast<uint32_t>(text[pos] - '0');
      ++pos;
    }
    const size_t digits = pos - start;
    if (digits == 0 || number > 255 || (digits > 1 && text[start] == '0')) return std::nullopt;
    value = (value << 8) | number;
  }
  if (pos != text.size()) return std::nullopt;
  return Ipv4Address{value};
}

std::string Ipv4Address::ToString() const {
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
         std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

}  // namespace kessmar::platform
