#include "version/VersionQuery.h"

#include <algorithm>

#include "common/CodePage.h"
#include "common/LittleEndian.h"

namespace kessmar {
namespace {

constexpr size_t kHeaderSize = 6;  // wLength, wValueLength, wType
constexpr std::string_view kRootKey = "VS_VERSION_INFO";

std::string_view AsChars(std::span<const uint8_t> bytes) {
  return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

size_t AlignUp4(size_t offset) {
  return (offset + 3) & ~size_t{3};
}

uint16_t Word(std::span<const uint8_t> block, size_t at) {
  return le::Load16At(block, at);
}

struct Node {
  size_t end = 0;  // one past the node's last byte
  uint16_t valueLength = 0;
  uint16_t type = 0;
  std::string key;  // Windows-1252
  size_t valueOffset = 0;
  size_t valueSize = 0;
  size_t childrenOffset = 0;
};

// Parses the node at `offset`, which must end at or before `limit`.
std::optional<Node> ParseNode(std::span<const uint8_t> block, size_t offset, size_t limit) {
  if (offset > limit || limit - offset < kHeaderSize) return std::nullopt;
  const uint16_t length = Word(block, offset);
  if (length < kHeaderSize || length > limit - offset) return std::nullopt;
  Node node;
  node.end = offset + length;
  node.valueLength = Word(block, offset + 2);
  node.type = Word(block, offset + 4);

  size_t at = offset + kHeaderSize;
  const size_t keyStart = at;
  while (true) {
    if (node.end - at < 2) return std::nullopt;  // key without its NUL
    if (Word(block, at) == 0) break;
    at += 2;
  }
  node.key = Utf16LeToCp1252(AsChars(block.subspan(keyStart, at - keyStart)));
  at += 2;

  node.valueOffset = std::min(AlignUp4(at), node.end);
  // Text lengths count UTF-16 units, binary lengths bytes.
  const size_t declared = node.type == 1 ? size_t{node.valueLength} * 2 : node.valueLength;
  node.valueSize = std::min(declared, node.end - node.valueOffset);
  node.childrenOffset = std::min(AlignUp4(node.valueOffset + node.valueSize), node.end);
  return node;
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<Node> FindChild(std::span<const uint8_t> block, const Node& parent,
                              std::string_view key) {
  size_t at = parent.childrenOffset;
  while (at < parent.end && parent.end - at >= kHeaderSize) {
    auto child = ParseNode(block, at, parent.end);
    if (!child) return std::nullopt;
    if (SameKey(child->key, key)) return child;
    at = AlignUp4(child->end);  // every node is at least kHeaderSize long: progress is certain
  }
  return std::nullopt;
}

std::optional<Node> ParseRoot(std::span<const uint8_t> block) {
  auto root = ParseNode(block, 0, block.size());
  if (!root || !SameKey(root->key, kRootKey)) return std::nullopt;
  return root;
}

}  // namespace

bool IsVersionInfoBlock(std::span<const uint8_t> block) {
  return ParseRoot(block).has_value();
}

std::optional<VersionValue> QueryVersionValue(std::span<const uint8_t> block,
                                              std::string_view subBlock) {
  auto node = ParseRoot(block);
  if (!node) return std::nullopt;
  size_t start = 0;
  while (start <= subBlock.size()) {
    size_t stop = subBlock.find('\\', start);
    if (stop == std::string_view::npos) stop = subBlock.size();
    const std::string_view part = subBlock.substr(start, stop - start);
    if (!part.empty()) {
      node = FindChild(block, *node, part);
      if (!node) return std::nullopt;
    }
    start = stop + 1;
  }
  return VersionValue{block.subspan(node->valueOffset, node->valueSize), node->type == 1};
}

std::string VersionText(const VersionValue& value) {
  size_t units = value.bytes.size() / 2;
  for (size_t i = 0; i < units; ++i) {
    if (value.bytes[2 * i] == 0 && value.bytes[2 * i + 1] == 0) {
      units = i;
      break;
    }
  }
  return Utf16LeToCp1252(AsChars(value.bytes.first(units * 2)));
}

}  // namespace kessmar
