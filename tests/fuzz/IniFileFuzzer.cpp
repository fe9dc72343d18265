// Fuzz target: any bytes as a settings file, and one key written into it. The input's first line
// is "section|key|value" (a 0x01 byte in it stands for a line break); the rest is the file.
// After the write the key reads as written, every other key of the file reads as before, and
// writing the same again changes no byte. A name or value the file cannot hold is refused
// without touching the file.
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/IniFile.h"
#include "common/Text.h"
#include "fuzz/FuzzTarget.h"
#include "support/TempDir.h"

using namespace kessmar;

namespace {

using Key = std::pair<std::string, std::string>;  // section, key

// The keys a plain reading of the file finds, each under the section it stands in. Kept few,
// since every read opens the file again.
std::vector<Key> KeysOf(std::string_view file) {
  std::set<Key> keys;
  std::string section;
  while (!file.empty() && keys.size() < 48) {
    const size_t end = file.find('\n');
    const std::string_view line = Trim(file.substr(0, end));
    file.remove_prefix(end == std::string_view::npos ? file.size() : end + 1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      section = Trim(line.substr(1, line.size() - 2));
    } else if (const size_t eq = line.find('='); eq != std::string_view::npos) {
      keys.emplace(section, Trim(line.substr(0, eq)));
    }
  }
  return {keys.begin(), keys.end()};
}

std::string Unescaped(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\x01') c = '\n';
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const testing::TempDir folder;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const size_t lineEnd = input.find('\n');
  if (lineEnd == std::string_view::npos) return 0;
  const std::string_view header = input.substr(0, lineEnd);
  const size_t bar1 = header.find('|');
  const size_t bar2 = bar1 == std::string_view::npos ? bar1 : header.find('|', bar1 + 1);
  if (bar2 == std::string_view::npos) return 0;
  const std::string section = Unescaped(header.substr(0, bar1));
  const std::string key = Unescaped(header.substr(bar1 + 1, bar2 - bar1 - 1));
  const std::string value = Unescaped(header.substr(bar2 + 1));
  const std::string_view content = input.substr(lineEnd + 1);

  testing::WriteFile(folder / "settings.ini", content);
  const IniFile ini(folder / "settings.ini");
  const std::vector<Key> keys = KeysOf(content);
  std::vector<std::optional<std::string>> before;
  for (const auto& [s, k] : keys) before.push_back(ini.Read(s, k));

  try {
    ini.Write(section, key, value);
  } catch (const std::invalid_argument&) {
    FUZZ_CHECK(testing::ReadFile(ini.Path()) == content);
    return 0;
  }
  FUZZ_CHECK(ini.Read(section, key) == std::string(Trim(value)));
  for (size_t i = 0; i < keys.size(); ++i) {
    const auto& [s, k] = keys[i];
    if (EqualsIgnoringCase(s, section) && EqualsIgnoringCase(k, key)) continue;
    FUZZ_CHECK(ini.Read(s, k) == before[i]);
  }
  const std::string written = testing::ReadFile(ini.Path());
  ini.Write(section, key, value);
  FUZZ_CHECK(testing::ReadFile(ini.Path()) == written);
  return 0;
}
