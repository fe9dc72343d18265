#include <windows.h>

#include <shlobj.h>

#include <stdexcept>

#include "platform/KnownFolders.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

std::optional<std::filesystem::path> KnownFolder(REFKNOWNFOLDERID id) {
  wchar_t* path = nullptr;
  const HRESULT result = ::SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &path);
  std::optional<std::filesystem::path> folder;
  if (SUCCEEDED(result) && path != nullptr) folder = std::filesystem::path(path);
  ::CoTaskMemFree(path);
  return folder;
}

std::filesystem::path WindowsTextFolder(UINT (*get)(LPWSTR, UINT)) {
  wchar_t buffer[MAX_PATH + 1];
  const UINT n = get(buffer, MAX_PATH + 1);
  if (n == 0 || n > MAX_PATH) return {};
  return std::filesystem::path(std::wstring(buffer, n));
}

}  // namespace

std::filesystem::path TemporaryFolder(std::string*) {
  // The user's own %TEMP%, which Windows keeps apart from other users': no fallback to note.
  wchar_t buffer[MAX_PATH + 2];
  const DWORD n = ::GetTempPathW(MAX_PATH + 2, buffer);
  if (n == 0 || n > MAX_PATH + 1) {
    throw std::runtime_error("Cannot determine the temporary folder: " +
                             win32::ErrorText(::GetLastError()));
  }
  std::wstring folder(buffer, n);
  while (folder.size() > 3 && (folder.back() == L'\\' || folder.back() == L'/')) folder.pop_back();
  return folder;
}

std::filesystem::path DocumentsFolder() {
  if (auto folder = KnownFolder(FOLDERID_Documents)) return *folder;
  throw std::runtime_error("Cannot determine the documents folder");
}

std::optional<std::filesystem::path> LocalAppDataFolder() {
  return KnownFolder(FOLDERID_LocalAppData);
}

std::filesystem::path WindowsFolder() {
  return WindowsTextFolder(&::GetWindowsDirectoryW);
}

std::filesystem::path SystemFolder() {
  return WindowsTextFolder(&::GetSystemDirectoryW);
}

std::filesystem::path ProgramFilesFolder() {
  return KnownFolder(FOLDERID_ProgramFiles).value_or(std::filesystem::path());
}

}  // namespace kessmar::platform
