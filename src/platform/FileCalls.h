// The few file calls under the portable file code (Files.cpp, UniqueFile.cpp), one
// implementation per OS (linux/FilesLinux.cpp, win32/FilesWin32.cpp). A handle is the OS's own,
// held as intptr_t: a descriptor on Linux, a HANDLE on Windows; kNoFile is none. Every failure
// throws FileError with the system's text, unless a call says otherwise.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace kessmar::platform::file_calls {

inline constexpr intptr_t kNoFile = -1;

// Creates path for writing, only when nothing is there yet: kNoFile when something is. Others
// may open it meanwhile when shared (Windows only; on Linux anyone may).
intptr_t CreateNew(const std::filesystem::path& path, bool shared);
// Writes some of the n bytes (n > 0) and returns how many, at least one.
size_t WriteSome(intptr_t handle, const char* data, size_t n);
// Puts what was written to handle on the disk.
void FlushToDisk(intptr_t handle);
// Closes handle; throws when the close reports a failure (the handle is gone either way).
void Close(intptr_t handle);
// Closes handle and ignores a failure: for paths that are failing already.
void CloseQuietly(intptr_t handle) noexcept;
// Puts the file from in the place of to in one step, replacing a file there.
void Replace(const std::filesystem::path& from, const std::filesystem::path& to);
// Makes a rename in folder durable where the OS needs a step for that; ignores failures.
void SyncFolder(const std::filesystem::path& folder) noexcept;
// Removes the file path; ignores failures.
void RemoveQuietly(const std::filesystem::path& path) noexcept;

}  // namespace kessmar::platform::file_calls
