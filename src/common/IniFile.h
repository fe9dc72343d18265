// Reading and writing single keys of an INI text file, the way the program's settings file is
// kept: no file object lives on; every write opens, writes one key and closes the file again.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kessmar {

class IniFile {
 public:
  explicit IniFile(std::filesystem::path path) : path_(std::move(path)) {}

  const std::filesystem::path& Path() const { return path_; }

  // The value of key in section (both matched ignoring ASCII case), with surrounding blanks
  // removed; nullopt when the file, the section or the key is missing or unreadable.
  std::optional<std::string> Read(std::string_view section, std::string_view key) const;

  // Sets key in section to value and writes the file, creating it (and the section) when missing.
  // Every other section, key, comment and line of the file is kept as it was. The new content is
  // written beside the file and renamed over it, so a failed write leaves the old file intact.
  // A file that would not change is not written at all. Throws std::runtime_error naming the path
  // when the file cannot be read or written, and std::invalid_argument, before touching the file,
  // when the file cannot hold the entry: a section or key that is empty, has blanks at either end
  // or holds a line break, a key that holds "=" or starts with ";", "#" or "[", a value that
  // holds a line break.
  void Write(std::string_view section, std::string_view key, std::string_view value) const;

 private:
  std::filesystem::path path_;
};

}  // namespace kessmar
