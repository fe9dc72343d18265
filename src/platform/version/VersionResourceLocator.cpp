#include "platform/version/VersionResourceLocator.h"

#include "platform/version/ElfSection.h"
#include "platform/version/PeResource.h"

namespace kessmar::platform {

std::optional<std::vector<uint8_t>> ReadVersionResource(ByteSource& source) {
  auto block = IsElf(source)
                   ? ReadElfSection(source, kVersionSectionName, kMaxVersionResourceSize)
                   : ReadPeResource(source, kResourceTypeVersion, kMaxVersionResourceSize);
  if (!block || block->empty()) return std::nullopt;
  return block;
}

std::optional<std::vector<uint8_t>> ReadVersionResource(const std::filesystem::path& file) {
  auto source = FileByteSource::Open(file);
  if (!source) return std::nullopt;
  return ReadVersionResource(*source);
}

}  // namespace kessmar::platform
