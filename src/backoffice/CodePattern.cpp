#include "backoffice/CodePattern.h"

namespace kessmar {
namespace {

bool Binds(char c) {
  return c >= '1' && c <= '8';
}

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

// Characters first .. first + width - 1 of code, as far as it has them.
std::string Part(const std::vector<std::string_view>& code, size_t first, size_t width) {
  std::string part;
  for (size_t i = first; i < code.size() && i < first + width; ++i) part += code[i];
  return part;
}

}  // namespace

std::vector<std::string_view> Utf8Characters(std::string_view text) {
  std::vector<std::string_view> characters;
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    // A cut or stray byte counts as a character of its own rather than swallowing the next.
    for (size_t k = 1; k < length; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
        length = 1;
        break;
      }
    }
    characters.push_back(text.substr(i, length));
    i += length;
  }
  return characters;
}

std::array<std::string, 5> ArticleCodeParts(std::string_view code) {
  const std::vector<std::string_view> c = Utf8Characters(code);
  return {Part(c, 0, 1), Part(c, 1, 2), Part(c, 3, 2), Part(c, 5, 2), Part(c, 7, 1)};
}

bool MatchCodePart(std::string_view part, std::string_view pattern) {
  if (part.empty()) return false;
  if (Contains(pattern, "!" + std::string(part))) return false;
  if (Contains(pattern, part)) return true;
  if (!Contains(pattern, "*")) return false;
  const std::vector<std::string_view> characters = Utf8Characters(part);
  if (Contains(pattern, std::string(characters[0]) + '*')) return true;
  if (characters.size() > 1 && Contains(pattern, '*' + std::string(characters[1]))) return true;
  // The bytes next to a star: a multi-byte character never is one of 1 to 8.
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '*') continue;
    const bool boundBefore = i > 0 && Binds(pattern[i - 1]);
    const bool boundAfter = i + 1 < pattern.size() && Binds(pattern[i + 1]);
    if (!boundBefore && !boundAfter) return true;
  }
  return false;
}

}  // namespace kessmar
