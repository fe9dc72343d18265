#include <gtest/gtest.h>

#include "TempDir.h"
#include "app/Settings.h"

namespace kessmar {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

TEST(SettingsTest, MissingFileGivesDefaultsAndFirstWriteCreatesIt) {
  TempDir dir;
  Settings settings(dir / "tool.ini");
  EXPECT_TRUE(settings.ReadBool("AUTO", true));
  EXPECT_EQ(settings.ReadInteger("ACTIE", 1), 1);
  EXPECT_EQ(settings.ReadText("COMPORT", ""), "");
  EXPECT_FALSE(std::filesystem::exists(dir / "tool.ini"));

  settings.WriteBool("AUTO", true);
  EXPECT_EQ(ReadFile(dir / "tool.ini"), "[SYSTEM]\r\nAUTO=1\r\n");
  settings.WriteBool("SAMENVOEGEN", false);
  settings.WriteInteger("ACTIE", -1);
  settings.WriteText("COMPORT", "COM3");
  settings.WriteBool("AUTO", false);
  EXPECT_EQ(ReadFile(dir / "tool.ini"),
            "[SYSTEM]\r\nAUTO=0\r\nSAMENVOEGEN=0\r\nACTIE=-1\r\nCOMPORT=COM3\r\n");
}

TEST(SettingsTest, IntegersAndBooleansParseAsStored) {
  TempDir dir;
  WriteFile(
      dir / "t.ini",
      "[system]\nA=7\nB=-1\nC=abc\nD=0x2\nE=$1F\nF= 12 \nG=\nH=5\nI=0\nJ=0x\nK=99999999999\n");
  Settings s(dir / "t.ini");
  EXPECT_EQ(s.ReadInteger("A", 1), 7);
  EXPECT_EQ(s.ReadInteger("B", 1), -1);
  EXPECT_EQ(s.ReadInteger("C", 1), 1);
  EXPECT_EQ(s.ReadInteger("D", 1), 2);
  EXPECT_EQ(s.ReadInteger("E", 1), 31);
  EXPECT_EQ(s.ReadInteger("f", 1), 12);  // keys ignore case, blanks around values too
  EXPECT_TRUE(s.ReadBool("G", true));    // empty: the default
  EXPECT_FALSE(s.ReadBool("G", false));
  EXPECT_TRUE(s.ReadBool("H", false));  // any non-zero value is true
  EXPECT_FALSE(s.ReadBool("I", true));
  EXPECT_EQ(s.ReadInteger("J", 4), 4);
  EXPECT_EQ(s.ReadInteger("K", 4), 4);  // beyond 32 bits
  EXPECT_EQ(s.ReadText("MISSING", "x"), "x");
}

TEST(SettingsTest, WritingAKeyKeepsOtherSectionsKeysAndComments) {
  TempDir dir;
  WriteFile(dir / "t.ini",
            "; made by hand\n[Other]\nAUTO=7\n\n[SYSTEM]\nCOMPORT=COM9\nVEMOSERVER=srv@1.2.3.4\n"
            "\n[Last]\nX=1\n");
  Settings s(dir / "t.ini");
  s.WriteBool("AUTO", false);
  s.WriteText("comport", "COM4");
  EXPECT_EQ(ReadFile(dir / "t.ini"),
            "; made by hand\r\n[Other]\r\nAUTO=7\r\n\r\n[SYSTEM]\r\ncomport=COM4\r\n"
            "VEMOSERVER=srv@1.2.3.4\r\nAUTO=0\r\n\r\n[Last]\r\nX=1\r\n");
  EXPECT_EQ(s.ReadInteger("AUTO", 1), 0);  // SYSTEM's, not Other's
  EXPECT_EQ(s.ReadText("VEMOSERVER", ""), "srv@1.2.3.4");
}

TEST(SettingsTest, FailedWriteThrowsAndKeepsTheOldContent) {
  TempDir dir;
  WriteFile(dir / "t.ini", "[SYSTEM]\nAUTO=0\n");
  // The new content cannot be written beside the file: a folder stands in its way.
  std::filesystem::create_directory(dir / "t.ini.tmp");
  Settings s(dir / "t.ini");
  EXPECT_THROW(s.WriteBool("AUTO", true), std::runtime_error);
  EXPECT_FALSE(s.ReadBool("AUTO", true));
  EXPECT_EQ(ReadFile(dir / "t.ini"), "[SYSTEM]\nAUTO=0\n");
}

}  // namespace
}  // namespace kessmar
