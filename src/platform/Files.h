// Files on disk: reading a regular file, replacing a file atomically, and small whole-file
// helpers. Every file operation of the program's core goes through here, so that another
// operating system needs only its own implementation file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kessmar::platform {

// A failure of the operating system on a file. what() is the system's reason only (callers add
// the path they were working on); NotFound() tells a missing file from every other failure.
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& reason, bool notFound)
      : std::runtime_error(reason), notFound_(notFound) {}
  bool NotFound() const { return notFound_; }

 private:
  bool notFound_;
};

// Reads one regular file front to back. The constructor throws FileError when the file cannot be
// opened or is not a regular file (a folder, a device, a pipe); Read throws FileError when a
// read fails. Size() is the file's size when it was opened.
class InputFile {
 public:
  explicit InputFile(const std::filesystem::path& path);
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // Up to n bytes into data; 0 only at the end of the file.
  size_t Read(char* data, size_t n);
  uint64_t Size() const { return size_; }

 private:
  intptr_t handle_ = -1;
  uint64_t size_ = 0;
};

// Writes the new version of a file under a temporary name in the target's folder ("." + name +
// a random part + ".tmp"). Commit flushes it to disk and puts it in the target's place, replacing
// an existing file in one step. Until Commit succeeds the target is untouched; an object
// destroyed without a successful Commit removes its temporary file. Every failure throws
// FileError.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::filesystem::path& target);
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();

  // Writes all n bytes.
  void Write(const char* data, size_t n);
  void Commit();

  const std::filesystem::path& TemporaryPath() const { return temp_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temp_;
  intptr_t handle_ = -1;
  bool committed_ = false;
};

// The whole content of a regular file; nullopt when there is no file at path. Throws FileError
// for every other failure (no permission, a folder, a read error), so that "missing" is never
// confused with "unreadable".
std::optional<std::string> ReadFileIfPresent(const std::filesystem::path& path);

// Makes content the new content of path through a ReplacementFile. Throws FileError.
void ReplaceFileContent(const std::filesystem::path& path, std::string_view content);

}  // namespace kessmar::platform
