#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

#include "app/Settings.h"
#include "platform/AppPaths.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

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

// Writing back a value the file already holds leaves the file itself alone (same inode).
TEST(SettingsTest, AnUnchangedValueIsNotWrittenAgain) {
  TempDir dir;
  Settings settings(dir / "tool.ini");
  settings.WriteBool("AUTO", true);
  const auto inode = [&] {
    struct stat info {};
    stat((dir / "tool.ini").c_str(), &info);
    return info.st_ino;
  };
  const auto first = inode();
  settings.WriteBool("AUTO", true);
  EXPECT_EQ(inode(), first);
  settings.WriteBool("AUTO", false);
  EXPECT_NE(inode(), first);
  EXPECT_EQ(ReadFile(dir / "tool.ini"), "[SYSTEM]\r\nAUTO=0\r\n");
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

// Runs body in a child process as an unprivileged user (root's reads and writes ignore file
// modes); returns its exit code.
int AsUnprivilegedUser(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(90);
    ::_exit(body());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

TEST(SettingsTest, AFileThatCannotBeReadOrReplacedIsNeverLost) {
  TempDir dir;
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  const std::string content = "[SYSTEM]\nAUTO=0\nCOMPORT=COM7\n[Other]\nX=1\n";
  const auto file = dir / "t.ini";

  // Present but unreadable: a write raises and leaves the file as it was.
  WriteFile(file, content);
  std::filesystem::permissions(file, std::filesystem::perms::owner_write);
  EXPECT_EQ(AsUnprivilegedUser([&] {
              Settings s(file);
              try {
                s.WriteBool("AUTO", true);
              } catch (const std::runtime_error& e) {
                return std::string(e.what()).find("Cannot read settings file") == 0 ? 0 : 2;
              }
              return 1;
            }),
            0);
  std::filesystem::permissions(file, std::filesystem::perms::owner_all);
  EXPECT_EQ(ReadFile(file), content);

  // Readable, but its folder takes no new file: the write raises, the old content stays.
  EXPECT_EQ(AsUnprivilegedUser([&] {
              const auto folder = dir / "ro";
              std::filesystem::create_directory(folder);
              WriteFile(folder / "t.ini", content);
              std::filesystem::permissions(
                  folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
              Settings s(folder / "t.ini");
              bool raised = false;
              try {
                s.WriteBool("AUTO", true);
              } catch (const std::runtime_error&) {
                raised = true;
              }
              const bool kept = ReadFile(folder / "t.ini") == content && !s.ReadBool("AUTO", true);
              std::filesystem::permissions(folder, std::filesystem::perms::owner_all);
              return raised && kept ? 0 : 1;
            }),
            0);
}

TEST(SettingsTest, AnInstalledToolKeepsItsFilesPerUserAndACopyKeepsThemBesideItself) {
  TempDir dir;
  kessmar::testing::ScopedEnvironment env{{"XDG_DATA_HOME", (dir / "share").string()}};
  const auto perUser = dir / "share" / "kessmar-scanner-tool";
  for (const char* installed :
       {"/usr/bin/kessmar-scanner-tool", "/usr/local/bin/kessmar-scanner-tool",
        "/opt/kessmar/bin/kessmar-scanner-tool"}) {
    // Also for root, who could write beside the program.
    EXPECT_EQ(platform::SettingsFilePath(installed), perUser / "kessmar-scanner-tool.ini");
    EXPECT_EQ(platform::DataFolderPath(installed), (perUser / "Data").string() + "/");
    EXPECT_EQ(platform::LogFilePath(installed), perUser / "kessmar-scanner-tool.log");
  }
  const auto copy = dir / "tools" / "kessmar-scanner-tool";
  std::filesystem::create_directories(copy.parent_path());
  EXPECT_EQ(platform::SettingsFilePath(copy), dir / "tools" / "kessmar-scanner-tool.ini");
  EXPECT_EQ(platform::DataFolderPath(copy), (dir / "tools" / "Data").string() + "/");
  EXPECT_FALSE(platform::InstalledSystemWide("/usrlocal/bin/tool"));
}

}  // namespace
}  // namespace kessmar
