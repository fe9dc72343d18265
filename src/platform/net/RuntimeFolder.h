// The per-user folder for run-time files of this user's processes.
#pragma once

#include <filesystem>

namespace kessmar::platform {

// $XDG_RUNTIME_DIR when set to an absolute path, else /tmp/kessmar-<uid>. The folder need not
// exist. Never throws.
std::filesystem::path UserRuntimeFolder();

}  // namespace kessmar::platform
