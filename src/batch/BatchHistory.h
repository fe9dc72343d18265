// The Data folder's batch files: the latest batch read ("last_read.dat") and a dated copy of
// every batch ("yyyymmdd-hhnnss.dat"), which the history window lists.
#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "batch/MemTable.h"

namespace kessmar {

// The wall clock, injectable so that tests can fix the time.
using WallClock = std::function<std::chrono::system_clock::time_point()>;

namespace batch_files {
inline constexpr const char* kLastRead = "last_read.dat";
inline constexpr const char* kExtension = ".dat";  // every batch file, compared ignoring case
}  // namespace batch_files

// dataFolder (ending with the path separator) + "last_read.dat".
std::string LastReadPath(const std::string& dataFolder);

// The history file name "yyyymmdd-hhnnss.dat" for a local time.
std::string HistoryFileName(const std::tm& time);

// True when name ends with ".dat" in any case: a file the history lists.
bool IsBatchFileName(std::string_view name);

// Saves batch to LastReadPath(dataFolder) and copies that file to the history file named after
// clock's time read afterwards (overwriting). Returns the history copy's path, or nullopt when
// the copy failed (which is otherwise ignored). The save throws TableError on failure.
std::optional<std::filesystem::path> SaveBatchWithHistory(const MemTable& batch,
                                                          const std::string& dataFolder,
                                                          const WallClock& clock);

}  // namespace kessmar
