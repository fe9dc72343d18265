#include "platform/version/ElfSection.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace kessmar::platform {
namespace {

constexpr uint8_t kClass32 = 1;
constexpr uint8_t kClass64 = 2;
constexpr uint8_t kDataLittle = 1;
constexpr uint8_t kDataBig = 2;
constexpr uint32_t kSectionNoBits = 8;            // SHT_NOBITS: occupies no file space
constexpr uint16_t kSectionIndexEscape = 0xFFFF;  // SHN_XINDEX

struct SectionHeader {
  uint32_t name = 0;
  uint32_t type = 0;
  uint64_t offset = 0;
  uint64_t size = 0;
  uint32_t link = 0;
};

// The layout of one ELF class: where the header fields sit and how big a section header is.
struct ElfLayout {
  bool is64 = false;
  bool bigEndian = false;
  uint64_t tableOffset = 0;
  uint64_t entrySize = 0;
  uint64_t count = 0;
  uint64_t nameTableIndex = 0;
};

bool InFile(ByteSource& source, uint64_t offset, uint64_t size) {
  return offset <= source.Size() && size <= source.Size() - offset;
}

std::optional<SectionHeader> ReadHeaderAt(ByteSource& source, const ElfLayout& elf, uint64_t base) {
  const bool be = elf.bigEndian;
  SectionHeader h;
  auto name = source.ReadU32(base, be);
  auto type = source.ReadU32(base + 4, be);
  std::optional<uint64_t> offset, size;
  std::optional<uint32_t> link;
  if (elf.is64) {
    offset = source.ReadU64(base + 24, be);
    size = source.ReadU64(base + 32, be);
    link = source.ReadU32(base + 40, be);
  } else {
    offset = source.ReadU32(base + 16, be);
    size = source.ReadU32(base + 20, be);
    link = source.ReadU32(base + 24, be);
  }
  if (!name || !type || !offset || !size || !link) return std::nullopt;
  h.name = *name;
  h.type = *type;
  h.offset = *offset;
  h.size = *size;
  h.link = *link;
  return h;
}

std::optional<SectionHeader> ReadHeader(ByteSource& source, const ElfLayout& elf, uint64_t index) {
  if (index >= elf.count) return std::nullopt;
  return ReadHeaderAt(source, elf, elf.tableOffset + index * elf.entrySize);
}

// Reads the ELF header; the section count and name table index are resolved, including the
// escapes that move them into section 0 when they do not fit the header fields.
std::optional<ElfLayout> ReadLayout(ByteSource& source) {
  std::array<uint8_t, 16> ident{};
  if (!source.Read(0, ident)) return std::nullopt;
  if (std::memcmp(ident.data(),
                  "\x7f"
                  "ELF",
                  4) != 0)
    return std::nullopt;
  if (ident[4] != kClass32 && ident[4] != kClass64) return std::nullopt;
  if (ident[5] != kDataLittle && ident[5] != kDataBig) return std::nullopt;

  ElfLayout elf;
  elf.is64 = ident[4] == kClass64;
  elf.bigEndian = ident[5] == kDataBig;
  const bool be = elf.bigEndian;
  std::optional<uint64_t> tableOffset;
  std::optional<uint16_t> entrySize, count, nameIndex;
  if (elf.is64) {
    tableOffset = source.ReadU64(0x28, be);
    entrySize = source.ReadU16(0x3A, be);
    count = source.ReadU16(0x3C, be);
    nameIndex = source.ReadU16(0x3E, be);
  } else {
    tableOffset = source.ReadU32(0x20, be);
    entrySize = source.ReadU16(0x2E, be);
    count = source.ReadU16(0x30, be);
    nameIndex = source.ReadU16(0x32, be);
  }
  if (!tableOffset || !entrySize || !count || !nameIndex) return std::nullopt;
  const uint64_t minEntrySize = elf.is64 ? 64 : 40;
  if (*tableOffset == 0 || *entrySize < minEntrySize) return std::nullopt;
  elf.tableOffset = *tableOffset;
  elf.entrySize = *entrySize;
  elf.count = *count;
  elf.nameTableIndex = *nameIndex;

  if (elf.count == 0 || elf.nameTableIndex == kSectionIndexEscape) {
    auto first = ReadHeaderAt(source, elf, elf.tableOffset);
    if (!first) return std::nullopt;
    if (elf.count == 0) elf.count = first->size;
    if (elf.nameTableIndex == kSectionIndexEscape) elf.nameTableIndex = first->link;
  }
  // The whole table must lie in the file; this also bounds every loop over it.
  if (elf.tableOffset > source.Size() ||
      elf.count > (source.Size() - elf.tableOffset) / elf.entrySize) {
    return std::nullopt;
  }
  return elf;
}

}  // namespace

bool IsElf(ByteSource& source) {
  std::array<uint8_t, 4> magic{};
  return source.Read(0, magic) && std::memcmp(magic.data(),
                                              "\x7f"
                                              "ELF",
                                              4) == 0;
}

std::optional<std::vector<uint8_t>> ReadElfSection(ByteSource& source, std::string_view name,
                                                   uint64_t maxSize) {
  const auto elf = ReadLayout(source);
  if (!elf) return std::nullopt;
  const auto names = ReadHeader(source, *elf, elf->nameTableIndex);
  if (!names || names->type == kSectionNoBits || !InFile(source, names->offset, names->size)) {
    return std::nullopt;
  }

  // A section matches when its name, with its terminating NUL, lies inside the name table.
  std::vector<uint8_t> wanted(name.begin(), name.end());
  wanted.push_back(0);
  std::vector<uint8_t> candidate(wanted.size());
  for (uint64_t i = 0; i < elf->count; ++i) {
    const auto section = ReadHeader(source, *elf, i);
    if (!section) return std::nullopt;
    if (section->type == kSectionNoBits) continue;
    if (section->name > names->size || wanted.size() > names->size - section->name) continue;
    if (!source.Read(names->offset + section->name, candidate) || candidate != wanted) continue;

    if (!InFile(source, section->offset, section->size)) return std::nullopt;
    return source.ReadBytes(section->offset, std::min(section->size, maxSize));
  }
  return std::nullopt;
}

}  // namespace kessmar::platform
