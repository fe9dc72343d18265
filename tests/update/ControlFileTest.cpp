// The control file's rules: reading it, every rule of EvaluateControlFile, the file entries and
// their selection, versions, checksums, dates and path prefixes.
#include <gtest/gtest.h>
#include <unistd.h>

#include "update/Checksums.h"
#include "update/ControlFile.h"
#include "update/PathPrefixes.h"
#include "update/UpdateDates.h"
#include "update/UpdateServer.h"
#include "update/UpdateTestSupport.h"
#include "update/VersionText.h"

namespace kessmar::testing {
namespace {

using platform::LocalDateTime;

class ControlFileTest : public UpdateFixture {
 protected:
  std::filesystem::path local = app / "tool";

  // Evaluates text as the control-file copy.
  UpdateOutcome Evaluate(const std::string& text) {
    WriteFile(dir / "control.ini", text);
    web.ControlFilePath = (dir / "control.ini").string();
    return web.EvaluateControlFile();
  }
  std::string Local() const { return local.string(); }
};

TEST(ControlFileReading, NamesIgnoreCaseAndTheFirstValueCounts) {
  const ControlFile f = ControlFile::Parse(
      "; comment\r\n[UPDATE]\r\nNewVersion = 1.2 \r\nnewversion=9\r\n[Files]\r\nCOUNT=\"3\"\r\n"
      "junk line\r\n[file1]\r\nurl='{APP}/a b'\r\nnumber=12x\r\nbig=99999999999\r\n");
  EXPECT_EQ(f.ReadString("update", "NEWVERSION"), "1.2");
  EXPECT_EQ(f.ReadInteger("files", "count", 0), 3);
  EXPECT_EQ(f.ReadString("FILE1", "url"), "{APP}/a b");
  EXPECT_EQ(f.ReadInteger("file1", "number", -1), -1);
  EXPECT_EQ(f.ReadInteger("file1", "big", -1), -1);
  EXPECT_EQ(f.ReadInteger("file1", "missing", 5), 5);
  EXPECT_TRUE(f.ReadBool("file1", "preselect", true));
  EXPECT_FALSE(ControlFile::Parse("[a]\nb=2\n").ReadBool("a", "b", true));
  EXPECT_EQ(f.SectionCount(), 3u);
}

TEST(VersionTexts, ReadAsFourSixteenBitParts) {
  EXPECT_EQ(ReadVersionText("1.0.0.171").ToString(), "1.0.0.171");
  EXPECT_EQ(ReadVersionText("1,2").ToString(), "1.2.0.0");
  EXPECT_EQ(ReadVersionText("1.2.3").ToString(), "1.2.3.0");
  EXPECT_EQ(ReadVersionText("2").ToString(), "2.0.0.0");
  EXPECT_FALSE(ReadVersionText("abc").Valid());
  EXPECT_FALSE(ReadVersionText("1.2.3.x").Valid());
  EXPECT_EQ(ReadVersionText("1.2.3.x").high, 0x00010002u);
  EXPECT_FALSE(ReadVersionText("1.70000").Valid());
  EXPECT_FALSE(ReadVersionText("1.2.3.4.5").Valid());
  EXPECT_TRUE(ReadVersionText("2").NewerThan(ReadVersionText("1.9.9.9")));
  EXPECT_FALSE(ReadVersionText("1.0.0.170").NewerThan(ReadVersionText("1.0.0.170")));
}

TEST(Checksums, ByteSumAndTheCrcVariant) {
  const unsigned char abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(ByteSum(abc, 3), 0xFFFFFFFFu + 0x61 + 0x62 + 0x63);
  // The variant adds the table step: c = c + (T[(c ^ b) & 0xFF] ^ (c >> 8)).
  uint32_t c = 0xFFFFFFFF;
  c += 0x17B7BE43u ^ (c >> 8);  // T[0xFF ^ 0x61 = 0x9E] = 0x17B7BE43
  EXPECT_EQ(CrcVariantStep(abc, 1), c);
  EXPECT_EQ(CrcVariantFinish(CrcVariantStep(abc, 3)), 0x6C8D9D41u);
  EXPECT_EQ(FileChecksum("/nonexistent/file", false), 0xFFFFFFFFu);
  EXPECT_EQ(FileChecksum("/nonexistent/file", true), 0u);
}

TEST(ControlDates, DayMonthYearAndTime) {
  EXPECT_EQ(ReadControlDate("04/11/2010", "14:48"), (LocalDateTime{2010, 11, 4, 14, 48, 0}));
  EXPECT_EQ(ReadControlDate("4/1/2010", ""), (LocalDateTime{2010, 1, 4, 0, 0, 0}));
  EXPECT_EQ(ReadControlDate("31/02/2010", "10:00"), kEarliestDate);
  EXPECT_EQ(ReadControlDate("2010-11-04", ""), kEarliestDate);
  EXPECT_EQ(ReadControlDate("04/11/2010", "25:00"), (LocalDateTime{2010, 11, 4, 0, 0, 0}));
}

TEST(PathPrefixTokens, ExpandLikeFolders) {
  const PrefixFolders folders = [](const std::string& name) -> std::optional<std::string> {
    if (name == "APP") return "/opt/kst/";
    if (name == "ROOT") return "/";
    return std::nullopt;
  };
  EXPECT_EQ(ExpandPathPrefixes("{app}/x.exe", folders), "/opt/kst/x.exe");
  EXPECT_EQ(ExpandPathPrefixes("{APP}/x.exe", folders), "/opt/kst/x.exe");
  EXPECT_EQ(ExpandPathPrefixes("{ROOT}/x", folders), "/./x");
  EXPECT_EQ(ExpandPathPrefixes("{NOPE}/x", folders), "./x");
  EXPECT_EQ(ExpandPathPrefixes("{APP/x", folders), "{APP/x");
  EXPECT_EQ(ExpandPathPrefixes("a{{APP}b", folders), "a.b");
}

TEST_F(ControlFileTest, TheComponentsFoldersStandBehindTheTokens) {
  EXPECT_EQ(web.ExpandPathPrefixes("{APP}/x"), app.string() + "/x");
  EXPECT_EQ(web.ExpandPathPrefixes("{TMP}/x"), tmp.string() + "/x");
  EXPECT_EQ(web.ExpandPathPrefixes("{DOC}/x"), home.string() + "/x");
  EXPECT_EQ(web.ExpandPathPrefixes("{WIN}|{SYS}|{PF}"), "/etc|/usr/lib|/opt");
  EXPECT_EQ(web.ExpandPathPrefixes("{LAD}/x"), (dir / "data").string() + "/x");
  env.Set("XDG_DATA_HOME", std::nullopt);
  env.Set("HOME", std::nullopt);
  try {
    web.ExpandPathPrefixes("{LAD}/x");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Could not find Local Application Data folder location.");
  }
}

TEST_F(ControlFileTest, FoldersOfTheSystem) {
  // The documents folder as the desktop names it.
  std::filesystem::create_directories(dir / "config");
  WriteFile(dir / "config" / "user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documenten\"\n");
  EXPECT_EQ(web.ExpandPathPrefixes("{DOC}/x"), (home / "Documenten").string() + "/x");
  // Without TMPDIR the temporary folder is this user's alone.
  env.Set("TMPDIR", std::nullopt);
  const std::string folder = "/tmp/kessmar-" + std::to_string(getuid());
  EXPECT_EQ(web.TempFolder(), folder + "/");
  EXPECT_EQ(std::filesystem::status(folder).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  // The update server's place, and the override tests use.
  env.Set("KESSMAR_UPDATE_URL", std::nullopt);
  EXPECT_EQ(ControlFileUrl(), "https://updates.kessmar.nl/files/download/kessmar_scanner_tool.ini");
  env.Set("KESSMAR_UPDATE_URL", "https://127.0.0.1:8443/");
  EXPECT_EQ(ControlFileUrl(), "https://127.0.0.1:8443/files/download/kessmar_scanner_tool.ini");
}

TEST_F(ControlFileTest, VersionRule) {
  WriteVersionedProgram(local, {1, 0, 0, 170});
  EXPECT_EQ(Evaluate("[update]\nnewversion=1.0.0.171\nlocalversion=" + Local() + "\n"),
            UpdateOutcome::VersionUpdate);
  EXPECT_EQ(web.NewVersionText, "1.0.0.171");
  EXPECT_EQ(web.LocalVersionText, "1.0.0.170");
  EXPECT_EQ(Evaluate("[update]\nnewversion=1.0.0.170\nlocalversion=" + Local() + "\n"),
            UpdateOutcome::NoUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewversion=2\nlocalversion={APP}/tool\n"),
            UpdateOutcome::VersionUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewversion=nonsense\nlocalversion=" + Local() + "\n"),
            UpdateOutcome::NoUpdate);
  // A local file without version resource never counts as older under vcUpdateOnly.
  WriteFile(app / "plain", "no version");
  EXPECT_EQ(Evaluate("[update]\nnewversion=2\nlocalversion={APP}/plain\n"),
            UpdateOutcome::NoUpdate);
  const auto reports = Reports();
  EXPECT_TRUE(Contains(reports, 933));
  EXPECT_NE(ReadFile(log).find("Version compare of " + Local() + ":1.0.0.170 with 1.0.0.171"),
            std::string::npos);
}

TEST_F(ControlFileTest, MissingOrUnnamedLocalFiles) {
  EXPECT_EQ(Evaluate("[update]\nnewversion=9\nlocalversion={APP}/missing\n"),
            UpdateOutcome::NoUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewsize=10\nlocalversion={APP}/missing\n"),
            UpdateOutcome::NoUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewversion=9\n"), UpdateOutcome::NoUpdate);
  web.VersionCheck = TVersionCheck::vcAlways;
  EXPECT_EQ(Evaluate("[update]\nnewversion=9\nlocalversion={APP}/missing\n"),
            UpdateOutcome::VersionUpdate);
}

TEST_F(ControlFileTest, DateRule) {
  // A missing local file counts as 1 January 1980.
  EXPECT_EQ(Evaluate("[update]\ndate=02/01/1980\nlocalversion={APP}/missing\n"),
            UpdateOutcome::DateUpdate);
  EXPECT_EQ(web.LocalDate, kEarliestDate);
  EXPECT_EQ(Evaluate("[update]\ndate=01/01/1980\ntime=00:00\n"), UpdateOutcome::NoUpdate);
  WriteFile(local, "x");
  platform::SetLastWriteTime(local, {2020, 6, 1, 12, 0, 0});
  EXPECT_EQ(Evaluate("[update]\ndate=01/06/2020\ntime=12:01\nlocalversion=" + Local() + "\n"),
            UpdateOutcome::DateUpdate);
  EXPECT_EQ(web.ServerDate, (LocalDateTime{2020, 6, 1, 12, 1, 0}));
  EXPECT_EQ(Evaluate("[update]\ndate=01/06/2020\ntime=11:59\nlocalversion=" + Local() + "\n"),
            UpdateOutcome::NoUpdate);
}

TEST_F(ControlFileTest, UnconditionalChecksumAndSizeRulesInTheirOrder) {
  WriteFile(local, "0123456789");  // 10 bytes
  const auto sum = static_cast<int32_t>(FileChecksum(local, false));
  const auto crc = static_cast<int32_t>(FileChecksum(local, true));
  const std::string where = "localversion=" + Local() + "\n";
  EXPECT_EQ(Evaluate("[update]\nunconditional=1\nnewversion=0\n" + where),
            UpdateOutcome::UnconditionalUpdate);
  // The checksum decides before the size, the size before the version.
  EXPECT_EQ(Evaluate("[update]\nnewchecksum=" + std::to_string(sum) +
                     "\nnewsize=11\nnewversion=9\n" + where),
            UpdateOutcome::NoUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewchecksum=" + std::to_string(sum + 1) + "\nnewsize=10\n" + where),
            UpdateOutcome::ChecksumUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewsize=11\nnewversion=0\n" + where), UpdateOutcome::SizeUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewsize=10\nnewversion=9\n" + where), UpdateOutcome::NoUpdate);
  web.UseCRC32 = true;
  EXPECT_EQ(Evaluate("[update]\nnewchecksum=" + std::to_string(crc) + "\n" + where),
            UpdateOutcome::NoUpdate);
  EXPECT_EQ(Evaluate("[update]\nnewchecksum=" + std::to_string(sum) + "\n" + where),
            UpdateOutcome::ChecksumUpdate);
  EXPECT_EQ(Evaluate("[UPDATE]\nDescr=Nothing applies\n"), UpdateOutcome::NoUpdate);
  EXPECT_EQ(web.UpdateDescription, "Nothing applies");
}

TEST_F(ControlFileTest, FileEntriesAreReadAndSelected) {
  WriteVersionedProgram(app / "old.exe", {1, 0, 0, 1});
  WriteVersionedProgram(app / "same.exe", {2, 0, 0, 0});
  WriteFile(app / "dated.txt", "x");
  platform::SetLastWriteTime(app / "dated.txt", {2021, 3, 1, 0, 0, 0});
  WriteFile(dir / "control.ini",
            "[files]\ncount=6\n"
            "[file1]\nurl={APP}/a\nnewversion=2\nlocalversion={APP}/old.exe\ntargetdir={APP}\n"
            "compressed=1\nfilesize=100\nmandatory=1\npreselect=0\nhidden=1\ndescr=one\n"
            "[file2]\nurl=b\nnewversion=2\nlocalversion={APP}/same.exe\n"
            "[file3]\nurl=c\nnewversion=2\n"
            "[file4]\nurl=d\nlocalversion={APP}/dated.txt\ndate=01/03/2021\n"
            "[file5]\nurl=e\nlocalversion={APP}/dated.txt\ndate=02/03/2021\n");
  web.ControlFilePath = (dir / "control.ini").string();
  ASSERT_EQ(web.LoadFileEntries(), 6);
  // Six announced, five sections of entries plus [files]: no more entries than sections.
  ASSERT_EQ(web.FileEntries.size(), 6u);
  const TFileDescription& first = web.FileEntries[0];
  EXPECT_EQ(first.URL, app.string() + "/a");
  EXPECT_EQ(first.TargetDir, app.string() + "/");
  EXPECT_TRUE(first.Compressed && first.Mandatory && first.Hidden);
  EXPECT_FALSE(first.Preselect);
  EXPECT_EQ(first.FileSize, 100);
  EXPECT_EQ(first.NewCheckSum, -1);
  EXPECT_EQ(first.Description, "one");

  ASSERT_EQ(web.SelectFileEntries(), 0);
  std::vector<std::string> kept;
  for (const auto& e : web.FileEntries) kept.push_back(TWebUpdate::UrlFileName(e.URL));
  // old.exe is older; an entry without local file is kept; the later date is kept; the
  // sixth, made from no section, has nothing to compare and is kept.
  EXPECT_EQ(kept, (std::vector<std::string>{"a", "c", "e", ""}));

  WriteFile(dir / "control.ini", "[files]\ncount=1000000000\n[file1]\nurl=x\n");
  EXPECT_EQ(web.LoadFileEntries(), 1000000000);
  EXPECT_EQ(web.FileEntries.size(), 2u);

  WriteFile(dir / "control.ini",
            "[files]\ncount=1\n[file1]\nurl=b\nnewversion=2\n"
            "localversion={APP}/same.exe\n");
  web.LoadFileEntries();
  EXPECT_EQ(web.SelectFileEntries(), -1);
}

}  // namespace
}  // namespace kessmar::testing
