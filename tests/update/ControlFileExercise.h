// Reads a control file in every way the update component does, without files or network:
// the shared body of the fuzz target and of the corpus test.
#pragma once

#include <string_view>

namespace kessmar {

// Parses text and reads every key, entry, version, date, path and command line the component
// would take from it. Throws nothing; a fault shows as a crash or a sanitizer report.
void ExerciseControlFile(std::string_view text);

}  // namespace kessmar
