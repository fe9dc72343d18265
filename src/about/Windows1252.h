// Conversions between the UTF-16 text of version resources and the single-byte Windows-1252
// text that the version reader hands out (as VerQueryValueA does on a Western Windows).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kessmar {

// UTF-16LE given as raw bytes (an odd final byte is ignored) to Windows-1252; characters the
// code page lacks, and unpaired surrogates, become '?'. Never fails.
std::string Utf16LeBytesToWindows1252(std::span<const uint8_t> utf16le);

// Windows-1252 text to UTF-8, every byte as its Unicode character (the five bytes the code
// page leaves undefined as the C1 controls of the same value). Never fails.
std::string Windows1252ToUtf8(std::string_view text);

}  // namespace kessmar
