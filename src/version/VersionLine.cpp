#include "version/VersionLine.h"

namespace kessmar {

std::string FormatVersionLine(const VersionInfoReader& version) {
  return "Versie : " + std::to_string(version.ProductVersion(0)) + "." +
         std::to_string(version.ProductVersion(1)) +
         "   Build : " + std::to_string(version.ProductVersion(3)) + "     " +
         version.StringValue("BuildTimestamp");
}

}  // namespace kessmar
