// One whole application update with the real program: the tool, built as version N, runs in a
// fresh install folder, finds version N+1 on the local update server, downloads it, hands over to
// its embedded updater and ends; the updater replaces the program and starts it again. The
// About window then shows N+1.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QLabel>

#include "about/TfrmAbout.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "update/HttpsTestServer.h"
#include "version/VersionInfoReader.h"

namespace kessmar::testing {
namespace {

namespace fs = std::filesystem;

// The processes (other than `except`) whose program is `program`.
std::vector<pid_t> ProcessesRunning(const fs::path& program, pid_t except) {
  std::vector<pid_t> found;
  for (const auto& entry : fs::directory_iterator("/proc")) {
    const std::string name = entry.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::error_code ec;
    const fs::path exe = fs::read_symlink(entry.path() / "exe", ec);
    const auto pid = static_cast<pid_t>(std::stol(name));
    if (!ec && exe == program && pid != except) found.push_back(pid);
  }
  return found;
}

std::string VersionText(const VersionNumber& v) {
  return v.ToString();
}

TEST(FullApplicationUpdate, TheRunningToolIsReplacedByTheNextVersionAndRestarted) {
  TempDir dir;
  HttpsTestServer server(dir / "server");
  const fs::path inst = dir / "inst";
  const fs::path tool = inst / "kessmar-scanner-tool";
  for (const char* folder : {"inst", "home", "config", "data", "tmp", "ports"}) {
    fs::create_directories(dir / folder);
  }
  fs::create_directory(dir / "run");
  fs::permissions(dir / "run", fs::perms::owner_all);
  fs::copy_file(KESSMAR_TOOL_PATH, tool);
  // Installed as the package installs it: the check's fetch helper beside the program.
  fs::copy_file(KESSMAR_UPDATE_FETCH_PATH, inst / "kessmar-update-fetch");
  const fs::path privateTmp = dir / "tmp" / ("kessmar-" + std::to_string(getuid()));

  const VersionNumber current = VersionInfoReader(tool).FileVersionNumber();
  const VersionNumber next = VersionInfoReader(KESSMAR_NEXT_TOOL_PATH).FileVersionNumber();
  ASSERT_GT(next, current);
  const std::string nextProgram = ReadFile(KESSMAR_NEXT_TOOL_PATH);
  // Published as the supplier does: the files in a folder, the control file signed by the
  // publishing tool with a key the tool under test trusts through its test build.
  const fs::path published = dir / "published";
  fs::create_directories(published);
  WriteFile(published / "kessmar-scanner-tool", nextProgram);
  WriteFile(published / "whatsnew.txt", "Versie " + VersionText(next) + "\r\n");
  WriteFile(published / "kessmar_scanner_tool.ini",
            "[update]\r\nnewversion=" + VersionText(next) +
                "\r\nlocalversion={APP}/kessmar-scanner-tool\r\n"
                "[application]\r\nappupdate=1\r\nappname={APP}/kessmar-scanner-tool\r\n"
                "appparam=\r\nappcomps={APP}/kessmar-scanner-tool\r\nsilentrestart=1\r\n"
                "[files]\r\ncount=1\r\n[file1]\r\nurl=" +
                server.Url("/files/download/kessmar-scanner-tool") +
                "\r\n[whatsnew]\r\nfile=" + server.Url("/files/download/whatsnew.txt") + "\r\n");
  MakeTestSigningKey(dir / "signing.pem", dir / "trusted.pem");
  ASSERT_EQ(ChildProcess(KESSMAR_PUBLISH_PATH,
                         {"--key", (dir / "signing.pem").string(), "--files", published.string(),
                          (published / "kessmar_scanner_tool.ini").string()},
                         {})
                .Wait(std::chrono::seconds(30)),
            0);
  for (const char* name : {"kessmar-scanner-tool", "whatsnew.txt", "kessmar_scanner_tool.ini",
                           "kessmar_scanner_tool.ini.sig"}) {
    server.Serve(std::string("/files/download/") + name, ReadFile(published / name));
  }

  const std::map<std::string, std::string> env = {
      {"QT_QPA_PLATFORM", "offscreen"},
      {"XDG_RUNTIME_DIR", (dir / "run").string()},
      {"KESSMAR_PORTS_DIR", (dir / "ports").string()},
      {"KESSMAR_SHOP_URL", "http://127.0.0.1:9"},
      {"HOME", (dir / "home").string()},
      {"XDG_CONFIG_HOME", (dir / "config").string()},
      {"XDG_DATA_HOME", (dir / "data").string()},
      {"TMPDIR", (dir / "tmp").string()},
      {"KESSMAR_UPDATE_URL", server.BaseUrl()},
      {"KESSMAR_UPDATE_CA_FILE", server.CaFile().string()},
      {"KESSMAR_UPDATE_AUTOANSWER", "1"},
      {"KESSMAR_UPDATE_TEST_KEYS", (dir / "trusted.pem").string()}};
  // Whatever happens, nothing this test started indirectly outlives it.
  struct StopLeftovers {
    fs::path tool, updater;
    ~StopLeftovers() {
      for (const auto& program : {updater, tool}) {
        for (pid_t pid : ProcessesRunning(program, 0)) kill(pid, SIGKILL);
      }
    }
  } leftovers{tool, privateTmp / "wusetup.exe"};
  ChildProcess first(tool.string(), {}, env);

  // The first check runs a second after start; the program ends once the updater runs.
  EXPECT_EQ(first.Wait(std::chrono::seconds(60)), 0) << "the tool did not end for the update";
  std::vector<pid_t> restarted;
  EXPECT_TRUE(WaitFor(
      [&] {
        restarted = ProcessesRunning(tool, first.pid());
        return !restarted.empty();
      },
      std::chrono::seconds(30)))
      << "the updater did not start the program again";
  EXPECT_EQ(ReadFile(tool), nextProgram);
  EXPECT_EQ(fs::status(tool).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
  EXPECT_TRUE(fs::exists(dir / "home" / "WUPDATE.INI"));
  EXPECT_TRUE(fs::exists(privateTmp / "wusetup.exe"));
  EXPECT_FALSE(fs::exists(privateTmp / "kessmar-scanner-tool")) << "the updater took it";

  // What the About window shows for the program now in place.
  TfrmAbout about(nullptr, tool);
  const QString line = about.findChild<QLabel*>("lblVersion")->text();
  EXPECT_TRUE(line.startsWith(QString::fromStdString(
      "Versie : " + std::to_string(next.major) + "." + std::to_string(next.minor) +
      "   Build : " + std::to_string(next.build) + "     ")))
      << line.toStdString();

  // The restarted program stays up: N+1 is no update to itself.
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  ASSERT_FALSE(restarted.empty());
  EXPECT_EQ(kill(restarted.front(), 0), 0);
  EXPECT_EQ(server.Requests("/files/download/kessmar-scanner-tool"), 1);
  EXPECT_GE(server.Requests("/files/download/kessmar_scanner_tool.ini"), 4);
}

}  // namespace
}  // namespace kessmar::testing
