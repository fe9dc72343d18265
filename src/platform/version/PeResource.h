// Resources of Windows PE images (PE32 and PE32+), found the way the Windows loader finds
// them: data directory, section table, then the three-level resource directory
// (type, name, language).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/version/ByteSource.h"

namespace kessmar::platform {

inline constexpr uint16_t kResourceTypeVersion = 16;  // RT_VERSION

// The data of the resource of numeric type `type` with the first name under that type and
// that name's first language, cut to at most `maxSize` bytes. Returns nullopt when the source
// is not a PE image, has no such resource, or when any header, directory, data entry or the
// data itself lies outside the image's sections or the file. Never throws except
// std::bad_alloc.
std::optional<std::vector<uint8_t>> ReadPeResource(ByteSource& source, uint16_t type,
                                                   uint64_t maxSize);

}  // namespace kessmar::platform
