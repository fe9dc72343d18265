#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "platform/AppPaths.h"

namespace kessmar::platform {
namespace {

bool FolderWritable(const std::filesystem::path& folder) {
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

// The folder that holds the settings file and the Data folder for this executable.
std::filesystem::path HomeFolder(const std::filesystem::path& executable) {
  std::filesystem::path folder = executable.parent_path();
  return FolderWritable(folder) ? folder : UserDataFolder();
}

}  // namespace

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

std::filesystem::path SettingsFilePath(const std::filesystem::path& executable) {
  std::filesystem::path name = executable.filename();
  name.replace_extension(".ini");
  return HomeFolder(executable) / name;
}

std::string DataFolderPath(const std::filesystem::path& executable) {
  return (HomeFolder(executable) / "Data").string() + kPathSeparator;
}

}  // namespace kessmar::platform
