#include <unistd.h>

#include "platform/FolderAccess.h"

namespace kessmar::platform {

bool CanWriteInFolder(const std::filesystem::path& folder) {
  return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace kessmar::platform
