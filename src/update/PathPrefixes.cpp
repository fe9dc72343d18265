#include "update/PathPrefixes.h"

namespace kessmar {

std::string PrefixFolderText(const std::string& folder) {
  std::string text = folder;
  if (!text.empty() && text.back() != '/') text += '/';
  if (text.size() > 1 && text.front() == '/') {
    text.pop_back();
  } else {
    text += '.';
  }
  return text;
}

std::string ExpandPathPrefixes(std::string_view text, const PrefixFolders& folders) {
  std::string s(text);
  constexpr size_t kNone = std::string::npos;
  size_t open = kNone;  // the pending "{"
  size_t i = 0;
  while (i < s.size()) {
    if (s[i] == '{' && open == kNone) {
      open = i++;
      continue;
    }
    if (s[i] == '}' && open != kNone) {
      std::string name = s.substr(open + 1, i - open - 1);
      for (char& c : name) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      }
      const std::string replacement = PrefixFolderText(folders(name).value_or(std::string()));
      const size_t start = open;
      open = kNone;
      s.replace(start, i - start + 1, replacement);
      i = start + replacement.size();
      continue;
    }
    ++i;
  }
  return s;
}

}  // namespace kessmar
