// Lookups in a raw VS_VERSIONINFO block, the way VerQueryValue answers them.
//
// The block is a tree of nodes, each: WORD wLength (whole node with its children), WORD
// wValueLength, WORD wType (0 binary, 1 text), a NUL-terminated UTF-16LE key, padding to a
// 32-bit boundary, the value, padding, then the children, each starting on a 32-bit boundary.
// The root's key is "VS_VERSION_INFO" and its value the fixed part (VS_FIXEDFILEINFO).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kessmar {

// One value found in a block. `bytes` points into the caller's block.
struct VersionValue {
  std::span<const uint8_t> bytes;  // the value as stored, cut to the end of its node
  bool isText = false;             // UTF-16LE text (wType 1)
};

// Follows `subBlock` from the root: "\" is the root's own value, "\VarFileInfo\Translation"
// and "\StringFileInfo\040904E4\ProductName" name nodes along the path; keys match without
// regard to ASCII letter case and empty path parts are skipped. Returns nullopt when the root
// is not a well-formed "VS_VERSION_INFO" node or a node on the path is missing or damaged.
// Never reads outside `block`.
std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::string_view subBlock);

// True when `block` starts with a well-formed "VS_VERSION_INFO" root node.
bool IsVersionInfoBlock(std::span<const uint8_t> block);

// A text value up to its terminating NUL (or its end), in Windows-1252; characters that the
// code page lacks become '?'.
std::string VersionText(const VersionValue& value);

}  // namespace kessmar
