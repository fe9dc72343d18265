// Opening a file with the user's default program, as the desktop shell does for a double click.
#pragma once

#include <filesystem>

namespace kessmar {

class ShellOpen {
 public:
  virtual ~ShellOpen() = default;

  // Hands path to the desktop's default program for its type and returns without waiting for
  // that program. Returns false when no program could be started for it (no opener, or the
  // opener failed to start); true once one was started. Never throws.
  virtual bool Open(const std::filesystem::path& path) = 0;
};

}  // namespace kessmar
