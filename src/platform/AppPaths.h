// Where the program keeps its settings file and its Data folder.
#pragma once

#include <filesystem>
#include <string>

namespace kessmar::platform {

// Separator between a folder and a name in the paths the program builds.
#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
#else
inline constexpr char kPathSeparator = '/';
#endif

// Full path of the running executable. Throws std::runtime_error when it cannot be determined.
std::filesystem::path ExecutablePath();

// True for an executable installed for every user of the system: one under /usr (including
// /usr/local) or /opt.
bool InstalledSystemWide(const std::filesystem::path& executable);

// The folder that holds the settings file, the Data folder and the diagnostics log: the
// executable's own folder, or the per-user data folder when the executable is installed system
// wide or its folder is not writable. Each user of an installed tool thus keeps files of their
// own, also a user who could write to the program's folder.
std::filesystem::path ProgramHomeFolder(const std::filesystem::path& executable);

// The settings file for an executable: ProgramHomeFolder + the executable's name with its
// extension replaced by ".ini" (appended when it has none).
std::filesystem::path SettingsFilePath(const std::filesystem::path& executable);

// The Data folder, as text ending in the path separator: ProgramHomeFolder + "Data/".
std::string DataFolderPath(const std::filesystem::path& executable);

// The diagnostics log: ProgramHomeFolder + the executable's name with the extension ".log".
std::filesystem::path LogFilePath(const std::filesystem::path& executable);

// The per-user data folder of the program ($XDG_DATA_HOME/kessmar-scanner-tool, by default
// ~/.local/share/kessmar-scanner-tool).
std::filesystem::path UserDataFolder();

}  // namespace kessmar::platform
