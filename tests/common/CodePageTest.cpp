// Windows-1252 to and from Unicode.
#include <gtest/gtest.h>

#include "common/CodePage.h"

namespace kessmar {
namespace {

TEST(CodePage, EveryByteRoundTripsThroughUtf8) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  EXPECT_EQ(Utf8ToCp1252(Cp1252ToUtf8(all)), all);

  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");  // euro sign
  EXPECT_EQ(Cp1252ToUtf8("\x9F"), "\xC5\xB8");      // Y with diaeresis
  EXPECT_EQ(Cp1252ToUtf8("\x81"), "\xC2\x81");      // undefined byte: the C1 control
  EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");
}

TEST(CodePage, CharactersOutsideTheCodePageAndBadInput) {
  EXPECT_EQ(Utf8ToCp1252("\xE2\x82\xAC 5"), "\x80 5");
  EXPECT_EQ(Utf8ToCp1252("\xC4\x80"), "?");            // A with macron
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!");  // emoji
  EXPECT_EQ(Utf8ToCp1252("a\xFF"
                         "b"),
            "a?b");                                // invalid byte
  EXPECT_EQ(Utf8ToCp1252("\xC3"), "?");            // truncated sequence
  EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??");       // overlong
  EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80"), "???");  // encoded surrogate

  const std::string utf16("A\0\xAC\x20\x3D\xD8\x00\xDE\x00\xD8Z\0\x01", 13);
  EXPECT_EQ(Utf16LeToCp1252(utf16), "A\x80??Z");  // pair, lone surrogate, odd byte ignored
}

}  // namespace
}  // namespace kessmar

namespace kessmar {
namespace {

TEST(CodePage, Utf8TestTellsUtf8FromWindows1252) {
  struct Case {
    const char* text;
    bool utf8;
  };
  for (const Case& c :
       {Case{"", true}, Case{"plain ASCII", true}, Case{"caf\xC3\xA9", true},
        Case{"\xE2\x82\xAC 5", true}, Case{"\xF0\x9F\x98\x80", true}, Case{"caf\xE9", false},
        Case{"\x80 5", false}, Case{"\xC3", false}, Case{"\xE2\x82", false}, Case{"\xFF", false}}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsUtf8(c.text), c.utf8);
  }
}

}  // namespace
}  // namespace kessmar
