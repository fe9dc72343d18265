#include "scanner/PortEntries.h"
#include "common/Text.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace kessmar {
namespace {

char Upper(char c) {
  return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
}

// Text order ignoring ASCII letter case: COM10 sorts before COM2.
bool LessIgnoringCase(std::string_view a, std::string_view b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                      [](char x, char y) { return Upper(x) < Upper(y); });
}

std::optional<int> ParseDecimal(std::string_view text) {
  int value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

bool IsScannerPortEntry(std::string_view portEntry) {
  std::string upper(portEntry);
  std::transform(upper.begin(), upper.end(), upper.begin(), Upper);
  return upper.find("OPTICON") != std::string::npos;
}

std::string PortNumberText(std::string_view portEntry) {
  std::string_view rest = portEntry.size() > 3 ? portEntry.substr(3) : std::string_view{};
  return std::string(rest.substr(0, rest.find(": =")));
}

std::optional<int> PortNumberOfEntry(std::string_view portEntry) {
  const auto n = ParseDecimal(PortNumberText(portEntry));
  if (!n || *n <= 0) return std::nullopt;
  return n;
}

std::vector<std::string> ComboEntriesFor(const std::vector<std::string>& portList) {
  std::vector<std::string> entries;
  entries.reserve(portList.size());
  for (const auto& portEntry : portList) {
    std::string entry = "COM" + PortNumberText(portEntry);
    if (IsScannerPortEntry(portEntry)) entry += " (Scanner)";
    entries.push_back(std::move(entry));
  }
  std::stable_sort(entries.begin(), entries.end(), [](const std::string& a, const std::string& b) {
    return LessIgnoringCase(a, b);
  });
  return entries;
}

std::optional<int> ComboSelectionFor(const std::vector<std::string>& entries,
                                     std::string_view comPort) {
  if (!comPort.empty()) {
    for (size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].find(comPort) != std::string::npos) return static_cast<int>(i);
    }
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i].find("Scanner") != std::string::npos) return static_cast<int>(i);
  }
  return std::nullopt;
}

std::optional<int> PortNumberOfComboEntry(std::string_view entry) {
  std::string_view rest = entry.size() > 3 ? entry.substr(3) : std::string_view{};
  const auto blank = rest.find(' ');
  rest = blank == std::string_view::npos ? rest.substr(0, 10) : rest.substr(0, blank + 1);
  return ParseDecimal(Trim(rest, " "));
}

std::string CutAtFirstBlank(std::string_view text) {
  return std::string(text.substr(0, text.find(' ')));
}

}  // namespace kessmar
