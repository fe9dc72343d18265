// The parts of expansion that do not depend on the expander: the staging file that replaces its
// target when complete, and the SZDD header.
#include <array>
#include <cstring>
#include <fstream>

#include "platform/FileCalls.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/archive/Archive.h"
#include "platform/archive/Staging.h"

namespace kessmar::platform {

Staging::Staging(const std::filesystem::path& target) : target_(target) {
  const auto folder = target.has_parent_path() ? target.parent_path() : ".";
  try {
    UniqueFile file(folder, "." + target.filename().string() + ".");
    file.Close();
    path_ = file.Path();
  } catch (const FileError& e) {
    throw ArchiveError("Cannot create a file beside " + target.string() + ": " + e.what());
  }
}

Staging::~Staging() {
  if (!committed_) file_calls::RemoveQuietly(path_);
}

void Staging::Commit() {
  try {
    file_calls::Replace(path_, target_);
  } catch (const FileError& e) {
    throw ArchiveError("Cannot put " + target_.string() + " in place: " + e.what());
  }
  committed_ = true;
}

std::optional<SzddHeader> ReadSzddHeader(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::array<unsigned char, 14> header{};
  if (!in.read(reinterpret_cast<char*>(header.data()), header.size())) return std::nullopt;
  static constexpr unsigned char kMagic[8] = {'S', 'Z', 'D', 'D', 0x88, 0xF0, 0x27, 0x33};
  if (std::memcmp(header.data(), kMagic, sizeof kMagic) != 0 || header[8] != 'A') {
    return std::nullopt;
  }
  SzddHeader result;
  result.missingChar = static_cast<char>(header[9]);
  result.expandedSize = uint32_t{header[10]} | uint32_t{header[11]} << 8 |
                        uint32_t{header[12]} << 16 | uint32_t{header[13]} << 24;
  return result;
}

}  // namespace kessmar::platform
