// Folders the operating system names for the program: its temporary folder, the user's
// documents folder, the per-user application-data folder, and the counterparts of the Windows,
// system and program-files folders that update control files may name.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kessmar::platform {

// The folder for the program's temporary files and downloads: "kessmar-<uid>" in $TMPDIR (when
// absolute, else /tmp), created with mode 0700, so that no other user can place, block or swap
// files the program later runs. When that name is taken by someone else (another owner, not a
// folder, open to others), "kessmar-scanner-tool" in $XDG_RUNTIME_DIR, else in ~/.cache, made the
// same way; *fallbackNote (when given) then says why. On Windows, the user's own %TEMP%. Throws
// std::runtime_error naming the folder when none can be had.
std::filesystem::path TemporaryFolder(std::string* fallbackNote = nullptr);

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
