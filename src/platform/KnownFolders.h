// Folders the operating system names for the program: its temporary folder, the user's
// documents folder, the per-user application-data folder, and the counterparts of the Windows,
// system and program-files folders that update control files may name.
#pragma once

#include <filesystem>
#include <optional>

namespace kessmar::platform {

// The folder for the program's temporary files and downloads. $TMPDIR when it names an absolute
// folder; otherwise a folder of this user alone, "kessmar-<uid>" in /tmp, created with mode 0700
// when missing, so that no other user can place or swap files the program later runs. Throws
// std::runtime_error naming the folder when it cannot be made, or when it exists but belongs to
// someone else or is open to others.
std::filesystem::path TemporaryFolder();

// The user's documents folder: XDG_DOCUMENTS_DIR of $XDG_CONFIG_HOME/user-dirs.dirs (default
// ~/.config/user-dirs.dirs), else the environment variable XDG_DOCUMENTS_DIR, else $HOME.
// Throws std::runtime_error when none of them names a folder.
std::filesystem::path DocumentsFolder();

// The user's local application-data folder: $XDG_DATA_HOME when absolute, else
// $HOME/.local/share; nullopt when neither can be named.
std::optional<std::filesystem::path> LocalAppDataFolder();

// What stands here for the Windows folder (/etc), the Windows system folder (/usr/lib) and the
// program-files folder (/opt).
std::filesystem::path WindowsFolder();
std::filesystem::path SystemFolder();
std::filesystem::path ProgramFilesFolder();

}  // namespace kessmar::platform
