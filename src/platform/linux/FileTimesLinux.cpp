#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <random>

#include "platform/FileTimes.h"
#include "platform/Files.h"

namespace kessmar::platform {
namespace {

FileError SystemError(int error) {
  return FileError(std::strerror(error), error == ENOENT);
}

constexpr size_t kWriteBuffer = 256 * 1024;

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

UniqueFile::UniqueFile(const std::filesystem::path& folder, const std::string& prefix) {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (int attempt = 0;; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name += kLetters[random() % (sizeof kLetters - 1)];
    path_ = folder / name;
    // 0666 before the umask, as for any new file; O_EXCL never follows or reuses a link.
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST || attempt == 100) throw SystemError(errno);
  }
  buffer_.reserve(kWriteBuffer);
}

UniqueFile::~UniqueFile() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

void WriteAll(int fd, const char* data, size_t left) {
  while (left > 0) {
    const ssize_t put = ::write(fd, data, left);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno);
    }
    data += put;
    left -= static_cast<size_t>(put);
  }
}

}  // namespace

void UniqueFile::Write(const char* data, size_t n) {
  if (fd_ < 0) throw FileError("File is closed", false);
  if (buffer_.size() + n > kWriteBuffer) Flush();
  if (n >= kWriteBuffer) {
    WriteAll(fd_, data, n);  // large pieces go straight to the file
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
    ::close(fd);
    fd_ = -1;
    throw;
  }
  fd_ = -1;
  if (::close(fd) != 0) throw SystemError(errno);
}

}  // namespace kessmar::platform
