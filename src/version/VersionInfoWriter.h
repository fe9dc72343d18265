// Builds raw VS_VERSIONINFO blocks in the Windows layout (see VersionQuery.h), for the build's
// version resource generator and for tests that need resources of a given shape.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "version/VersionNumber.h"

namespace kessmar {

// The fixed part (VS_FIXEDFILEINFO); the signature and structure version are added.
struct FixedFileInfo {
  VersionNumber fileVersion;
  VersionNumber productVersion;
  uint32_t fileFlagsMask = 0x3F;  // VS_FFI_FILEFLAGSMASK
  uint32_t fileFlags = 0;
  uint32_t fileOs = 0;    // VOS_UNKNOWN: our programs are not tied to a Windows flavour
  uint32_t fileType = 1;  // VFT_APP
  uint32_t fileSubtype = 0;
};

// One "\StringFileInfo\<key>" table; names and values in UTF-8.
struct VersionStringTable {
  std::string key = "040904E4";
  std::vector<std::pair<std::string, std::string>> values;
};

// One "\VarFileInfo\<key>" value, stored as given.
struct VersionVar {
  std::string key = "Translation";
  std::vector<uint8_t> value;
};

struct VersionInfoContents {
  std::optional<FixedFileInfo> fixed;      // nullopt: a root without value
  std::vector<VersionStringTable> tables;  // empty: no StringFileInfo node
  std::vector<VersionVar> vars;            // empty: no VarFileInfo node
};

// The (language, code page) pair 0x0409, 0x04E4 (US English, Windows-1252) as a Translation
// value.
std::vector<uint8_t> UsEnglishTranslation();

// The block for `contents`, its nodes in the order given. Throws std::invalid_argument naming
// the node when a name or value is not valid UTF-8 or a node would exceed the 65535 bytes its
// length field can state.
std::vector<uint8_t> BuildVersionResource(const VersionInfoContents& contents);

}  // namespace kessmar
