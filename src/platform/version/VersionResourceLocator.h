// The version resource service: finds the raw VS_VERSIONINFO block of a program file.
//
// Our own executables carry the block in an ELF section of their own (kVersionSectionName,
// written by the build); Windows programs carry it as their RT_VERSION resource. The block's
// layout is the same in both, so one reader interprets it (see src/version).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/version/ByteSource.h"

namespace kessmar::platform {

inline constexpr std::string_view kVersionSectionName = ".kessmar_version";

// A VS_VERSIONINFO block states its length in 16 bits, so no block is longer than this;
// anything beyond it in a section or resource is not read.
inline constexpr uint64_t kMaxVersionResourceSize = 0x10000;

// The raw version resource of the program in `source`: the ELF section if the source is an
// ELF file that has it, else the RT_VERSION resource if it is a PE image that has one. Returns
// nullopt when there is none (also for an empty one) or the file's structures are damaged.
// Never throws except std::bad_alloc.
std::optional<std::vector<uint8_t>> ReadVersionResource(ByteSource& source);

// As above for the file at `file`; a file that cannot be opened has no version resource.
std::optional<std::vector<uint8_t>> ReadVersionResource(const std::filesystem::path& file);

}  // namespace kessmar::platform
