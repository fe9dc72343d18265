// How the updater puts the downloaded components in place: all of them or none.
//
// Every new file is first written completely beside the file it replaces (staging). Only when
// all are staged are they put in place, each with one rename; the old files are kept as links
// until the last rename succeeded, and put back when one fails. An update that stops before the
// renames leaves the old program untouched.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kessmar {

struct ComponentMove {
  std::filesystem::path source;       // the downloaded component
  std::filesystem::path destination;  // the file it replaces (or becomes)
};

// One move per entry of components: the source is componentFolder + the entry's file name; the
// destination is the entry itself when it holds a "/", else programFolder + the entry.
std::vector<ComponentMove> PlanComponentMoves(const std::vector<std::string>& components,
                                              const std::filesystem::path& componentFolder,
                                              const std::filesystem::path& programFolder);

// Puts every source in its destination's place, keeping a replaced file's permissions (a new
// file gets mode 0755 when it is `program`, else 0644), and deletes the sources afterwards.
// Missing destination folders are created. Throws std::runtime_error naming the file when
// anything fails; every destination is then as it was before.
void InstallComponents(const std::vector<ComponentMove>& moves,
                       const std::filesystem::path& program);

}  // namespace kessmar
