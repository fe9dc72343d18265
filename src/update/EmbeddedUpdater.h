// The updater the program carries: the SZDD-compressed "wusetup" (the Windows program's resource
// "UPD"), placed by the build in an ELF section of the program file (tools/updater,
// kessmar_embed_updater).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace kessmar {

inline constexpr std::string_view kUpdaterSectionName = ".kessmar_upd";

// The compressed updater carried by programFile; nullopt when it carries none or cannot be read.
// Never throws except std::bad_alloc.
std::optional<std::vector<uint8_t>> ReadEmbeddedUpdater(const std::filesystem::path& programFile);

}  // namespace kessmar
