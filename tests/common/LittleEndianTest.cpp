// Little-endian loads and stores, unchecked and bounds-checked.
#include "common/LittleEndian.h"

#include <gtest/gtest.h>

#include <array>
#include <stdexcept>
#include <vector>

namespace kessmar {
namespace {

TEST(LittleEndian, StoresAndLoadsTheLowByteFirst) {
  std::array<uint8_t, 6> bytes{};
  le::Store16(bytes.data(), 0xBEEF);
  le::Store32(bytes.data() + 2, 0x12345678);
  EXPECT_EQ(bytes, (std::array<uint8_t, 6>{0xEF, 0xBE, 0x78, 0x56, 0x34, 0x12}));
  EXPECT_EQ(le::Load16(bytes.data()), 0xBEEF);
  EXPECT_EQ(le::Load32(bytes.data() + 2), 0x12345678u);

  std::vector<uint8_t> out;
  le::Append16(out, 0x0102);
  le::Append32(out, 0xFFFFFFFE);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x02, 0x01, 0xFE, 0xFF, 0xFF, 0xFF}));
}

TEST(LittleEndian, CheckedLoadsRefuseValuesPastTheEnd) {
  const std::vector<uint8_t> bytes{1, 2, 3, 4, 5};
  EXPECT_EQ(le::Load16At(bytes, 3), 0x0504);
  EXPECT_EQ(le::Load32At(bytes, 1), 0x05040302u);
  EXPECT_THROW(le::Load16At(bytes, 4), std::out_of_range);
  EXPECT_THROW(le::Load32At(bytes, 2), std::out_of_range);
  EXPECT_THROW(le::Load32At(bytes, static_cast<size_t>(-1)), std::out_of_range);  // no wrap
  EXPECT_THROW(le::Load16At({}, 0), std::out_of_range);
}

}  // namespace
}  // namespace kessmar
