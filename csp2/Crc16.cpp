#include "csp2/Crc16.h"

#include <array>

namespace kessmar::csp2 {
namespace {

// kTables[0][b]: the register after feeding byte b into a zero register; kTables[k][b]: the
// same followed by k zero bytes. Eight bytes then take one lookup each ("slicing by eight").
using Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables tables{};
  for (unsigned byte = 0; byte < 256; ++byte) {
    uint16_t crc = static_cast<uint16_t>(byte << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) != 0 ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                : static_cast<uint16_t>(crc << 1);
    }
    tables[0][byte] = crc;
  }
  for (size_t k = 1; k < tables.size(); ++k) {
    for (unsigned byte = 0; byte < 256; ++byte) {
      uint16_t previous = tables[k - 1][byte];
      tables[k][byte] = static_cast<uint16_t>((previous << 8) ^ tables[0][previous >> 8]);
    }
  }
  return tables;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint16_t Crc16(const uint8_t* data, size_t size, uint16_t crc) {
  const auto& t = kTables;
  while (size >= 8) {
    crc = static_cast<uint16_t>(t[7][data[0] ^ (crc >> 8)] ^ t[6][data[1] ^ (crc & 0xFF)] ^
                                t[5][data[2]] ^ t[4][data[3]] ^ t[3][data[4]] ^ t[2][data[5]] ^
                                t[1][data[6]] ^ t[0][data[7]]);
    data += 8;
    size -= 8;
  }
  while (size-- > 0) crc = static_cast<uint16_t>((crc << 8) ^ t[0][((crc >> 8) ^ *data++) & 0xFF]);
  return crc;
}

}  // namespace kessmar::csp2
