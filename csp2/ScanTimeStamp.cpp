#include "csp2/ScanTimeStamp.h"
#include "common/LittleEndian.h"

#include <algorithm>
#include <cstdio>

namespace kessmar::csp2 {
namespace {

struct Fields {
  unsigned year, month, day, hour, minute, second;
};

Fields Decode(const uint8_t* stamp) {
  const uint32_t word = le::Load32(stamp);
  return {2000 + (word >> 26), (word >> 22) & 0x0F, (word >> 17) & 0x1F,
          (word >> 12) & 0x1F, (word >> 6) & 0x3F,  word & 0x3F};
}

}  // namespace

std::array<uint8_t, 4> EncodeScanTime(const std::tm& local) {
  uint32_t year = static_cast<uint32_t>(std::clamp(local.tm_year + 1900, 2000, 2063) - 2000);
  auto field = [](int value, uint32_t mask) { return static_cast<uint32_t>(value) & mask; };
  uint32_t word = (year << 26) | (field(local.tm_mon + 1, 0x0F) << 22) |
                  (field(local.tm_mday, 0x1F) << 17) | (field(local.tm_hour, 0x1F) << 12) |
                  (field(local.tm_min, 0x3F) << 6) | field(std::min(local.tm_sec, 59), 0x3F);
  std::array<uint8_t, 4> bytes{};
  le::Store32(bytes.data(), word);
  return bytes;
}

std::string FormatScanTime(const uint8_t* stamp) {
  Fields f = Decode(stamp);
  char text[32];
  std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u", f.year, f.month, f.day, f.hour,
                f.minute, f.second);
  return text;
}

bool IsValidScanTime(const uint8_t* stamp) {
  Fields f = Decode(stamp);
  return f.month >= 1 && f.month <= 12 && f.day >= 1 && f.hour <= 23 && f.minute <= 59 &&
         f.second <= 59;
}

}  // namespace kessmar::csp2
