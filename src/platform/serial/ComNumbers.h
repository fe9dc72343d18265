// Port numbers given to removable serial devices, kept across restarts in a small text file:
// one line per device, the decimal number, a tab, and the device's key (its /dev/serial/by-id
// name). Lines that do not parse are ignored and kept.
#pragma once

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace kessmar::platform {

// The number of each key: the one the file holds, or else the lowest number from 3 up that is
// neither in the file nor in taken, which is then appended to the file. The file (and its
// folder) is created when a number is added; while it is updated it is locked with flock, so
// processes running at the same time agree. When the file cannot be read or written, or file is
// empty, new numbers hold for this call only. Never throws.
std::map<std::string, int> AssignComNumbers(const std::filesystem::path& file,
                                            const std::vector<std::string>& keys,
                                            const std::set<int>& taken);

// Every number the file keeps for a device, whether that device is plugged in or not. Empty when
// the file is missing or cannot be read. Never throws.
std::set<int> KeptComNumbers(const std::filesystem::path& file);

}  // namespace kessmar::platform
