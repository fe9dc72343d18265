#include "common/CodePage.h"
#include "common/LittleEndian.h"

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

char32_t ByteToCodePoint(unsigned char b) {
  if (b >= 0x80 && b <= 0x9F) return kHighControls[b - 0x80];
  return b;
}

char CodePointToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (size_t i = 0; i < kHighControls.size(); ++i) {
    if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
  }
  return '?';
}

void AppendUtf8(char32_t cp, std::string& out) {
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

}  // namespace

void AppendCp1252AsUtf8(std::string_view text, std::string& out) {
  for (unsigned char c : text) AppendUtf8(ByteToCodePoint(c), out);
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendCp1252AsUtf8(text, out);
  return out;
}

std::string Utf8ToCp1252(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  size_t i = 0;
  const size_t n = utf8.size();
  auto cont = [&](size_t k) {
    return k < n && (static_cast<unsigned char>(utf8[k]) & 0xC0) == 0x80;
  };
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
      ++i;
      continue;
    }
    size_t len = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2, cp = c & 0x1F, min = 0x80;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3, cp = c & 0x0F, min = 0x800;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4, cp = c & 0x07, min = 0x10000;
    }
    size_t k = 1;
    while (len != 0 && k < len && cont(i + k)) {
      cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
      ++k;
    }
    if (len == 0 || k < len || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      // One '?' for the offending byte; decoding resumes at the next byte.
      out.push_back('?');
      ++i;
      continue;
    }
    out.push_back(CodePointToByte(cp));
    i += len;
  }
  return out;
}

std::string Utf16LeToCp1252(std::string_view utf16le) {
  std::string out;
  const size_t units = utf16le.size() / 2;
  out.reserve(units);
  auto unit = [&](size_t k) {
    return static_cast<char16_t>(
        le::Load16(reinterpret_cast<const uint8_t*>(utf16le.data()) + 2 * k));
  };
  for (size_t k = 0; k < units; ++k) {
    const char16_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 &&
        unit(k + 1) <= 0xDFFF) {
      out.push_back('?');  // a pair: a character beyond the code page
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      out.push_back('?');
    } else {
      out.push_back(CodePointToByte(u));
    }
  }
  return out;
}

bool IsUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    if (c >= 0x80) {
      if ((c >> 5) == 0x6) {
        extra = 1;
      } else if ((c >> 4) == 0xE) {
        extra = 2;
      } else if ((c >> 3) == 0x1E) {
        extra = 3;
      } else {
        return false;
      }
      if (i + extra >= text.size()) return false;
      for (size_t k = 1; k <= extra; ++k) {
        if ((static_cast<unsigned char>(text[i + k]) >> 6) != 0x2) return false;
      }
    }
    i += extra + 1;
  }
  return true;
}

}  // namespace kessmar
