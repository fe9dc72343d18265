// The version information of a program file: its fixed version numbers, its translation list
// and its string values, read once from the file's version resource.
//
// A file without a version resource (or with one that is damaged at its root) reads as all
// numbers 0, no translations and every string empty; HasVersionInfo() tells the two apart.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "version/VersionNumber.h"

namespace kessmar {

class VersionInfoReader {
 public:
  // Number of string values addressed by index: 0 "CompanyName" ... 12 "BuildTimestamp".
  static constexpr int kStringCount = 13;

  // A reader for a file without version resource.
  VersionInfoReader() = default;

  // Reads the version resource of `programFile` (an ELF program of ours or a Windows PE file).
  // A missing or unreadable file counts as a file without version resource. Never throws
  // except std::bad_alloc.
  explicit VersionInfoReader(const std::filesystem::path& programFile);

  // Interprets `resource`, a raw VS_VERSIONINFO block (empty: no resource).
  explicit VersionInfoReader(std::vector<uint8_t> resource);

  bool HasVersionInfo() const { return hasVersionInfo_; }

  // Component `index` (0 major, 1 minor, 2 release, 3 build) of the product or file version
  // from the fixed part; 0 for an index outside 0..3 and when the fixed part is missing.
  uint16_t ProductVersion(int index) const { return productVersion_.Component(index); }
  uint16_t FileVersion(int index) const { return fileVersion_.Component(index); }

  // All four components at once, ordered for version comparisons.
  const VersionNumber& ProductVersionNumber() const { return productVersion_; }
  const VersionNumber& FileVersionNumber() const { return fileVersion_; }

  // The "\VarFileInfo\Translation" entries as eight lower-case hex digits each ("040904e4").
  const std::vector<std::string>& Translations() const { return translations_; }

  // The string table consulted by StringValue: the first translation, else "040904E4".
  std::string StringTableKey() const;

  // The string value at `index` (see StringName); empty outside 0..12 and when missing.
  std::string StringValue(int index) const;

  // The string value `name` of the string table, in Windows-1252; empty when missing.
  std::string StringValue(std::string_view name) const;

  // The name of string value `index`; empty outside 0..12.
  static std::string_view StringName(int index);

  // The raw block as read (empty without version resource).
  const std::vector<uint8_t>& Resource() const { return resource_; }

 private:
  void Interpret();

  std::vector<uint8_t> resource_;
  bool hasVersionInfo_ = false;
  VersionNumber fileVersion_;
  VersionNumber productVersion_;
  std::vector<std::string> translations_;
};

}  // namespace kessmar
