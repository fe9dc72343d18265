// Batch files on disk: a ByteSource reading a regular file, and a ByteSink that replaces a file
// atomically. The only operating-system calls of the batch module live here (POSIX).
#pragma once

#include <filesystem>
#include <string>

#include "BatchStream.h"

namespace kessmar {

// Owns a file descriptor; closes it when destroyed.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() { Reset(); }

  int Get() const { return fd_; }
  int Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes the descriptor; returns false (errno set) when close failed.
  bool Reset();

 private:
  int fd_ = -1;
};

// Reads a regular file front to back. The constructor throws IoError (the system's reason) when
// the file cannot be opened or is not a regular file; Read throws IoError on a read failure.
// Size() is the file's size when it was opened.
class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::filesystem::path& path);
  size_t Read(char* data, size_t n) override;
  uint64_t Size() const override { return size_; }

 private:
  FileDescriptor fd_;
  uint64_t size_ = 0;
};

// Writes a new version of a file under a temporary name in the same folder ("." + name + a
// random part + ".tmp"); Commit flushes it to disk and renames it over the target. Until Commit
// succeeds the target is untouched, and a sink destroyed without a successful Commit removes
// its temporary file. Every failure throws IoError with the system's reason.
class AtomicFileSink : public ByteSink {
 public:
  explicit AtomicFileSink(const std::filesystem::path& target);
  AtomicFileSink(const AtomicFileSink&) = delete;
  AtomicFileSink& operator=(const AtomicFileSink&) = delete;
  ~AtomicFileSink() override;

  void Write(const char* data, size_t n) override;
  void Commit();

  const std::filesystem::path& TemporaryPath() const { return temp_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  FileDescriptor fd_;
  bool committed_ = false;
};

}  // namespace kessmar
