// A four-part program version as a version resource records it.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace kessmar {

struct VersionNumber {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t release = 0;
  uint16_t build = 0;

  // From the two 32-bit words of a fixed version part: high = major << 16 | minor,
  // low = release << 16 | build.
  static VersionNumber FromWords(uint32_t high, uint32_t low) {
    return {static_cast<uint16_t>(high >> 16), static_cast<uint16_t>(high & 0xFFFF),
            static_cast<uint16_t>(low >> 16), static_cast<uint16_t>(low & 0xFFFF)};
  }
  uint32_t HighWord() const { return (uint32_t{major} << 16) | minor; }
  uint32_t LowWord() const { return (uint32_t{release} << 16) | build; }

  // Component 0 major, 1 minor, 2 release, 3 build; 0 for any other index.
  uint16_t Component(int index) const {
    switch (index) {
      case 0:
        return major;
      case 1:
        return minor;
      case 2:
        return release;
      case 3:
        return build;
      default:
        return 0;
    }
  }

  // "major.minor.release.build" in decimal.
  std::string ToString() const {
    return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(release) +
           "." + std::to_string(build);
  }

  // Orders versions part by part, major first, so that a newer version compares greater.
  friend auto operator<=>(const VersionNumber&, const VersionNumber&) = default;
};

}  // namespace kessmar
