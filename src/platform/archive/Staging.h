// Where an expanded file is put while it is written: a fresh, empty file beside its target that
// replaces the target in one step once it is complete. Shared by the libmspack and the Windows
// expanders (ArchiveStaging.cpp).
#pragma once

#include <filesystem>

namespace kessmar::platform {

class Staging {
 public:
  // Creates the file. Throws ArchiveError when it cannot.
  explicit Staging(const std::filesystem::path& target);
  Staging(const Staging&) = delete;
  Staging& operator=(const Staging&) = delete;
  // Removes the file unless it has replaced the target.
  ~Staging();

  const std::filesystem::path& Path() const { return path_; }
  // Puts the file in the place of the target. Throws ArchiveError; the target is then untouched.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path path_;
  bool committed_ = false;
};

}  // namespace kessmar::platform
