#include "update/EmbeddedUpdater.h"

#include "platform/version/ByteSource.h"
#include "platform/version/ElfSection.h"

namespace kessmar {
namespace {
constexpr uint64_t kMaxUpdaterSize = 64u << 20;
}

std::optional<std::vector<uint8_t>> ReadEmbeddedUpdater(const std::filesystem::path& programFile) {
  auto source = platform::FileByteSource::Open(programFile);
  if (!source) return std::nullopt;
  auto bytes = platform::ReadElfSection(*source, kUpdaterSectionName, kMaxUpdaterSize);
  if (!bytes || bytes->empty()) return std::nullopt;
  return bytes;
}

}  // namespace kessmar
