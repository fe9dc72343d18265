#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

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

ReplacementFile::ReplacementFile(const std::filesystem::path& target) : target_(target) {
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
      handle_ = fd;
      return;
    }
    if (errno != EEXIST || attempt == 100) throw SystemError(errno);
  }
}

ReplacementFile::~ReplacementFile() {
  CloseHandle(handle_);
  if (!committed_) ::unlink(temp_.c_str());
}

void ReplacementFile::Write(const char* data, size_t n) {
  while (n > 0) {
    const ssize_t put = ::write(Fd(handle_), data, n);
    if (put < 0) {
      if (errno == EINTR) continue;
      throw SystemError(errno);
    }
    data += put;
    n -= static_cast<size_t>(put);
  }
}

void ReplacementFile::Commit() {
  if (::fsync(Fd(handle_)) != 0) throw SystemError(errno);
  const int fd = Fd(handle_);
  handle_ = -1;
  if (::close(fd) != 0) throw SystemError(errno);
  if (::rename(temp_.c_str(), target_.c_str()) != 0) throw SystemError(errno);
  committed_ = true;
  // Make the rename itself durable; the new file is in place whatever this returns.
  const std::filesystem::path folder = target_.parent_path().empty() ? "." : target_.parent_path();
  FileDescriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir) ::fsync(dir.get());
}

std::optional<std::string> ReadFileIfPresent(const std::filesystem::path& path) {
  try {
    InputFile file(path);
    std::string content;
    content.resize(static_cast<size_t>(file.Size()));
    size_t have = 0;
    for (;;) {
      if (have == content.size()) content.resize(content.size() + 4096);
      const size_t got = file.Read(content.data() + have, content.size() - have);
      if (got == 0) break;
      have += got;
    }
    content.resize(have);
    return content;
  } catch (const FileError& e) {
    if (e.NotFound()) return std::nullopt;
    throw;
  }
}

void ReplaceFileContent(const std::filesystem::path& path, std::string_view content) {
  ReplacementFile file(path);
  file.Write(content.data(), content.size());
  file.Commit();
}

}  // namespace kessmar::platform
