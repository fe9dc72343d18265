#include "update/VersionText.h"

#include <charconv>
#include <optional>
#include <vector>

#include "common/Text.h"
#include "version/VersionInfoReader.h"

namespace kessmar {
namespace {

std::optional<uint16_t> Part(std::string_view text) {
  text = Trim(text, " \t");
  if (text.empty()) return std::nullopt;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value > 0xFFFF) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(value);
}

}  // namespace

std::string VersionWords::ToString() const {
  return std::to_string(high >> 16) + "." + std::to_string(high & 0xFFFF) + "." +
         std::to_string(low >> 16) + "." + std::to_string(low & 0xFFFF);
}

bool VersionWords::NewerThan(const VersionWords& other) const {
  const auto h = static_cast<int32_t>(high);
  const auto oh = static_cast<int32_t>(other.high);
  return h > oh || (h == oh && static_cast<int32_t>(low) > static_cast<int32_t>(other.low));
}

VersionWords ReadVersionText(std::string_view text) {
  const char separator = text.find(',') != std::string_view::npos   ? ','
                         : text.find('.') != std::string_view::npos ? '.'
                                                                    : '\0';
  std::vector<std::string_view> parts;
  if (separator == '\0') {
    parts.push_back(text);
  } else {
    size_t start = 0;
    for (;;) {
      const size_t at = text.find(separator, start);
      parts.push_back(text.substr(start, at == std::string_view::npos ? text.npos : at - start));
      if (at == std::string_view::npos) break;
      start = at + 1;
    }
  }
  VersionWords invalid;
  if (parts.size() > 4) return invalid;
  uint16_t numbers[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < parts.size(); ++i) {
    const auto value = Part(parts[i]);
    if (!value) {
      if (i == 3) {
        // A bad build number spoils only the low word.
        return VersionWords{(uint32_t{numbers[0]} << 16) | numbers[1], 0xFFFFFFFF};
      }
      return invalid;
    }
    numbers[i] = *value;
  }
  return VersionWords{(uint32_t{numbers[0]} << 16) | numbers[1],
                      (uint32_t{numbers[2]} << 16) | numbers[3]};
}

VersionWords FileVersionOf(const std::filesystem::path& file) {
  const VersionInfoReader reader(file);
  if (!reader.HasVersionInfo()) return VersionWords{};
  const VersionNumber& v = reader.FileVersionNumber();
  return VersionWords{v.HighWord(), v.LowWord()};
}

}  // namespace kessmar
