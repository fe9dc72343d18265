// Installing an update from the local server: plain placement, application components, cabinets
// made with gcab, SZDD files from our packer, failures and Stoppen, the actions after the
// download, and the hand-over to the embedded updater.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/IniFile.h"
#include "support/RecordingMessages.h"
#include "update/UpdateTestSupport.h"
#include "update/UpdaterCommandLine.h"
#include "updater/SzddCompressor.h"

namespace kessmar::testing {
namespace {

class AnsweringMessages : public RecordingMessages {
 public:
  bool answer = false;
  std::vector<std::string> asked;
  bool Confirm(const std::string& text) override {
    asked.push_back(text);
    return answer;
  }
};

std::string Szdd(const std::string& content, char last) {
  const auto bytes = CompressSzdd(
      std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size()), last);
  return std::string(bytes.begin(), bytes.end());
}

class InstallTest : public UpdateFixture {
 protected:
  std::filesystem::path cwd = dir / "cwd";
  std::filesystem::path oldCwd = std::filesystem::current_path();

  void SetUp() override {
    UpdateFixture::SetUp();
    std::filesystem::create_directories(cwd);
    std::filesystem::current_path(cwd);  // where compressed files without target expand
  }
  void TearDown() override { std::filesystem::current_path(oldCwd); }

  // A cabinet made by gcab from files in a folder of its own; b.txt dated 4 May 2019 13:14:16.
  std::string GcabCabinet() {
    const auto src = dir / "cabsrc";
    std::filesystem::create_directories(src / "sub");
    WriteFile(src / "a.txt", "cabinet a");
    WriteFile(src / "sub" / "b.txt", "cabinet b");
    platform::SetLastWriteTime(src / "sub" / "b.txt", {2019, 5, 4, 13, 14, 16});
    const std::string command = "cd '" + src.string() + "' && gcab -c -z '" +
                                (dir / "data.cab").string() + "' a.txt sub/b.txt";
    if (std::system(command.c_str()) != 0) ADD_FAILURE() << "gcab cannot make a cabinet";
    return ReadFile(dir / "data.cab");
  }

