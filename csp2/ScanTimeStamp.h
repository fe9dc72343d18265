// The 4 time-stamp bytes of a scan: a little-endian 32-bit word of bit fields holding the local
// date and time at which the scan was taken.
//   bits  0- 5 second (0-59)    bits 12-16 hour (0-23)    bits 22-25 month (1-12)
//   bits  6-11 minute (0-59)    bits 17-21 day (1-31)     bits 26-31 year - 2000 (0-63)
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>

namespace kessmar::csp2 {

// The stamp of a local time; years outside 2000 to 2063 are clamped to that range.
std::array<uint8_t, 4> EncodeScanTime(const std::tm& local);

// "yyyy/mm/dd hh:nn:ss" (19 characters) with the fields as stored, valid or not.
std::string FormatScanTime(const uint8_t* stamp);

// True when every field of the stamp lies in its range (the day is not checked against the
// month's length).
bool IsValidScanTime(const uint8_t* stamp);

}  // namespace kessmar::csp2
