// Text conversions and error texts shared by the Windows implementations of src/platform.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace kessmar::platform::win32 {

// UTF-8 to UTF-16 and back; invalid sequences become U+FFFD.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// The system's text for an error code (GetLastError()), without the trailing line break, and
// with the code itself when the system has no text for it.
std::string ErrorText(DWORD error);

}  // namespace kessmar::platform::win32
