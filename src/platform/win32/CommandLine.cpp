#include "platform/win32/CommandLine.h"

namespace kessmar::platform::win32 {

std::wstring QuoteArgument(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    return argument;
  }
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    // Backslashes before a quote are doubled, and the quote itself escaped.
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  // Backslashes before the closing quote are doubled too.
  quoted.append(backslashes * 2, L'\\');
  quoted += L'"';
  return quoted;
}

std::wstring BuildCommandLine(const std::wstring& program, const std::vector<std::wstring>& args) {
  std::wstring line = QuoteArgument(program);
  for (const auto& a : args) {
    line += L' ';
    line += QuoteArgument(a);
  }
  return line;
}

}  // namespace kessmar::platform::win32
