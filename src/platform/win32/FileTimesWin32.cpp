#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <random>

#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

FileError SystemError(DWORD error) {
  return FileError(win32::ErrorText(error),
                   error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
}

FileError CrtError(int error) {
  return FileError(std::strerror(error), error == ENOENT);
}

constexpr size_t kWriteBuffer = 256 * 1024;

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

UniqueFile::UniqueFile(const std::filesystem::path& folder, const std::string& prefix) {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0;; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    path_ = folder / win32::Widen(name);
    // Binary: the bytes go to disk as written, with no line-end translation.
    fd_ = ::_wopen(path_.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                   _S_IREAD | _S_IWRITE);
    if (fd_ >= 0) break;
    if (errno != EEXIST || attempt == 100) throw CrtError(errno);
  }
  buffer_.reserve(kWriteBuffer);
}

UniqueFile::~UniqueFile() {
  if (fd_ >= 0) ::_close(fd_);
}

namespace {

void WriteAll(int fd, const char* data, size_t left) {
  while (left > 0) {
    const unsigned int want = left > 0x40000000 ? 0x40000000u : static_cast<unsigned int>(left);
    const int put = ::_write(fd, data, want);
    if (put < 0) throw CrtError(errno);
    data += put;
    left -= static_cast<size_t>(put);
  }
}

}  // namespace

void UniqueFile::Write(const char* data, size_t n) {
  if (fd_ < 0) throw FileError("File is closed", false);
  if (buffer_.size() + n > kWriteBuffer) Flush();
  if (n >= kWriteBuffer) {
    WriteAll(fd_, data, n);
    return;
  }
  buffer_.insert(buffer_.end(), data, data + n);
}

void UniqueFile::Flush() {
  try {
    WriteAll(fd_, buffer_.data(), buffer_.size());
  } catch (...) {
    buffer_.clear();
    throw;
  }
  buffer_.clear();
}

void UniqueFile::Close() {
  if (fd_ < 0) return;
  const int fd = fd_;
  try {
    Flush();
  } catch (...) {
    ::_close(fd);
    fd_ = -1;
    throw;
  }
  fd_ = -1;
  if (::_close(fd) != 0) throw CrtError(errno);
}

}  // namespace kessmar::platform
