// Little helpers for tests that lay out binary files byte by byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kessmar::test {

class ByteWriter {
 public:
  explicit ByteWriter(bool bigEndian = false) : bigEndian_(bigEndian) {}

  size_t Size() const { return bytes_.size(); }
  std::vector<uint8_t>& Bytes() { return bytes_; }

  void Put(uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian_ ? 8 * (width - 1 - i) : 8 * i;
      bytes_.push_back(static_cast<uint8_t>(value >> shift));
    }
  }
  void U8(uint8_t v) { Put(v, 1); }
  void U16(uint16_t v) { Put(v, 2); }
  void U32(uint32_t v) { Put(v, 4); }
  void U64(uint64_t v) { Put(v, 8); }
  void Text(std::string_view text) { bytes_.insert(bytes_.end(), text.begin(), text.end()); }
  void Append(const std::vector<uint8_t>& more) {
    bytes_.insert(bytes_.end(), more.begin(), more.end());
  }
  void PadTo(size_t size) {
    if (bytes_.size() < size) bytes_.resize(size, 0);
  }
  void Align(size_t alignment) { PadTo((bytes_.size() + alignment - 1) / alignment * alignment); }

  // Overwrites `width` bytes at `offset` (which must already exist).
  void PatchAt(size_t offset, uint64_t value, int width) {
    for (int i = 0; i < width; ++i) {
      const int shift = bigEndian_ ? 8 * (width - 1 - i) : 8 * i;
      bytes_.at(offset + i) = static_cast<uint8_t>(value >> shift);
    }
  }

 private:
  bool bigEndian_;
  std::vector<uint8_t> bytes_;
};

}  // namespace kessmar::test
