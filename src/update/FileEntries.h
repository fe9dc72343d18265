// Reading the file entries of an update control file.
#pragma once

#include <functional>
#include <string>

#include "update/ControlFile.h"
#include "update/UpdateTypes.h"

namespace kessmar {

// The entry of section `section` ("file1", "file2", ...): every key as tabled for
// TFileDescription; url, localversion and targetdir pass through `expand` (the path prefixes),
// and a non-empty targetdir gets a final "/". Exceptions of expand pass through.
TFileDescription ReadFileDescription(const ControlFile& control, const std::string& section,
                                     const std::function<std::string(const std::string&)>& expand);

}  // namespace kessmar
