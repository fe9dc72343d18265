#include "common/IniFile.h"

#include <optional>
#include <stdexcept>
#include <vector>

#include "common/Text.h"
#include "platform/Files.h"

namespace kessmar {
namespace {

// "[name]" gives name; anything else is not a section header.
std::optional<std::string_view> SectionName(std::string_view line) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[' || line.back() != ']') return std::nullopt;
  return Trim(line.substr(1, line.size() - 2));
}

// "key=value" gives key; comments and other lines give nothing.
std::optional<std::string_view> KeyName(std::string_view line) {
  const auto trimmed = Trim(line);
  if (trimmed.empty() || trimmed.front() == ';' || trimmed.front() == '#') return std::nullopt;
  const auto eq = line.find('=');
  if (eq == std::string_view::npos) return std::nullopt;
  return Trim(line.substr(0, eq));
}

std::vector<std::string> SplitLines(std::string_view content) {
  std::vector<std::string> lines;
  while (!content.empty()) {
    const auto end = content.find('\n');
    std::string_view line = content.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    content.remove_prefix(end + 1);
  }
  return lines;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// Whether name reads back as itself from the line it is written on.
bool IsPlainName(std::string_view name) {
  return !name.empty() && Trim(name) == name && !HasLineBreak(name);
}

// Refuses an entry that would read back as something else, or break into lines of its own.
void CheckEntry(std::string_view section, std::string_view key, std::string_view value) {
  if (!IsPlainName(section)) {
    throw std::invalid_argument("Settings section \"" + std::string(section) +
                                "\" cannot be written");
  }
  if (!IsPlainName(key) || key.find('=') != std::string_view::npos ||
      key.find_first_of(";#[") == 0) {
    throw std::invalid_argument("Settings key \"" + std::string(key) + "\" cannot be written");
  }
  if (HasLineBreak(value)) {
    throw std::invalid_argument("Settings value of \"" + std::string(key) +
                                "\" holds a line break");
  }
}

}  // namespace

std::optional<std::string> IniFile::Read(std::string_view section, std::string_view key) const {
  std::vector<std::string> lines;
  std::optional<std::string> before;
  try {
    before = platform::ReadFileIfPresent(path_);
    lines = SplitLines(before.value_or(std::string()));
  } catch (const platform::FileError&) {
    return std::nullopt;
  }
  bool inSection = false;
  for (const auto& line : lines) {
    if (auto name = SectionName(line)) {
      inSection = EqualsIgnoringCase(*name, section);
    } else if (auto name = KeyName(line); inSection && name && EqualsIgnoringCase(*name, key)) {
      return std::string(Trim(std::string_view(line).substr(line.find('=') + 1)));
    }
  }
  return std::nullopt;
}

void IniFile::Write(std::string_view section, std::string_view key, std::string_view value) const {
  CheckEntry(section, key, value);
  // A file that is there but cannot be read is never replaced: that would lose every other key.
  std::vector<std::string> lines;
  std::optional<std::string> before;
  try {
    before = platform::ReadFileIfPresent(path_);
    lines = SplitLines(before.value_or(std::string()));
  } catch (const platform::FileError& e) {
    throw std::runtime_error("Cannot read settings file \"" + path_.string() + "\": " + e.what());
  }
  const std::string entry = std::string(key) + "=" + std::string(value);

  // Find the section; replace the key there or add it after the section's last key.
  bool inSection = false;
  bool done = false;
  std::optional<size_t> insertAt;
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    if (auto name = SectionName(lines[i])) {
      if (inSection) break;
      inSection = EqualsIgnoringCase(*name, section);
      if (inSection) insertAt = i + 1;
    } else if (inSection) {
      if (auto name = KeyName(lines[i]); name && EqualsIgnoringCase(*name, key)) {
        lines[i] = entry;
        done = true;
      } else if (!Trim(lines[i]).empty()) {
        insertAt = i + 1;
      }
    }
  }
  if (!done) {
    if (insertAt) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), entry);
    } else {
      if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
      lines.push_back("[" + std::string(section) + "]");
      lines.push_back(entry);
    }
  }

  // Plain strings, not a stream: the tool's start writes settings, and a stream's locale
  // set-up would be most of what the standard library costs it in memory.
  std::string text;
  for (const auto& line : lines) text.append(line).append("\r\n");
  // A value written again unchanged leaves the file alone: the start-up writes the check boxes'
  // settings back, and a safe replacement costs two waits for the disk.
  if (before && *before == text) return;

  try {
    platform::ReplaceFileContent(path_, text);
  } catch (const platform::FileError& e) {
    throw std::runtime_error("Cannot write settings file \"" + path_.string() + "\": " + e.what());
  }
}

}  // namespace kessmar
