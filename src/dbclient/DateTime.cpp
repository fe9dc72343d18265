#include "dbclient/DateTime.h"

#include <cstdio>
#include <stdexcept>

#include "platform/LocalTime.h"

namespace kessmar::dbclient {
namespace {

bool IsLeap(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// Reads exactly `digits` decimal digits at pos.
bool ReadNumber(std::string_view text, size_t& pos, size_t digits, int& value) {
  if (pos + digits > text.size()) return false;
  value = 0;
  for (size_t i = 0; i < digits; ++i) {
    const char c = text[pos + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  pos += digits;
  return true;
}

bool Expect(std::string_view text, size_t& pos, char c) {
  if (pos >= text.size() || text[pos] != c) return false;
  ++pos;
  return true;
}

[[noreturn]] void NotDateTime(std::string_view text) {
  throw std::invalid_argument("\"" + std::string(text) + "\" is not a date and time");
}

}  // namespace

DateTime DateTime::Now() {
  return FromTimePoint(std::chrono::system_clock::now());
}

DateTime DateTime::FromTimePoint(std::chrono::system_clock::time_point when) {
  const std::tm local = platform::LocalTime(when);
  const auto sinceEpoch = when.time_since_epoch();
  auto micro = std::chrono::duration_cast<std::chrono::microseconds>(
                   sinceEpoch - std::chrono::floor<std::chrono::seconds>(sinceEpoch))
                   .count();
  DateTime result;
  result.year = local.tm_year + 1900;
  result.month = local.tm_mon + 1;
  result.day = local.tm_mday;
  result.hour = local.tm_hour;
  result.minute = local.tm_min;
  result.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second stays in its minute
  result.microsecond = static_cast<int>(micro);
  return result;
}

DateTime DateTime::FromText(std::string_view text) {
  DateTime result;
  size_t pos = 0;
  if (!ReadNumber(text, pos, 4, result.year) || !Expect(text, pos, '-') ||
      !ReadNumber(text, pos, 2, result.month) || !Expect(text, pos, '-') ||
      !ReadNumber(text, pos, 2, result.day)) {
    NotDateTime(text);
  }
  result.hour = result.minute = result.second = result.microsecond = 0;
  if (pos < text.size()) {
    if (text[pos] != ' ' && text[pos] != 'T') NotDateTime(text);
    ++pos;
    if (!ReadNumber(text, pos, 2, result.hour) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, result.minute)) {
      NotDateTime(text);
    }
    if (pos < text.size()) {
      if (!Expect(text, pos, ':') || !ReadNumber(text, pos, 2, result.second)) NotDateTime(text);
      if (pos < text.size()) {
        if (!Expect(text, pos, '.')) NotDateTime(text);
        const size_t start = pos;
        int scale = 100000;
        while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && pos - start < 6) {
          result.microsecond += (text[pos] - '0') * scale;
          scale /= 10;
          ++pos;
        }
        if (pos == start || pos != text.size()) NotDateTime(text);
      }
    }
  }
  if (result.year < 1 || result.month < 1 || result.month > 12 || result.day < 1 ||
      result.day > DaysInMonth(result.year, result.month) || result.hour > 23 ||
      result.minute > 59 || result.second > 59) {
    NotDateTime(text);
  }
  return result;
}

std::string DateTime::ToText() const {
  char buffer[48];
  if (microsecond != 0) {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d.%06d", year, month, day,
                  hour, minute, second, microsecond);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour,
                  minute, second);
  }
  return buffer;
}

}  // namespace kessmar::dbclient
