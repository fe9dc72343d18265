// Where the program keeps its settings file and its Data folder.
#pragma once

#include <filesystem>
#include <string>

namespace kessmar::platform {

// Separator between a folder and a name in the paths the program builds.
inline constexpr char kPathSeparator = '/';

// Full path of the running executable. Throws std::runtime_error when it cannot be determined.
std::filesystem::path ExecutablePath();

// The settings file for an executable: its path with the extension replaced by ".ini" (appended
// when it has none). When the executable's folder is not writable (a system-wide install), the
// file lives in the per-user data folder instead.
std::filesystem::path SettingsFilePath(const std::filesystem::path& executable);

// The Data folder, as text ending in the path separator: "Data/" beside the executable, or in
// the per-user data folder when the executable's folder is not writable.
std::string DataFolderPath(const std::filesystem::path& executable);

// The per-user data folder of the program ($XDG_DATA_HOME/kessmar-scanner-tool, by default
// ~/.local/share/kessmar-scanner-tool).
std::filesystem::path UserDataFolder();

}  // namespace kessmar::platform
