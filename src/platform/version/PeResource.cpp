#include "platform/version/PeResource.h"

#include <algorithm>
#include <cstdint>

namespace kessmar::platform {
namespace {

constexpr uint16_t kDosMagic = 0x5A4D;     // "MZ"
constexpr uint32_t kPeSignature = 0x4550;  // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kSubdirectoryFlag = 0x80000000;
constexpr uint32_t kNameIsStringFlag = 0x80000000;

struct Section {
  uint32_t virtualAddress = 0;
  uint32_t virtualSize = 0;
  uint32_t rawSize = 0;
  uint32_t rawOffset = 0;
};

struct DirectoryEntry {
  uint32_t name = 0;
  uint32_t offset = 0;  // relative to the resource directory root
  bool IsSubdirectory() const { return (offset & kSubdirectoryFlag) != 0; }
  uint32_t Target() const { return offset & ~kSubdirectoryFlag; }
};

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return uint32_t{bytes[at]} | (uint32_t{bytes[at + 1]} << 8) | (uint32_t{bytes[at + 2]} << 16) |
         (uint32_t{bytes[at + 3]} << 24);
}

class PeImage {
 public:
  explicit PeImage(ByteSource& source) : source_(source) {}

  // Reads the headers and the section table and finds the resource directory's bytes; false
  // when they are not those of a PE image with resources.
  bool Load();

  // Up to `limit` entries of the resource directory at `offset` from the resource root.
  std::optional<std::vector<DirectoryEntry>> Directory(uint32_t offset, size_t limit);

  // The data that the data entry at `offset` from the resource root describes.
  std::optional<std::vector<uint8_t>> ReadDataEntry(uint32_t offset, uint64_t maxSize);

 private:
  // The section whose virtual range holds `rva`, or nullptr.
  const Section* SectionOf(uint64_t rva) const;

  // The file offset of `size` bytes at `rva`, when they all lie in the raw data of one section.
  std::optional<uint64_t> FileOffset(uint64_t rva, uint64_t size) const;

  // Bytes of the resource directory: they lie in the section holding its root.
  std::optional<std::vector<uint8_t>> ResourceBytes(uint64_t offsetFromRoot, uint64_t size);

  ByteSource& source_;
  std::vector<Section> sections_;
  uint64_t resourceFileOffset_ = 0;  // where the resource root lies in the file
  uint64_t resourceAvailable_ = 0;   // raw bytes from the root to its section's end
};

bool PeImage::Load() {
  if (source_.ReadU16(0) != kDosMagic) return false;
  const auto peOffset = source_.ReadU32(0x3C);
  if (!peOffset || source_.ReadU32(*peOffset) != kPeSignature) return false;
  const uint64_t coff = uint64_t{*peOffset} + 4;
  const auto sectionCount = source_.ReadU16(coff + 2);
  const auto optionalSize = source_.ReadU16(coff + 16);
  if (!sectionCount || !optionalSize) return false;

  const uint64_t optional = coff + 20;
  const auto magic = source_.ReadU16(optional);
  uint64_t countField = 0;
  uint64_t directories = 0;
  if (magic == kMagicPe32) {
    countField = 92;
    directories = 96;
  } else if (magic == kMagicPe32Plus) {
    countField = 108;
    directories = 112;
  } else {
    return false;
  }
  const uint64_t resourceEntry = directories + 8 * kResourceDirectoryIndex;
  if (*optionalSize < resourceEntry + 8) return false;
  const auto directoryCount = source_.ReadU32(optional + countField);
  if (!directoryCount || *directoryCount <= kResourceDirectoryIndex) return false;
  const auto resourceRva = source_.ReadU32(optional + resourceEntry);
  if (!resourceRva || *resourceRva == 0) return false;

  const uint64_t table = optional + *optionalSize;
  const auto headers = source_.ReadBytes(table, uint64_t{40} * *sectionCount);
  if (!headers) return false;
  sections_.reserve(*sectionCount);
  for (size_t base = 0; base < headers->size(); base += 40) {
    const auto& h = *headers;
    sections_.push_back(
        {Le32(h, base + 12), Le32(h, base + 8), Le32(h, base + 16), Le32(h, base + 20)});
  }

  const Section* section = SectionOf(*resourceRva);
  if (section == nullptr) return false;
  const uint64_t delta = *resourceRva - section->virtualAddress;
  if (delta > section->rawSize) return false;
  resourceFileOffset_ = section->rawOffset + delta;
  resourceAvailable_ = section->rawSize - delta;
  return true;
}

const Section* PeImage::SectionOf(uint64_t rva) const {
  for (const Section& s : sections_) {
    const uint64_t extent = std::max(s.virtualSize, s.rawSize);
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent) return &s;
  }
  return nullptr;
}

