// The checksums an update control file may give for a file (key "newchecksum").
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace kessmar {

// Byte sum: 0xFFFFFFFF plus the unsigned value of every byte, modulo 2^32.
uint32_t ByteSum(const unsigned char* data, size_t size, uint32_t sum = 0xFFFFFFFF);

// The CRC variant: with T the standard CRC-32 table (reflected polynomial 0xEDB88320) and c
// starting at 0xFFFFFFFF, every byte b gives c = c + (T[(c ^ b) & 0xFF] ^ (c >> 8)) modulo 2^32
// (the table step is added, not assigned). Pass the running value between calls; Finish gives
// the result (c ^ 0xFFFFFFFF).
uint32_t CrcVariantStep(const unsigned char* data, size_t size, uint32_t c = 0xFFFFFFFF);
inline uint32_t CrcVariantFinish(uint32_t c) {
  return c ^ 0xFFFFFFFFu;
}

// Either checksum over a whole file, read in 4096-byte blocks. A file that cannot be opened or
// read gives the value of an empty file: 0xFFFFFFFF for the byte sum, 0 for the CRC variant.
// Never throws except std::bad_alloc.
uint32_t FileChecksum(const std::filesystem::path& file, bool crcVariant);

}  // namespace kessmar
