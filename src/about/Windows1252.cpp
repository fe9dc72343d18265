#include "Windows1252.h"

#include <array>
#include <cstdint>

namespace kessmar {
namespace {

// Unicode code points of the bytes 0x80-0x9F; the rest of the code page equals Latin-1.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

char ToByte(char16_t unit) {
  if (unit < 0x80 || (unit >= 0xA0 && unit <= 0xFF)) return static_cast<char>(unit);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == unit) return static_cast<char>(0x80 + i);
  }
  return '?';
}

}  // namespace

std::string Utf16LeBytesToWindows1252(std::span<const uint8_t> utf16le) {
  std::string out;
  const size_t units = utf16le.size() / 2;
  out.reserve(units);
  auto unit = [&](size_t k) {
    return static_cast<char16_t>(utf16le[2 * k] | (utf16le[2 * k + 1] << 8));
  };
  for (size_t k = 0; k < units; ++k) {
    const char16_t u = unit(k);
    const bool high = u >= 0xD800 && u <= 0xDBFF;
    if (high && k + 1 < units && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) ++k;  // a pair
    out.push_back(u >= 0xD800 && u <= 0xDFFF ? '?' : ToByte(u));
  }
  return out;
}

std::string Windows1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    const char16_t cp = (c >= 0x80 && c <= 0x9F) ? kHighControls[c - 0x80] : c;
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
  }
  return out;
}

}  // namespace kessmar
