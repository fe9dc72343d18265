#include "update/ControlFile.h"

#include <charconv>

#include "common/Text.h"
#include "platform/Files.h"

namespace kessmar {
namespace {

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

}  // namespace

ControlFile ControlFile::Parse(std::string_view text) {
  ControlFile file;
  std::string section;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[') {
      const auto close = line.find(']');
      section = ToLowerAscii(
          Trim(line.substr(1, close == std::string_view::npos ? line.npos : close - 1)));
      ++file.sectionCount_;
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    const std::string_view key = Trim(line.substr(0, eq));
    if (key.empty()) continue;
    file.values_.try_emplace({section, ToLowerAscii(key)}, Unquote(Trim(line.substr(eq + 1))));
  }
  return file;
}

ControlFile ControlFile::Load(const std::filesystem::path& path) {
  try {
    if (auto text = platform::ReadFileIfPresent(path)) return Parse(*text);
  } catch (const platform::FileError&) {
    // Unreadable reads as empty, like a missing file.
  }
  return ControlFile();
}

std::optional<std::string> ControlFile::Find(std::string_view section, std::string_view key) const {
  const auto it = values_.find({ToLowerAscii(Trim(section)), ToLowerAscii(Trim(key))});
  if (it == values_.end()) return std::nullopt;
  return it->second;
}

std::string ControlFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  if (auto value = Find(section, key)) return *value;
  return std::string(fallback);
}

int32_t ControlFile::ReadInteger(std::string_view section, std::string_view key,
                                 int32_t fallback) const {
  const auto value = Find(section, key);
  if (!value) return fallback;
  return ParseDecimalInt32(*value).value_or(fallback);
}

bool ControlFile::ReadBool(std::string_view section, std::string_view key, bool fallback) const {
  return ReadInteger(section, key, fallback ? 1 : 0) == 1;
}

std::optional<int32_t> ParseDecimalInt32(std::string_view text) {
  text = Trim(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace kessmar
