#include "update/UpdateServer.h"

#include <cstdlib>

namespace kessmar {

std::string ControlFileUrl() {
  std::string base = "https://" + std::string(kUpdateServerHost);
  if (const char* custom = std::getenv("KESSMAR_UPDATE_URL"); custom != nullptr && *custom) {
    base = custom;
    while (!base.empty() && base.back() == '/') base.pop_back();
  }
  return base + std::string(kControlFilePath);
}

std::string ExtraCaFile() {
  const char* file = std::getenv("KESSMAR_UPDATE_CA_FILE");
  return file != nullptr ? std::string(file) : std::string();
}

}  // namespace kessmar