  // Fetches the control file and installs its entries as the update window does.
  int Install(const std::string& control) {
    PublishControlFile(control);
    EXPECT_EQ(web.OpenSession(), 0);
    EXPECT_EQ(web.FetchControlFile(), 0);
    web.LoadFileEntries();
    web.SelectFileEntries();
    return web.InstallFileEntries();
  }
  std::string File(int i, const std::string& name, const std::string& more = "") {
    return "[file" + std::to_string(i) + "]\nurl=" + server->Url("/f/" + name) + "\n" + more;
  }
};

TEST_F(InstallTest, EveryKindOfFileEndsWhereItBelongs) {
  std::filesystem::create_directories(app / "docs");
  WriteFile(app / "docs" / "plain.txt", "old");
  chmod((app / "docs" / "plain.txt").c_str(), 0444);
  server->Serve("/f/plain.txt", "plain new");
  server->Serve("/f/kessmar-scanner-tool", "new program");
  server->Serve("/f/data.cab", GcabCabinet());
  server->Serve("/f/keep.cab", ReadFile(dir / "data.cab"));
  server->Serve("/f/tool.ex_", Szdd("expanded tool", 'e'));
  server->Serve("/f/notpacked.ex_", "not compressed at all");

  const int result = Install(
      "[application]\nappupdate=1\nappname={APP}/kessmar-scanner-tool\n"
      "appcomps={APP}/kessmar-scanner-tool\n[files]\ncount=6\n" +
      File(1, "plain.txt", "targetdir={APP}/docs\n") +
      File(2, "kessmar-scanner-tool", "targetdir={APP}\n") +
      File(3, "data.cab", "targetdir={APP}/data\ncompressed=1\n") +
      File(4, "keep.cab", "targetdir={APP}/data\n") + File(5, "tool.ex_", "compressed=1\n") +
      File(6, "notpacked.ex_", "compressed=1\n"));
  EXPECT_EQ(result, 0);

  EXPECT_EQ(ReadFile(app / "docs" / "plain.txt"), "plain new");
  // The component waits in the temporary folder for the updater.
  EXPECT_EQ(ReadFile(tmp / "kessmar-scanner-tool"), "new program");
  EXPECT_FALSE(std::filesystem::exists(app / "kessmar-scanner-tool"));
  EXPECT_TRUE(web.AppComponentFetched);
  EXPECT_TRUE(web.ApplicationUpdatePending());
  // The cabinet is unpacked with its sub-folder and times, and removed.
  EXPECT_EQ(ReadFile(app / "data" / "a.txt"), "cabinet a");
  EXPECT_EQ(ReadFile(app / "data" / "sub" / "b.txt"), "cabinet b");
  EXPECT_EQ(platform::LastWriteTime(app / "data" / "sub" / "b.txt"),
            (platform::LocalDateTime{2019, 5, 4, 13, 14, 16}));
  EXPECT_FALSE(std::filesystem::exists(tmp / "data.cab"));
  // A cabinet not marked compressed stays downloaded.
  EXPECT_TRUE(std::filesystem::exists(tmp / "keep.cab"));
  // SZDD is expanded in the current folder under its own name; a file that only claims to be
  // compressed is kept as it is.
  EXPECT_EQ(ReadFile(cwd / "tool.exe"), "expanded tool");
  EXPECT_FALSE(std::filesystem::exists(cwd / "tool.ex_"));
  EXPECT_EQ(ReadFile(cwd / "notpacked.ex_"), "not compressed at all");
  EXPECT_TRUE(Contains(Reports(), 962));
}

TEST_F(InstallTest, AFailedFileStopsTheRestartButNotTheOthers) {
  server->Serve("/f/one.txt", "1");
  server->Serve("/f/three.txt", "3");
  const int result =
      Install("[application]\nappupdate=1\nappname=tool\nappcomps=three.txt\n[files]\ncount=3\n" +
              File(1, "one.txt", "targetdir={APP}\n") + File(2, "two.txt", "targetdir={APP}\n") +
              File(3, "three.txt"));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(ReadFile(app / "one.txt"), "1");
  EXPECT_TRUE(std::filesystem::exists(tmp / "three.txt"));
  EXPECT_FALSE(web.AppUpdateAnnounced);
  EXPECT_FALSE(web.ApplicationUpdatePending());
  EXPECT_TRUE(Contains(Reports(), 946));
}

TEST_F(InstallTest, StoppenDuringTheSecondOfThreeFiles) {
  server->Serve("/f/one.txt", "1");
  server->Serve("/f/two.bin", std::string(1'000'000, 'b'));
  server->Serve("/f/three.txt", "3");
  web.OnFileProgress = [](TWebUpdate& sender, const std::string&, int64_t pos, int64_t) {
    if (sender.ActiveIndex == 1 && pos >= 4096) sender.RequestCancel();
  };
  const int result =
      Install("[files]\ncount=3\n" + File(1, "one.txt", "targetdir={APP}\n") +
              File(2, "two.bin", "targetdir={APP}\n") + File(3, "three.txt", "targetdir={APP}\n"));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(ReadFile(app / "one.txt"), "1");
  EXPECT_FALSE(std::filesystem::exists(app / "two.bin"));
  EXPECT_EQ(FolderNames(tmp), std::vector<std::string>{"kessmar_scanner_tool.ini"});
  EXPECT_EQ(server->Requests("/f/three.txt"), 0);
  EXPECT_EQ(web.RunPostUpdateActions(), -1);
}

TEST_F(InstallTest, ACabinetNamingFilesOutsideItsFolderWritesNothing) {
  std::string cabinet = GcabCabinet();
  const auto at = cabinet.find("sub\\b.txt");
  ASSERT_NE(at, std::string::npos);
  cabinet.replace(at, 4, "..\\.");  // "..\.b.txt": one folder up
  server->Serve("/f/evil.cab", cabinet);
  EXPECT_EQ(
      Install("[files]\ncount=1\n" + File(1, "evil.cab", "targetdir={APP}/data\ncompressed=1\n")),
      0);
  EXPECT_FALSE(std::filesystem::exists(app / ".b.txt"));
  EXPECT_FALSE(std::filesystem::exists(app / "data" / "a.txt"));
  EXPECT_TRUE(std::filesystem::exists(tmp / "evil.cab")) << "the cabinet stays";
  EXPECT_TRUE(Contains(Reports(), 947));
}

TEST_F(InstallTest, RunAfterStartsAProgramOrOpensADocument) {
  RecordingShell shell;
  web.Shell = &shell;
  WriteFile(app / "after.sh", "#!/bin/sh\n");
  chmod((app / "after.sh").c_str(), 0755);
  WriteFile(app / "readme.txt", "read me");
  Install("[action]\nrunafter={APP}/after.sh\nrunafterparam=\"a b\" c\nupdateURL=x\n");
  EXPECT_EQ(web.RunPostUpdateActions(), 0);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, app / "after.sh");
  EXPECT_EQ(started[0].args, (std::vector<std::string>{"a b", "c"}));
  EXPECT_TRUE(Contains(Reports(), 941));

