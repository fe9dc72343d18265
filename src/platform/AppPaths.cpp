// The files beside the program's home folder are named the same way on every OS; only the home
// folder itself is the OS's (linux/, win32/).
#include "platform/AppPaths.h"

namespace kessmar::platform {

std::filesystem::path SettingsFilePath(const std::filesystem::path& executable) {
  std::filesystem::path name = executable.filename();
  name.replace_extension(".ini");
  return ProgramHomeFolder(executable) / name;
}

std::string DataFolderPath(const std::filesystem::path& executable) {
  return (ProgramHomeFolder(executable) / "Data").string() + kPathSeparator;
}

std::filesystem::path LogFilePath(const std::filesystem::path& executable) {
  std::filesystem::path name = executable.filename();
  name.replace_extension(".log");
  return ProgramHomeFolder(executable) / name;
}

}  // namespace kessmar::platform
