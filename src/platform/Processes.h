// Starting programs and waiting for processes.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kessmar::platform {

// The id of the running process.
int64_t CurrentProcessId();

// Starts `program` with `args` (without the program itself) as a process of its own: in a new
// session, never a child that this process must wait for, outliving this process. It inherits
// the environment and the standard input, output and error, but no other open descriptor, so
// that no lock or file of this process stays held by it. With a non-empty workingFolder it runs
// there. Returns false when it could not be started (for example a missing or non-executable
// program). Never throws except std::bad_alloc.
bool StartDetachedProcess(const std::filesystem::path& program,
                          const std::vector<std::string>& args,
                          const std::filesystem::path& workingFolder = {});

// True when path is a regular file this user may run as a program. Never throws.
bool IsRunnableProgram(const std::filesystem::path& path);

// Waits until the process `pid` has ended or `timeout` has passed. Returns true when it has
// ended (also when no such process exists), false on time-out. Never throws.
bool WaitForProcessEnd(int64_t pid, std::chrono::milliseconds timeout);

}  // namespace kessmar::platform
