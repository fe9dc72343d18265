// The block layout, checked against bytes laid out by hand from the Windows format rather than
// against our own reader.
#include <gtest/gtest.h>

#include <stdexcept>

#include "support/ByteWriter.h"
#include "version/VersionInfoWriter.h"

namespace kessmar {
namespace {

void Key(test::ByteWriter& w, std::u16string_view key) {
  for (char16_t c : key) w.U16(c);
  w.U16(0);
  w.Align(4);
}

TEST(VersionInfoWriter, LaysOutNodesAsWindowsDoes) {
  VersionInfoContents contents;
  contents.vars.push_back({"Translation", UsEnglishTranslation()});

  test::ByteWriter expected;
  expected.U16(108), expected.U16(0), expected.U16(0);
  Key(expected, u"VS_VERSION_INFO");
  expected.U16(68), expected.U16(0), expected.U16(1);
  Key(expected, u"VarFileInfo");
  expected.U16(36), expected.U16(4), expected.U16(0);
  Key(expected, u"Translation");
  expected.U16(0x0409), expected.U16(0x04E4);
  EXPECT_EQ(BuildVersionResource(contents), expected.Bytes());

  // A fixed part and a string: text lengths count UTF-16 units including the NUL.
  contents.fixed = FixedFileInfo{{1, 2, 3, 4}, {5, 6, 7, 8}};
  contents.tables.push_back({"040904E4", {{"Name", "ab"}}});
  const std::vector<uint8_t> block = BuildVersionResource(contents);
  test::ByteWriter head;
  head.U16(static_cast<uint16_t>(block.size())), head.U16(52), head.U16(0);
  Key(head, u"VS_VERSION_INFO");
  for (uint32_t dword : {0xFEEF04BDu, 0x00010000u, 0x00010002u, 0x00030004u, 0x00050006u,
                         0x00070008u, 0x3Fu, 0u, 0u, 1u, 0u, 0u, 0u}) {
    head.U32(dword);
  }
  head.U16(82), head.U16(0), head.U16(1);  // StringFileInfo: 36 + 46
  Key(head, u"StringFileInfo");
  head.U16(46), head.U16(0), head.U16(1);  // 040904E4: 24 + 22
  Key(head, u"040904E4");
  head.U16(22), head.U16(3), head.U16(1);  // Name = "ab": 16 + 6
  Key(head, u"Name");
  head.U16('a'), head.U16('b'), head.U16(0);
  ASSERT_EQ(block.size(), 244u);  // 92 + StringFileInfo 82 + padding 2 + VarFileInfo 68
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.begin() + head.Size()), head.Bytes());
}

TEST(VersionInfoWriter, RefusesWhatTheFormatCannotHold) {
  VersionInfoContents contents;
  contents.tables.push_back({"040904E4", {{"Comments", std::string(40000, 'x')}}});
  EXPECT_THROW(BuildVersionResource(contents), std::invalid_argument);
  contents.tables[0].values[0].second = "\xC3";  // a cut UTF-8 sequence
  EXPECT_THROW(BuildVersionResource(contents), std::invalid_argument);
}

}  // namespace
}  // namespace kessmar
