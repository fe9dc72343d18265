#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/AppPaths.h"

namespace kessmar::platform {
namespace {

bool FolderWritable(const std::filesystem::path& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

bool InstalledSystemWide(const std::filesystem::path& executable) {
  const std::string path = executable.lexically_normal().string();
  return path.starts_with("/usr/") || path.starts_with("/opt/");
}

std::filesystem::path ProgramHomeFolder(const std::filesystem::path& executable) {
  std::filesystem::path folder = executable.parent_path();
  if (InstalledSystemWide(executable) || !FolderWritable(folder)) return UserDataFolder();
  return folder;
}

std::filesystem::path ExecutablePath() {
  std::error_code ec;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw std::runtime_error("Cannot determine the program's path: " + ec.message());
  return path;
}

std::filesystem::path UserDataFolder() {
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::filesystem::path base;
  if (dataHome != nullptr && *dataHome == '/') {
    base = dataHome;
  } else {
    const char* home = std::getenv("HOME");
    base = std::filesystem::path(home != nullptr ? home : "/tmp") / ".local" / "share";
  }
  return base / "kessmar-scanner-tool";
}

}  // namespace kessmar::platform
