// The hand-over to the updater: its command line, written by the program and read by the
// updater (tools/updater). docs/update.md describes the contract.
//
// A command line is split into arguments at blanks; a double quote starts or ends a quoted
// stretch in which blanks do not split, and the quotes themselves are dropped. There are no
// escapes, so no argument can hold a double quote.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar {

struct UpdaterCall {
  int64_t processId = 0;        // the program that ends before the update
  bool logging = false;         // "L" or "X"
  bool autoRestart = true;      // false sends "null" as the program to start
  std::string appName;          // program to start; relative names are taken in currentFolder
  std::string appParams;        // its command line
  std::string currentFolder;    // the program's current folder
  std::string componentFolder;  // where the downloaded components wait (ends in "/")
  std::string appComponents;    // the components, as the control file lists them
};

// "<pid> <L|X> <program|null> <params> "<folder>" <components>": the program and the params
// enclosed in double quotes when they hold a blank, the folder always. Throws
// std::invalid_argument when a part holds a double quote or a control character (a tab would
// split it, a quote would shift every later argument).
std::string BuildUpdaterCommandLine(const UpdaterCall& call);

// The arguments of a command line, as described above.
std::vector<std::string> SplitCommandLine(std::string_view line);

// What the updater reads from its arguments (without the program's own name).
struct UpdaterArguments {
  int64_t processId = 0;
  bool logging = false;
  std::string program;  // "null": start nothing
  std::string params;
  std::string componentFolder;
  std::string components;  // the rest of the line, rejoined with blanks
};

// nullopt when fewer than five arguments are given or the first is not a process id.
std::optional<UpdaterArguments> ParseUpdaterArguments(const std::vector<std::string>& args);

// The entries of a component list: separated by "," or ";", blanks around them dropped, empty
// entries skipped.
std::vector<std::string> SplitComponentList(std::string_view components);

}  // namespace kessmar
