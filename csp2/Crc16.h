// CRC-16/CCITT-FALSE (polynomial 0x1021, initial value 0xFFFF, no reflection, no final xor),
// the checksum of the scanner protocol's frames.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kessmar::csp2 {

// Checksum of size bytes at data, continuing from crc (start with 0xFFFF).
uint16_t Crc16(const uint8_t* data, size_t size, uint16_t crc = 0xFFFF);

}  // namespace kessmar::csp2
