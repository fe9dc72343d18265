#include "FileStreams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace kessmar {
namespace {

IoError SystemError(int error) {
  return IoError(std::strerror(error));
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

bool FileDescriptor::Reset() {
  if (fd_ < 0) return true;
  const int rc = ::close(fd_);
  fd_ = -1;
  return rc == 0;
}

FileSource::FileSource(const std::filesystem::path& path) {
  // Non-blocking so that a FIFO cannot hang the open; it is refused below anyway.
  fd_ = FileDescriptor(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd_.Get() < 0) throw SystemError(errno);
  struct stat st {};
  if (::fstat(fd_.Get(), &st) != 0) throw SystemError(errno);
  if (S_ISDIR(st.st_mode)) throw SystemError(EISDIR);
  if (!S_ISREG(st.st_mode)) throw IoError("Not a regular file");
  size_ = static_cast<uint64_t>(st.st_size);
}

size_t FileSource::Read(char* data, size_t n) {
  for (;;) {
    const ssize_t got = ::read(fd_.Get(), data, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) throw SystemError(errno);
  }
}

AtomicFileSink::AtomicFileSink(const std::filesystem::path& target) : target_(target) {
  std::random_device entropy;
  std::mt19937_64 random(entropy());
  const std::filesystem::path folder = target.parent_path();
  std::string base = ".";  // appended piece by piece: GCC 12 warns wrongly on "." + s + "."
  base += target.filename().string();
  base += '.';
  for (int attempt = 0;; ++attempt) {
    temp_ = folder / (base + std::to_string(random() % 1000000000) + ".tmp");
    // 0666 before the umask, as for any new file.
    const int fd = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = FileDescriptor(fd);
      return;
    }
    if (errno != EEXIST || attempt == 100) throw SystemError(errno);
  }
}

AtomicFileSink::~AtomicFileSink() {
  if (committed_) return;
  fd_.Reset();
  ::unlink(temp_.c_str());
}

void AtomicFileSink::Write(const char* data, size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(fd_.Get(), data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno);
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
}

void AtomicFileSink::Commit() {
  if (::fsync(fd_.Get()) != 0) throw SystemError(errno);
  if (!fd_.Reset()) throw SystemError(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) throw SystemError(errno);
  committed_ = true;
  // Make the rename itself durable; the new file is in place whatever this returns.
  const std::filesystem::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.Get() >= 0) ::fsync(dir.Get());
}

}  // namespace kessmar
