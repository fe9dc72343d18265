// Small text helpers shared by the modules: names and keys are matched the way the program has
// always matched them, ignoring the case of ASCII letters only.
#pragma once

#include <string>
#include <string_view>

namespace kessmar {

// text without the characters of `blanks` at either end.
std::string_view Trim(std::string_view text, std::string_view blanks = " \t\r");

// True when a and b differ at most in the case of ASCII letters.
bool EqualsIgnoringCase(std::string_view a, std::string_view b);

// text with its ASCII letters in lower or upper case; other bytes stay as they are.
std::string ToLowerAscii(std::string_view text);
std::string ToUpperAscii(std::string_view text);

}  // namespace kessmar
