// ShellOpen through Qt: the desktop's default program (xdg-open on Linux) opens the file.
#pragma once

#include "platform/ShellOpen.h"

namespace kessmar {

class QtShellOpen : public ShellOpen {
 public:
  bool Open(const std::filesystem::path& path) override;
};

}  // namespace kessmar
