
#include <windows.h>

#include <stdexcept>

#include "platform/AppPaths.h"
#include "platform/KnownFolders.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

// Whether a new file can be made in folder: the only reliable answer on Windows, where ACLs
// and virtualised folders decide.
bool FolderWritable(const std::filesystem::path& folder) {
  wchar_t name[MAX_PATH + 1];
  if (::GetTempFileNameW(folder.c_str(), L"kst", 0, name) == 0) return false;
  ::DeleteFileW(name);
  return true;
}

}  // namespace

bool InstalledSystemWide(const std::filesystem::path& executable) {
  std::error_code ec;
  const std::filesystem::path programFiles = ProgramFilesFolder();
  const std::wstring path = executable.lexically_normal().wstring();
  const std::wstring base = programFiles.lexically_normal().wstring() + L"\\";
  return !programFiles.empty() && path.size() > base.size() &&
         ::CompareStringOrdinal(path.c_str(), static_cast<int>(base.size()), base.c_str(),
                                static_cast<int>(base.size()), TRUE) == CSTR_EQUAL;
}

std::filesystem::path ProgramHomeFolder(const std::filesystem::path& executable) {
  std::filesystem::path folder = executable.parent_path();
  if (InstalledSystemWide(executable) || !FolderWritable(folder)) return UserDataFolder();
  return folder;
}

std::filesystem::path ExecutablePath() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) {
      throw std::runtime_error("Cannot determine the program's path: " +
                               win32::ErrorText(::GetLastError()));
    }
    if (n < buffer.size()) {
      buffer.resize(n);
      return buffer;
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::filesystem::path UserDataFolder() {
  const auto local = LocalAppDataFolder();
  return (local ? *local : TemporaryFolder()) / "kessmar-scanner-tool";
}

}  // namespace kessmar::platform
