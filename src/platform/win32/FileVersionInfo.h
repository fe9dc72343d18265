// The version resource of a program file as Windows itself reads it (GetFileVersionInfoW).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace kessmar::platform::win32 {

// The raw VS_VERSIONINFO block of the file; nullopt when it has none or cannot be read.
std::optional<std::vector<uint8_t>> FileVersionBlock(const std::filesystem::path& file);

// One value of the block through VerQueryValueW: "\StringFileInfo\040904E4\ProductName" gives
// the text (UTF-8); nullopt when the block has no such value.
std::optional<std::string> FileVersionText(const std::vector<uint8_t>& block,
                                           const std::string& subBlock);

}  // namespace kessmar::platform::win32
