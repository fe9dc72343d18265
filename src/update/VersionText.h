// Program versions as the update control file writes them, held as the two 32-bit words of a
// version resource: high = major * 65536 + minor, low = release * 65536 + build.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace kessmar {

struct VersionWords {
  uint32_t high = 0xFFFFFFFF;
  uint32_t low = 0xFFFFFFFF;

  // A version is invalid when either word is all ones.
  bool Valid() const { return high != 0xFFFFFFFF && low != 0xFFFFFFFF; }
  // "major.minor.release.build" in decimal (an invalid version prints its all-ones words).
  std::string ToString() const;
  // True when this version is newer: the high words, then the low words, compared as signed
  // 32-bit integers.
  bool NewerThan(const VersionWords& other) const;
};

// Reads a version text: up to four decimal numbers joined by "," (when the text holds a comma)
// or "." (otherwise). Missing trailing parts are 0 (1.2 is 1.2.0.0); a text without separator is
// one number n, version n.0.0.0. A part that is not a decimal number from 0 to 65535, or more
// than four parts, leaves the version invalid (a bad fourth part invalidates the low word, and
// with it the version).
VersionWords ReadVersionText(std::string_view text);

// The fixed file version of a program file's version resource; invalid when the file has none.
VersionWords FileVersionOf(const std::filesystem::path& file);

}  // namespace kessmar
