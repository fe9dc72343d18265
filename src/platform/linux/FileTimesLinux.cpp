#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "platform/FileTimes.h"
#include "platform/Files.h"

namespace kessmar::platform {
namespace {

FileError SystemError(int error) {
  return FileError(std::strerror(error), error == ENOENT);
}

}  // namespace

std::optional<LocalDateTime> LastWriteTime(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  std::tm local{};
  const time_t seconds = st.st_mtim.tv_sec;
  if (localtime_r(&seconds, &local) == nullptr) return std::nullopt;
  return LocalDateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                       local.tm_hour,        local.tm_min,     local.tm_sec};
}

void SetLastWriteTime(const std::filesystem::path& path, const LocalDateTime& local) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;  // the zone's rule for that day decides
  const time_t when = std::mktime(&parts);
  if (when == static_cast<time_t>(-1)) throw FileError("Invalid local time", false);
  const timespec times[2] = {{when, 0}, {when, 0}};
  if (::utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw SystemError(errno);
}

void SetLastWriteTimeNow(const std::filesystem::path& path) {
  if (::utimensat(AT_FDCWD, path.c_str(), nullptr, 0) != 0) throw SystemError(errno);
}

bool ClearReadOnlyAndHidden(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  return ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR) == 0;
}

void MakeExecutable(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) throw SystemError(errno);
  mode_t mode = (st.st_mode & 07777) | S_IXUSR;
  if (mode & S_IRGRP) mode |= S_IXGRP;
  if (mode & S_IROTH) mode |= S_IXOTH;
  if (::chmod(path.c_str(), mode) != 0) throw SystemError(errno);
}

}  // namespace kessmar::platform