  Install("[action]\nrunafter={APP}/readme.txt\n");
  EXPECT_EQ(web.RunPostUpdateActions(), 0);
  EXPECT_EQ(shell.opened, std::vector<std::filesystem::path>{app / "readme.txt"});
}

TEST_F(InstallTest, TheUpdaterIsExtractedAndStartedWithTheContractsCommandLine) {
  AnsweringMessages messages;
  web.Messages = &messages;
  int terminations = 0;
  web.ApplicationTerminate = [&] { ++terminations; };
  web.ProgramFile = KESSMAR_PAYLOAD_SAMPLE;
  web.Logging = true;
  web.AppName = "my tool";
  web.AppParams = " ";
  web.AppComponents = "my tool, lib.so";

  web.LaunchUpdater();  // answered No
  EXPECT_EQ(messages.asked,
            std::vector<std::string>{"Shutdown application to update executable files ?"});
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(terminations, 0);
  EXPECT_FALSE(std::filesystem::exists(tmp / "wusetup.exe"));

  messages.answer = true;
  web.LaunchUpdater();
  const std::filesystem::path updater = tmp / "wusetup.exe";
  EXPECT_EQ(ReadFile(updater), ReadFile(KESSMAR_UPDATER_STRIPPED));
  EXPECT_EQ(access(updater.c_str(), X_OK), 0);
  EXPECT_FALSE(std::filesystem::exists(tmp / "wusetup.ex_"));
  EXPECT_EQ(IniFile(home / "WUPDATE.INI").Read("config", "logfilename"), log.string());

  const std::string line = std::to_string(getpid()) + " L \"" + cwd.string() +
                           "/my tool\" \" \" \"" + Tmp() + "\" my tool, lib.so";
  EXPECT_NE(ReadFile(this->log).find("[958] Spawn " + line + " (Status:0)"), std::string::npos);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].program, updater);
  EXPECT_EQ(started[0].args, SplitCommandLine(line));
  EXPECT_EQ(started[0].args[3], " ") << "an empty appparam arrives as a quoted blank";
  EXPECT_EQ(terminations, 1);

  // Silent: no question.
  web.SilentRestart = true;
  messages.asked.clear();
  web.LaunchUpdater();
  EXPECT_TRUE(messages.asked.empty());
  EXPECT_EQ(started.size(), 2u);
}

TEST_F(InstallTest, AProgramWithoutUpdaterStartsNothing) {
  WriteFile(app / "kessmar-scanner-tool", "no sections here");
  web.SilentRestart = true;
  web.AppName = "tool";
  try {
    web.LaunchUpdater();
    ADD_FAILURE() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find((app / "kessmar-scanner-tool").string()),
              std::string::npos);
  }
  EXPECT_TRUE(started.empty());
}

}  // namespace
}  // namespace kessmar::testing
