#include "common/Base64.h"

#include <algorithm>

namespace kessmar {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int ValueOf(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::string EncodeBase64(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t n = std::min<size_t>(3, bytes.size() - i);
    uint32_t group = static_cast<uint32_t>(bytes[i]) << 16;
    if (n > 1) group |= static_cast<uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) group |= bytes[i + 2];
    for (size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  std::string clean;
  for (const char c : text) {
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n') continue;
    clean += c;
  }
  if (clean.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(clean.size() / 4 * 3);
  for (size_t i = 0; i < clean.size(); i += 4) {
    const bool last = i + 4 == clean.size();
    size_t padding = 0;
    uint32_t group = 0;
    for (size_t k = 0; k < 4; ++k) {
      const char c = clean[i + k];
      int value = 0;
      if (c == '=') {
        // Padding only at the end of the last group, at most two.
        if (!last || k < 2) return std::nullopt;
        ++padding;
      } else {
        if (padding > 0) return std::nullopt;
        value = ValueOf(c);
        if (value < 0) return std::nullopt;
      }
      group = (group << 6) | static_cast<uint32_t>(value);
    }
    out.push_back(static_cast<uint8_t>(group >> 16));
    if (padding < 2) out.push_back(static_cast<uint8_t>(group >> 8));
    if (padding < 1) out.push_back(static_cast<uint8_t>(group));
  }
  return out;
}

}  // namespace kessmar
