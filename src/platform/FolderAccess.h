// Whether this user may create and replace files in a folder.
#pragma once

#include <filesystem>

namespace kessmar::platform {

// True when this user may create, rename and delete files in folder and the folder's permissions
// grant it to this user (also for the administrator, who could write anyway): a program
// installed by the system's package manager lives in a folder where that is not so. Never
// throws.
bool CanWriteInFolder(const std::filesystem::path& folder);

}  // namespace kessmar::platform
