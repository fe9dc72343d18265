// Microsoft's compressed file formats the program update unpacks: single files compressed in
// the "SZDD" format (what the LZ expansion functions of Windows read) and cabinet (.CAB) files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/FileTimes.h"

namespace kessmar::platform {

// A file that cannot be read as the archive it should be, or whose contents cannot be written
// out. what() names the file and the reason.
class ArchiveError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The 14-byte header of an SZDD file: "SZDD" 0x88 0xF0 0x27 0x33, the mode 'A', the character
// that compression replaced at the end of the file's name, and the expanded size (32-bit,
// little-endian).
struct SzddHeader {
  char missingChar = 0;
  uint32_t expandedSize = 0;
};

// The header of the file at path when it is an SZDD file; nullopt when it is not (also when it
// cannot be read). Never throws.
std::optional<SzddHeader> ReadSzddHeader(const std::filesystem::path& path);

// Expands the SZDD file `source` into `target`. The data goes to a new file beside target first
// and replaces target only when complete, so a failure leaves an existing target as it was.
// Throws ArchiveError naming the file.
void ExpandSzdd(const std::filesystem::path& source, const std::filesystem::path& target);

// One file stored in a cabinet.
struct CabinetEntry {
  std::string name;   // as stored: folders separated by "\"
  bool utf8 = false;  // name is UTF-8; otherwise it is in the writer's single-byte code page
  uint32_t length = 0;
  std::optional<LocalDateTime> time;  // nullopt when the cabinet stores no valid date
};

// A cabinet opened for extraction. Files that continue in another cabinet of a set cannot be
// extracted.
class Cabinet {
 public:
  // Throws ArchiveError when path cannot be opened or is not a cabinet.
  explicit Cabinet(const std::filesystem::path& path);
  Cabinet(const Cabinet&) = delete;
  Cabinet& operator=(const Cabinet&) = delete;
  ~Cabinet();

  const std::vector<CabinetEntry>& Entries() const { return entries_; }

  // Writes entry `index` to target, through a new file beside target that replaces it only when
  // complete. The target's folder must exist. Throws ArchiveError.
  void Extract(size_t index, const std::filesystem::path& target);

 private:
  struct Impl;
  std::filesystem::path path_;  // declared first: the library reads through its text
  std::unique_ptr<Impl> impl_;
  std::vector<CabinetEntry> entries_;
};

}  // namespace kessmar::platform
