// Moving a file the way Windows' MoveFile does, also between file systems.
#pragma once

#include <filesystem>
#include <string>

namespace kessmar {

// Moves `from` to `to`, replacing an existing file at `to` in one step. Between file systems
// the data is copied beside `to` first (keeping its last-write time) and `from` deleted
// afterwards. Returns false, leaving both as they were, when that fails; *reason (when given)
// then says why. Never throws except std::bad_alloc.
bool MoveFileReplacing(const std::filesystem::path& from, const std::filesystem::path& to,
                       std::string* reason = nullptr);

}  // namespace kessmar
