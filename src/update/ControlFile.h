// The update control file: INI text read without regard to the case of section and key names.
//
// Lines are "[section]" headers and "key=value" lines; blanks around names and values are
// dropped, as is one pair of quotes around a whole value. Lines starting with ";" or "#" and
// lines without "=" are ignored. When a key occurs more than once in a section (or a section
// more than once), the first occurrence counts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace kessmar {

class ControlFile {
 public:
  ControlFile() = default;

  // Reads any text; never fails.
  static ControlFile Parse(std::string_view text);

  // The file at path; a missing or unreadable file reads as an empty control file. Never throws
  // except std::bad_alloc.
  static ControlFile Load(const std::filesystem::path& path);

  // The value, or nullopt when the key is missing.
  std::optional<std::string> Find(std::string_view section, std::string_view key) const;
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback = {}) const;
  // A decimal 32-bit integer (optional sign); fallback when missing or unreadable.
  int32_t ReadInteger(std::string_view section, std::string_view key, int32_t fallback) const;
  // True only when the key's integer value is exactly 1 (a missing key reads as fallback).
  bool ReadBool(std::string_view section, std::string_view key, bool fallback) const;

  // How many section headers the text holds.
  size_t SectionCount() const { return sectionCount_; }

 private:
  std::map<std::pair<std::string, std::string>, std::string> values_;
  size_t sectionCount_ = 0;
};

// text as a decimal 32-bit integer (blanks around it allowed, optional sign); nullopt when it is
// not one.
std::optional<int32_t> ParseDecimalInt32(std::string_view text);

}  // namespace kessmar
