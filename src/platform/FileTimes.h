// Last-write times of files as local (wall-clock) date and time, file attributes, and new files
// with unique names.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kessmar::platform {

// A moment as the user's clock shows it. Fields as people write them: month 1-12, day 1-31.
struct LocalDateTime {
  int year = 1980;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;

  friend auto operator<=>(const LocalDateTime&, const LocalDateTime&) = default;
};

// The last-write time of the file at path in local time; nullopt when there is no such file (or
// it cannot be examined). Never throws.
std::optional<LocalDateTime> LastWriteTime(const std::filesystem::path& path);

// Sets the last-write (and access) time of path to `local`, read as local time. Throws FileError
// (see Files.h) when the time cannot be set.
void SetLastWriteTime(const std::filesystem::path& path, const LocalDateTime& local);

// Sets the last-write (and access) time of path to now. Throws FileError.
void SetLastWriteTimeNow(const std::filesystem::path& path);

// What the Windows read-only and hidden attributes are cleared to: the owner may write the file
// again (there is no hidden attribute here). Returns false when that failed. Never throws.
bool ClearReadOnlyAndHidden(const std::filesystem::path& path);

// Lets the owner run the file (and whoever may read it). Throws FileError.
void MakeExecutable(const std::filesystem::path& path);

// A new file with a name of its own, "<prefix><random>" in a folder, created exclusively (never
// an existing file or link) with the permissions of any new file. Written through a buffer; the
// descriptor closes with the object. The file itself stays: the owner removes or renames it.
class UniqueFile {
 public:
  // Throws FileError when no such file can be created in folder.
  UniqueFile(const std::filesystem::path& folder, const std::string& prefix);
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  ~UniqueFile();

  const std::filesystem::path& Path() const { return path_; }

  // Appends n bytes. Throws FileError when a write fails.
  void Write(const char* data, size_t n);
  // Writes what is buffered and closes the file. Throws FileError; afterwards the file is
  // closed either way. Closing twice does nothing.
  void Close();

 private:
  void Flush();

  std::filesystem::path path_;
  intptr_t handle_ = -1;  // platform/FileCalls.h
  std::vector<char> buffer_;
};

}  // namespace kessmar::platform
