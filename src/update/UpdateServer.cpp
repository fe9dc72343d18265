#include "update/UpdateServer.h"

#include <cstdlib>

#include "common/Text.h"
#include "platform/EnvironmentOverrides.h"

namespace kessmar {

std::string ControlFileUrl() {
  std::string base = "https://" + std::string(kUpdateServerHost);
  if (const auto custom = platform::EnvironmentOverride(platform::env::kUpdateUrl)) {
    base = *custom;
    while (!base.empty() && base.back() == '/') base.pop_back();
  }
  return base + std::string(kControlFilePath);
}

bool IsHttpsUrl(std::string_view url) {
  return url.size() > 8 && EqualsIgnoringCase(url.substr(0, 8), "https://");
}

std::string ExtraCaFile() {
  return platform::EnvironmentOverride(platform::env::kUpdateCaFile).value_or("");
}

}  // namespace kessmar
