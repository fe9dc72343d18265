// Little-endian loads and stores: the byte order of the batch file, the scanner protocol, version
// resources and the Windows file formats we read. The one place that knows it.
//
// Load16/Load32 and Store16/Store32 work on a pointer the caller has checked (hot paths);
// Load16At/Load32At check the bounds themselves and throw std::out_of_range naming what.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace kessmar::le {

inline uint16_t Load16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

inline uint32_t Load32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline void Store16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

inline void Store32(uint8_t* p, uint32_t value) {
  Store16(p, static_cast<uint16_t>(value));
  Store16(p + 2, static_cast<uint16_t>(value >> 16));
}

inline void Append16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

inline void Append32(std::vector<uint8_t>& out, uint32_t value) {
  Append16(out, static_cast<uint16_t>(value));
  Append16(out, static_cast<uint16_t>(value >> 16));
}

namespace detail {
[[noreturn]] inline void ThrowPastEnd(size_t at, size_t total) {
  throw std::out_of_range("little-endian value at " + std::to_string(at) + " past the end of " +
                          std::to_string(total) + " bytes");
}
inline void CheckRange(std::span<const uint8_t> bytes, size_t at, size_t size) {
  if (size > bytes.size() || at > bytes.size() - size) ThrowPastEnd(at, bytes.size());
}
}  // namespace detail

// The value at offset at of bytes. Throws std::out_of_range when it does not lie wholly inside.
inline uint16_t Load16At(std::span<const uint8_t> bytes, size_t at) {
  detail::CheckRange(bytes, at, 2);
  return Load16(bytes.data() + at);
}

inline uint32_t Load32At(std::span<const uint8_t> bytes, size_t at) {
  detail::CheckRange(bytes, at, 4);
  return Load32(bytes.data() + at);
}

}  // namespace kessmar::le
