#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/FileCalls.h"
#include "platform/FileDescriptor.h"
#include "platform/Files.h"

namespace kessmar::platform {
namespace {

FileError SystemError(int error) {
  return FileError(std::strerror(error), error == ENOENT);
}

int Fd(intptr_t handle) {
  return static_cast<int>(handle);
}

void CloseHandle(intptr_t& handle) {
  if (handle >= 0) ::close(Fd(handle));
  handle = -1;
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) {
  // Non-blocking so that a FIFO cannot hang the open; it is refused below anyway.
  FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (!fd) throw SystemError(errno);
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) throw SystemError(errno);
  if (S_ISDIR(st.st_mode)) throw SystemError(EISDIR);
  if (!S_ISREG(st.st_mode)) throw FileError("Not a regular file", false);
  size_ = static_cast<uint64_t>(st.st_size);
  handle_ = fd.Release();
}

InputFile::~InputFile() {
  CloseHandle(handle_);
}

size_t InputFile::Read(char* data, size_t n) {
  for (;;) {
    const ssize_t got = ::read(Fd(handle_), data, n);
    if (got >= 0) return static_cast<size_t>(got);
    if (errno != EINTR) throw SystemError(errno);
  }
}

namespace file_calls {

intptr_t CreateNew(const std::filesystem::path& path, bool) {
  // 0666 before the umask, as for any new file; O_EXCL never follows or reuses a link.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd >= 0) return fd;
  if (errno == EEXIST) return kNoFile;
  throw SystemError(errno);
}

size_t WriteSome(intptr_t handle, const char* data, size_t n) {
  for (;;) {
    const ssize_t put = ::write(Fd(handle), data, n);
    if (put > 0) return static_cast<size_t>(put);
    if (put < 0 && errno == EINTR) continue;
    throw put < 0 ? SystemError(errno) : FileError("Nothing was written", false);
  }
}

void FlushToDisk(intptr_t handle) {
  if (::fsync(Fd(handle)) != 0) throw SystemError(errno);
}

void Close(intptr_t handle) {
  if (::close(Fd(handle)) != 0) throw SystemError(errno);
}

void CloseQuietly(intptr_t handle) noexcept {
  ::close(Fd(handle));
}

void Replace(const std::filesystem::path& from, const std::filesystem::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) throw SystemError(errno);
}

void SyncFolder(const std::filesystem::path& folder) noexcept {
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
}

void RemoveQuietly(const std::filesystem::path& path) noexcept {
  ::unlink(path.c_str());
}

}  // namespace file_calls
}  // namespace kessmar::platform
