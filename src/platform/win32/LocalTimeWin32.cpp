#include <time.h>

#include "platform/LocalTime.h"

namespace kessmar::platform {

std::tm LocalTime(std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  // The CRT's localtime_s follows the system's time zone (and TZ when set).
  if (localtime_s(&local, &t) != 0) return std::tm{};
  return local;
}

}  // namespace kessmar::platform
