// Base64 (RFC 4648, with "=" padding) as PEM files and signature files write it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar {

std::string EncodeBase64(std::span<const uint8_t> bytes);

// The bytes of text; blanks and line ends between the characters are skipped. nullopt for any
// other character outside the alphabet, a wrong length or misplaced padding.
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

}  // namespace kessmar
