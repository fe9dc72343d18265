// Windows command lines: a program receives one string and splits it by the C runtime's rules.
#pragma once

#include <string>
#include <vector>

namespace kessmar::platform::win32 {

// One argument quoted so that CommandLineToArgvW and the C runtime give it back unchanged.
std::wstring QuoteArgument(const std::wstring& argument);

// The command line for program and args.
std::wstring BuildCommandLine(const std::wstring& program, const std::vector<std::wstring>& args);

}  // namespace kessmar::platform::win32
