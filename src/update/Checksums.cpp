#include "update/Checksums.h"

#include <array>

#include "platform/Files.h"

namespace kessmar {
namespace {

constexpr std::array<uint32_t, 256> MakeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = MakeCrcTable();

}  // namespace

uint32_t ByteSum(const unsigned char* data, size_t size, uint32_t sum) {
  for (size_t i = 0; i < size; ++i) sum += data[i];
  return sum;
}

uint32_t CrcVariantStep(const unsigned char* data, size_t size, uint32_t c) {
  for (size_t i = 0; i < size; ++i) c += kCrcTable[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c;
}

uint32_t FileChecksum(const std::filesystem::path& file, bool crcVariant) {
  const uint32_t empty = crcVariant ? CrcVariantFinish(0xFFFFFFFF) : 0xFFFFFFFF;
  uint32_t value = 0xFFFFFFFF;
  try {
    platform::InputFile in(file);
    std::array<char, 4096> block;
    while (const size_t n = in.Read(block.data(), block.size())) {
      const auto* bytes = reinterpret_cast<const unsigned char*>(block.data());
      value = crcVariant ? CrcVariantStep(bytes, n, value) : ByteSum(bytes, n, value);
    }
  } catch (const platform::FileError&) {
    return empty;
  }
  return crcVariant ? CrcVariantFinish(value) : value;
}

}  // namespace kessmar