std::optional<uint64_t> PeImage::FileOffset(uint64_t rva, uint64_t size) const {
  const Section* s = SectionOf(rva);
  if (s == nullptr) return std::nullopt;
  // Bytes past the raw data are zero-filled by the loader and not in the file: not ours.
  const uint64_t delta = rva - s->virtualAddress;
  if (delta > s->rawSize || size > s->rawSize - delta) return std::nullopt;
  return uint64_t{s->rawOffset} + delta;
}

std::optional<std::vector<uint8_t>> PeImage::ResourceBytes(uint64_t offsetFromRoot, uint64_t size) {
  if (offsetFromRoot > resourceAvailable_ || size > resourceAvailable_ - offsetFromRoot) {
    return std::nullopt;
  }
  return source_.ReadBytes(resourceFileOffset_ + offsetFromRoot, size);
}

std::optional<std::vector<DirectoryEntry>> PeImage::Directory(uint32_t offset, size_t limit) {
  const auto header = ResourceBytes(offset, 16);
  if (!header) return std::nullopt;
  const size_t named = (*header)[12] | ((*header)[13] << 8);
  const size_t ids = (*header)[14] | ((*header)[15] << 8);
  const size_t count = std::min(named + ids, limit);
  const auto table = ResourceBytes(uint64_t{offset} + 16, 8 * uint64_t{count});
  if (!table) return std::nullopt;
  std::vector<DirectoryEntry> entries;
  entries.reserve(count);
  for (size_t i = 0; i < count; ++i)
    entries.push_back({Le32(*table, 8 * i), Le32(*table, 8 * i + 4)});
  return entries;
}

std::optional<std::vector<uint8_t>> PeImage::ReadDataEntry(uint32_t offset, uint64_t maxSize) {
  const auto entry = ResourceBytes(offset, 8);
  if (!entry) return std::nullopt;
  const uint64_t wanted = std::min<uint64_t>(Le32(*entry, 4), maxSize);
  const auto at = FileOffset(Le32(*entry, 0), wanted);
  if (!at) return std::nullopt;
  return source_.ReadBytes(*at, wanted);
}

}  // namespace

std::optional<std::vector<uint8_t>> ReadPeResource(ByteSource& source, uint16_t type,
                                                   uint64_t maxSize) {
  PeImage image(source);
  if (!image.Load()) return std::nullopt;

  const auto types = image.Directory(0, SIZE_MAX);
  if (!types) return std::nullopt;
  const auto typeEntry = std::find_if(types->begin(), types->end(), [&](const DirectoryEntry& e) {
    return (e.name & kNameIsStringFlag) == 0 && e.name == type;
  });
  if (typeEntry == types->end() || !typeEntry->IsSubdirectory()) return std::nullopt;

  const auto names = image.Directory(typeEntry->Target(), 1);
  if (!names || names->empty() || !names->front().IsSubdirectory()) return std::nullopt;

  const auto languages = image.Directory(names->front().Target(), 1);
  if (!languages || languages->empty() || languages->front().IsSubdirectory()) {
    return std::nullopt;
  }
  return image.ReadDataEntry(languages->front().Target(), maxSize);
}

}  // namespace kessmar::platform
