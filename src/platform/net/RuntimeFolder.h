// The per-user folder for run-time files of this user's processes.
#pragma once

#include <filesystem>

namespace kessmar::platform {

// $XDG_RUNTIME_DIR when set to an absolute path, else /tmp/kessmar-<uid>. The folder need not
// exist. Never throws.
std::filesystem::path UserRuntimeFolder();

// Whether folder is a folder (not a link) of this user that nobody else may write into, so that
// what lies in it was put there by this user. Never throws.
bool IsOwnPrivateFolder(const std::filesystem::path& folder);

}  // namespace kessmar::platform
