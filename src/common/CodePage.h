// Conversions between Windows-1252 single-byte text (the tables' text encoding) and Unicode.
//
// The five bytes that Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1
// control characters of the same value, both ways, so every byte string survives a round trip
// through UTF-8 unchanged.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace kessmar {

// Every byte becomes its Unicode character in UTF-8. Never fails.
std::string Cp1252ToUtf8(std::string_view text);

// Decodes UTF-8; a character that Windows-1252 cannot hold, and every byte of an invalid or
// truncated UTF-8 sequence, becomes '?'. Never fails.
std::string Utf8ToCp1252(std::string_view utf8);

// Decodes UTF-16LE given as raw bytes (an odd final byte is ignored); characters outside
// Windows-1252 and unpaired surrogates become '?'. Never fails.
std::string Utf16LeToCp1252(std::string_view utf16le);

// True when text is made of well-formed UTF-8 sequences (a lead byte and its continuation bytes),
// so that it need not be read as Windows-1252.
bool IsUtf8(std::string_view text);

// Appends Cp1252ToUtf8(text) to out, for callers that reuse one buffer.
void AppendCp1252AsUtf8(std::string_view text, std::string& out);

// True when text holds a byte outside 7-bit ASCII, i.e. its UTF-8 form differs from it.
inline bool HasNonAscii(std::string_view text) {
  uint64_t bits = 0;
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {  // eight bytes at a time
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    bits |= word;
  }
  for (; i < text.size(); ++i) bits |= static_cast<unsigned char>(text[i]);
  return (bits & 0x8080808080808080u) != 0;
}

}  // namespace kessmar
