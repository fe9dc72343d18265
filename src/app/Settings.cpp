#include "app/Settings.h"

#include <charconv>
#include <exception>

namespace kessmar {

std::optional<int32_t> ParseSettingsInteger(std::string_view text) {
  int base = 10;
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.starts_with('$')) {
    base = 16;
    text.remove_prefix(1);
  } else if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (negative) value = -value;
  // Hexadecimal values up to FFFFFFFF are 32-bit patterns, as a Windows program reads them.
  if (base == 16 && !negative && value > INT32_MAX && value <= UINT32_MAX) {
    return static_cast<int32_t>(static_cast<uint32_t>(value));
  }
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

bool Settings::ReadBool(std::string_view key, bool defaultValue) const {
  return ReadInteger(key, defaultValue ? 1 : 0) != 0;
}

int32_t Settings::ReadInteger(std::string_view key, int32_t defaultValue) const {
  try {
    const auto text = file_.Read(settings::kSection, key);
    if (!text) return defaultValue;
    return ParseSettingsInteger(*text).value_or(defaultValue);
  } catch (const std::exception&) {
    return defaultValue;
  }
}

std::string Settings::ReadText(std::string_view key, std::string_view defaultValue) const {
  try {
    return file_.Read(settings::kSection, key).value_or(std::string(defaultValue));
  } catch (const std::exception&) {
    return std::string(defaultValue);
  }
}

void Settings::WriteBool(std::string_view key, bool value) const {
  file_.Write(settings::kSection, key, value ? "1" : "0");
}

void Settings::WriteInteger(std::string_view key, int32_t value) const {
  file_.Write(settings::kSection, key, std::to_string(value));
}

void Settings::WriteText(std::string_view key, std::string_view value) const {
  file_.Write(settings::kSection, key, value);
}

}  // namespace kessmar
