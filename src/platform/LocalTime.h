// The local (wall-clock) time of a moment, in the time zone of the user's system.
#pragma once

#include <chrono>
#include <ctime>

namespace kessmar::platform {

// Broken-down local time of `when`. Never throws; a moment the system cannot convert gives the
// all-zero std::tm.
std::tm LocalTime(std::chrono::system_clock::time_point when);

}  // namespace kessmar::platform
