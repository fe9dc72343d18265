#include "update/UpdateServer.h"

#include <cstdlib>

#include "common/Text.h"

namespace kessmar {

std::string ControlFileUrl() {
  std::string base = "https://" + std::string(kUpdateServerHost);
  if (const char* custom = std::getenv("KESSMAR_UPDATE_URL"); custom != nullptr && *custom) {
    base = custom;
    while (!base.empty() && base.back() == '/') base.pop_back();
  }
  return base + std::string(kControlFilePath);
}

bool IsHttpsUrl(std::string_view url) {
  return url.size() > 8 && EqualsIgnoringCase(url.substr(0, 8), "https://");
}

std::string ExtraCaFile() {
  const char* file = std::getenv("KESSMAR_UPDATE_CA_FILE");
  return file != nullptr ? std::string(file) : std::string();
}

}  // namespace kessmar
