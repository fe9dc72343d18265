#include <windows.h>

#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

FileError SystemError(DWORD error) {
  return FileError(win32::ErrorText(error),
                   error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

// Opens path for setting its times; a folder needs backup semantics.
HANDLE OpenForTimes(const std::filesystem::path& path) {
  HANDLE h = ::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw SystemError(::GetLastError());
  return h;
}

void SetTimes(const std::filesystem::path& path, const FILETIME& when) {
  HANDLE h = OpenForTimes(path);
  const BOOL ok = ::SetFileTime(h, nullptr, &when, &when);
  const DWORD error = ::GetLastError();
  ::CloseHandle(h);
  if (!ok) throw SystemError(error);
}

}  // namespace

std::optional<LocalDateTime> LastWriteTime(const std::filesystem::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  SYSTEMTIME utc{};
  SYSTEMTIME local{};
  if (!::FileTimeToSystemTime(&data.ftLastWriteTime, &utc) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return std::nullopt;
  }
  return LocalDateTime{local.wYear, local.wMonth,  local.wDay,
                       local.wHour, local.wMinute, local.wSecond};
}

void SetLastWriteTime(const std::filesystem::path& path, const LocalDateTime& local) {
  SYSTEMTIME parts{};
  parts.wYear = static_cast<WORD>(local.year);
  parts.wMonth = static_cast<WORD>(local.month);
  parts.wDay = static_cast<WORD>(local.day);
  parts.wHour = static_cast<WORD>(local.hour);
  parts.wMinute = static_cast<WORD>(local.minute);
  parts.wSecond = static_cast<WORD>(local.second);
  SYSTEMTIME utc{};
  FILETIME when{};
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &parts, &utc) ||
      !::SystemTimeToFileTime(&utc, &when)) {
    throw FileError("Invalid local time", false);
  }
  SetTimes(path, when);
}

void SetLastWriteTimeNow(const std::filesystem::path& path) {
  FILETIME now{};
  ::GetSystemTimeAsFileTime(&now);
  SetTimes(path, now);
}

bool ClearReadOnlyAndHidden(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  const DWORD cleared = attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  if (cleared == attributes) return true;
  return ::SetFileAttributesW(path.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared) != 0;
}

void MakeExecutable(const std::filesystem::path& path) {
  // Windows runs a file by its name; only its existence matters.
  if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES) {
    throw SystemError(::GetLastError());
  }
}

}  // namespace kessmar::platform
