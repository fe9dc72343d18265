// The program's settings: section "SYSTEM" of the settings file, read with defaults and written
// one key at a time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/IniFile.h"

namespace kessmar {

namespace settings {
inline constexpr std::string_view kSection = "SYSTEM";
inline constexpr std::string_view kAuto = "AUTO";
inline constexpr std::string_view kSamenvoegen = "SAMENVOEGEN";
inline constexpr std::string_view kActie = "ACTIE";
inline constexpr std::string_view kConnect = "CONNECT";
inline constexpr std::string_view kComPort = "COMPORT";
inline constexpr std::string_view kVemoServer = "VEMOSERVER";
}  // namespace settings

// Parses an integer as the settings file stores it: decimal (optionally signed), "$" hexadecimal
// or "0x" hexadecimal. nullopt when the text is none of these or does not fit 32 bits.
std::optional<int32_t> ParseSettingsInteger(std::string_view text);

// Typed access to section "SYSTEM" of one settings file. Reads never throw: a missing file, key
// or unparsable value gives the default. Writes open, write one key and close the file, and
// throw std::runtime_error when that fails (callers ignore it, keeping their value in memory).
class Settings {
 public:
  explicit Settings(std::filesystem::path path) : file_(std::move(path)) {}

  const std::filesystem::path& Path() const { return file_.Path(); }

  // Booleans are integers; any non-zero value is true.
  bool ReadBool(std::string_view key, bool defaultValue) const;
  int32_t ReadInteger(std::string_view key, int32_t defaultValue) const;
  std::string ReadText(std::string_view key, std::string_view defaultValue) const;

  // Booleans are written as "1" or "0", integers in decimal, texts as they are.
  void WriteBool(std::string_view key, bool value) const;
  void WriteInteger(std::string_view key, int32_t value) const;
  void WriteText(std::string_view key, std::string_view value) const;

 private:
  IniFile file_;
};

}  // namespace kessmar
