// Reading the environment is the same on every OS.
#include <cstdlib>

#include "platform/EnvironmentOverrides.h"

namespace kessmar::platform {

std::optional<std::string> EnvironmentOverride(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') return std::nullopt;
  return std::string(value);
}

bool EnvironmentFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && value[0] == '1';
}

}  // namespace kessmar::platform
