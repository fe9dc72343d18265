// The version line of the About window.
#pragma once

#include <string>

#include "version/VersionInfoReader.h"

namespace kessmar {

// "Versie : <major>.<minor>   Build : <build>     <BuildTimestamp>", the numbers those of the
// product version in decimal, for example "Versie : 1.0   Build : 170     4-11-2010 14:48:01".
// Without a "BuildTimestamp" the line ends in the five blanks. Text in Windows-1252.
std::string FormatVersionLine(const VersionInfoReader& version);

}  // namespace kessmar
