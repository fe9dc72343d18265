#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/net/RuntimeFolder.h"

namespace kessmar::platform {

std::filesystem::path UserRuntimeFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime != nullptr && *runtime == '/') {
    return runtime;
  }
  return "/tmp/kessmar-" + std::to_string(getuid());
}

}  // namespace kessmar::platform
