// Named sections of ELF files (32- and 64-bit, either byte order), found through the section
// header table, so that data a program carries in a section of its own can be read back from
// its file without loading it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/version/ByteSource.h"

namespace kessmar::platform {

// True when the source starts with the ELF magic bytes.
bool IsElf(ByteSource& source);

// The contents of the first section called `name` that occupies bytes in the file (sections
// of type SHT_NOBITS are skipped), cut to at most `maxSize` bytes. Returns nullopt when the
// source is not an ELF file, has no such section, or when a header, the section name table or
// the section itself points outside the file. Never throws except std::bad_alloc.
std::optional<std::vector<uint8_t>> ReadElfSection(ByteSource& source, std::string_view name,
                                                   uint64_t maxSize);

}  // namespace kessmar::platform
