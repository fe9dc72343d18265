// Opening a file with the user's default program, as the desktop shell does for a double click.
#pragma once

#include <filesystem>

namespace kessmar {

class ShellOpen {
 public:
  virtual ~ShellOpen() = default;

  // Hands path to the desktop's default program for its type and returns without waiting for
  // that program. Whether a program was found is not reported: callers carry on either way.
  // Never throws.
  virtual void Open(const std::filesystem::path& path) = 0;
};

}  // namespace kessmar
