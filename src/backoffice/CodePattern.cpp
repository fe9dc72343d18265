#include "backoffice/CodePattern.h"

namespace kessmar {
namespace {

bool Binds(char c) {
  return c >= '1' && c <= '8';
}

bool Contains(std::string_view text, std::string_view what) {
  return text.find(what) != std::string_view::npos;
}

std::string Part(std::string_view code, size_t first, size_t width) {
  if (first >= code.size()) return "";
  return std::string(code.substr(first, width));
}

}  // namespace

std::array<std::string, 5> ArticleCodeParts(std::string_view code) {
  return {Part(code, 0, 1), Part(code, 1, 2), Part(code, 3, 2), Part(code, 5, 2), Part(code, 7, 1)};
}

bool MatchCodePart(std::string_view part, std::string_view pattern) {
  if (part.empty()) return false;
  if (Contains(pattern, "!" + std::string(part))) return false;
  if (Contains(pattern, part)) return true;
  if (!Contains(pattern, "*")) return false;
  if (Contains(pattern, std::string{part[0], '*'})) return true;
  if (part.size() > 1 && Contains(pattern, std::string{'*', part[1]})) return true;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] != '*') continue;
    const bool boundBefore = i > 0 && Binds(pattern[i - 1]);
    const bool boundAfter = i + 1 < pattern.size() && Binds(pattern[i + 1]);
    if (!boundBefore && !boundAfter) return true;
  }
  return false;
}

}  // namespace kessmar
