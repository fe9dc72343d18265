// The real program as a user starts it: copied into a fresh folder, run on the offscreen
// platform, with its own runtime folder so that its single-instance marker is its own.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "version/VersionInfoReader.h"
#include "version/VersionLine.h"

namespace kessmar::testing {
namespace {

class ToolProcessTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::filesystem::path tool = dir / "kessmar-scanner-tool";
  std::map<std::string, std::string> env;

  void SetUp() override {
    std::filesystem::copy_file(KESSMAR_TOOL_PATH, tool);
    std::filesystem::create_directory(dir / "run");
    std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
    std::filesystem::create_directory(dir / "ports");
    env = {{"QT_QPA_PLATFORM", "offscreen"},
           {"XDG_RUNTIME_DIR", (dir / "run").string()},
           {"KESSMAR_PORTS_DIR", (dir / "ports").string()},
           {"KESSMAR_SHOP_URL", "http://127.0.0.1:9"}};
  }

  std::unique_ptr<ChildProcess> StartTool() {
    auto process = std::make_unique<ChildProcess>(tool.string(), std::vector<std::string>{}, env);
    // The settings file is written during start-up, once the single-instance test passed.
    EXPECT_TRUE(WaitFor([&] { return std::filesystem::exists(dir / "kessmar-scanner-tool.ini"); },
                        std::chrono::seconds(10)));
    return process;
  }
};

TEST_F(ToolProcessTest, ASecondCopyEndsAtOnceAndTheFirstKeepsRunning) {
  auto first = StartTool();
  ASSERT_TRUE(first->running());

  ChildProcess second(tool.string(), {}, env);
  EXPECT_EQ(second.Wait(std::chrono::seconds(5)), 0);
  EXPECT_TRUE(first->running());

  // A killed copy leaves no marker behind: the next start runs.
  first->Signal(SIGKILL);
  first->Wait(std::chrono::seconds(5));
  std::filesystem::remove(dir / "kessmar-scanner-tool.ini");
  auto third = StartTool();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(third->running());
}

TEST_F(ToolProcessTest, EndSignalsEndTheProgramNormally) {
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
    std::filesystem::remove(dir / "kessmar-scanner-tool.ini");
    auto process = StartTool();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    process->Signal(sig);
    EXPECT_EQ(process->Wait(std::chrono::seconds(10)), 0) << "signal " << sig;
  }
}

// The update check's fetch helper beside the program hangs; ending the program during the check
// stops it and leaves no process behind.
TEST_F(ToolProcessTest, EndingDuringTheUpdateCheckStopsItsFetchHelper) {
  const auto pidFile = dir / "helper.pid";
  WriteFile(dir / "kessmar-update-fetch", "#!/bin/sh\necho $$ > " + pidFile.string() + ".new\nmv " +
                                              pidFile.string() + ".new " + pidFile.string() +
                                              "\nexec sleep 60\n");
  std::filesystem::permissions(dir / "kessmar-update-fetch", std::filesystem::perms::owner_all);
  env["KESSMAR_FIRST_UPDATE_CHECK_MS"] = "0";
  env["KESSMAR_UPDATE_URL"] = "https://127.0.0.1:9";
  auto process = StartTool();
  ASSERT_TRUE(WaitFor([&] { return std::filesystem::exists(pidFile); }, std::chrono::seconds(10)))
      << "the tool did not start its fetch helper";
  const pid_t helper = std::stoi(ReadFile(pidFile));
  ASSERT_EQ(::kill(helper, 0), 0);
  process->Signal(SIGTERM);
  EXPECT_EQ(process->Wait(std::chrono::seconds(10)), 0);
  EXPECT_TRUE(
      WaitFor([&] { return ::kill(helper, 0) != 0 && errno == ESRCH; }, std::chrono::seconds(5)))
      << "the fetch helper outlived the program";
}

}  // namespace
}  // namespace kessmar::testing

namespace kessmar::testing {
namespace {

TEST(ToolVersionTest, TheProgramCarriesItsOwnVersionResource) {
  VersionInfoReader reader(KESSMAR_TOOL_PATH);
  ASSERT_TRUE(reader.HasVersionInfo());
  EXPECT_EQ(reader.StringValue("ProductName"), "Kessmar Scanner Tool");
  EXPECT_EQ(reader.StringValue("CompanyName"), "Kessmar B.V.");
  EXPECT_EQ(reader.ProductVersion(0), 1);
  EXPECT_EQ(reader.ProductVersion(1), 0);
  const std::string line = FormatVersionLine(reader);
  EXPECT_EQ(line.rfind("Versie : 1.0   Build : ", 0), 0u) << line;
  EXPECT_FALSE(reader.StringValue("BuildTimestamp").empty());
}

}  // namespace
}  // namespace kessmar::testing
