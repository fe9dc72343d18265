// A wall-clock moment as the back office stores it (a timestamp without time zone): date and
// time of day to the microsecond, in local time.
#pragma once

#include <chrono>
#include <compare>
#include <string>
#include <string_view>

namespace kessmar::dbclient {

struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int microsecond = 0;

  // The local time of now, to the microsecond.
  static DateTime Now();
  // The local time of a moment.
  static DateTime FromTimePoint(std::chrono::system_clock::time_point when);

  // "YYYY-MM-DD", optionally followed by " " or "T" and "HH:MM[:SS[.ffffff]]". Throws
  // std::invalid_argument for any other text or an impossible date or time (February 30th,
  // 24:00).
  static DateTime FromText(std::string_view text);
  // "YYYY-MM-DD HH:MM:SS", with ".ffffff" when microsecond is not 0.
  std::string ToText() const;

  friend auto operator<=>(const DateTime&, const DateTime&) = default;
};

}  // namespace kessmar::dbclient
