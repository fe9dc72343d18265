#include "update/UpdateDates.h"
#include "common/Text.h"

#include <charconv>
#include <cstdio>
#include <optional>
#include <vector>

namespace kessmar {
namespace {

// Numbers separated by `separator`, each of 1 to maxDigits[i] digits.
std::optional<std::vector<int>> Numbers(std::string_view text, char separator,
                                        std::initializer_list<size_t> maxDigits) {
  std::vector<int> out;
  auto limit = maxDigits.begin();
  size_t start = 0;
  for (;;) {
    if (limit == maxDigits.end()) return std::nullopt;
    const size_t at = text.find(separator, start);
    const std::string_view part = text.substr(start, at == text.npos ? text.npos : at - start);
    int value = 0;
    const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (part.empty() || part.size() > *limit || error != std::errc() ||
        end != part.data() + part.size() || value < 0) {
      return std::nullopt;
    }
    out.push_back(value);
    ++limit;
    if (at == text.npos) return out;
    start = at + 1;
  }
}

bool LeapYear(int y) {
  return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int DaysInMonth(int y, int m) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && LeapYear(y) ? 29 : kDays[m - 1];
}

}  // namespace

platform::LocalDateTime ReadControlDate(std::string_view date, std::string_view time) {
  const auto d = Numbers(Trim(date, " \t"), '/', {2, 2, 4});
  if (!d || d->size() != 3) return kEarliestDate;
  const int day = (*d)[0], month = (*d)[1], year = (*d)[2];
  if (year < 1 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month)) {
    return kEarliestDate;
  }
  platform::LocalDateTime result{year, month, day, 0, 0, 0};
  const std::string_view t = Trim(time, " \t");
  if (t.empty()) return result;
  const auto parts = Numbers(t, ':', {2, 2, 2});
  if (!parts || parts->size() < 2) return result;
  const int hour = (*parts)[0], minute = (*parts)[1];
  const int second = parts->size() == 3 ? (*parts)[2] : 0;
  if (hour > 23 || minute > 59 || second > 59) return result;
  result.hour = hour;
  result.minute = minute;
  result.second = second;
  return result;
}

std::string FormatDateTime(const platform::LocalDateTime& when) {
  char text[48];
  std::snprintf(text, sizeof text, "%d-%d-%04d %02d:%02d:%02d", when.day, when.month, when.year,
                when.hour, when.minute, when.second);
  return text;
}

}  // namespace kessmar
