// Dates and times in the update control file: "dd/mm/yyyy" and "hh:nn", local time.
#pragma once

#include <string>
#include <string_view>

#include "platform/FileTimes.h"

namespace kessmar {

// 1 January 1980, 00:00: what a date that cannot be read, and a missing local file, count as.
inline constexpr platform::LocalDateTime kEarliestDate{1980, 1, 1, 0, 0, 0};

// The date text ("dd/mm/yyyy"; one-digit day and month accepted, four-digit year) plus the
// optional time of day ("hh:nn", seconds ":ss" accepted). A date that cannot be read counts as
// kEarliestDate; a time that cannot be read is ignored. The date must exist in the calendar.
platform::LocalDateTime ReadControlDate(std::string_view date, std::string_view time);

// "d-m-yyyy hh:nn:ss", as the program shows dates elsewhere.
std::string FormatDateTime(const platform::LocalDateTime& when);

}  // namespace kessmar
