// The real updater: it waits for the program to end, puts the components in place all or
// none, and starts the program again; and the real SZDD packer, read back by libmspack.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <random>
#include <set>

#include "common/IniFile.h"
#include "platform/archive/Archive.h"
#include "support/ChildProcess.h"
#include "support/TempDir.h"
#include "update/UpdaterCommandLine.h"

namespace kessmar::testing {
namespace {

namespace fs = std::filesystem;

class UpdaterTest : public ::testing::Test {
 protected:
  TempDir dir;
  fs::path inst = dir / "inst";
  fs::path comps = dir / "comps";
  fs::path home = dir / "home";
  fs::path marker = dir / "marker";
  std::map<std::string, std::string> env;

  void SetUp() override {
    for (const auto& folder : {inst, comps, home}) fs::create_directories(folder);
    env = {{"HOME", home.string()}, {"XDG_CONFIG_HOME", (dir / "config").string()}};
    IniFile(home / "WUPDATE.INI").Write("CONFIG", "LOGFILENAME", "WUPDATE.LOG");
    Script(inst / "prog", "old");
    Script(comps / "prog", "new");
    chmod((comps / "prog").c_str(), 0600);  // downloads are not executable
  }

  // A program that writes its name and arguments to the marker file.
  void Script(const fs::path& file, const std::string& name) {
    WriteFile(file, "#!/bin/sh\necho \"" + name + " $*\" > '" + marker.string() + "'\n");
    chmod(file.c_str(), 0755);
  }

  // Runs the updater as the program would start it, for the process `pid`.
  std::unique_ptr<ChildProcess> StartUpdater(int64_t pid, const std::string& components,
                                             bool logging = true) {
    UpdaterCall call;
    call.processId = pid;
    call.logging = logging;
    call.appName = (inst / "prog").string();
    call.appParams = "-a b";
    call.currentFolder = dir.Path().string();
    call.componentFolder = comps.string() + "/";
    call.appComponents = components;
    return std::make_unique<ChildProcess>(KESSMAR_WUSETUP,
                                          SplitCommandLine(BuildUpdaterCommandLine(call)), env);
  }

  std::string Marker() {
    WaitFor([&] { return fs::exists(marker) && ReadFile(marker).find('\n') != std::string::npos; },
            std::chrono::seconds(10));
    return ReadFile(marker);
  }
  std::string Log() { return ReadFile(home / "WUPDATE.LOG"); }
};

TEST_F(UpdaterTest, WaitsForTheProgramThenReplacesAndRestartsIt) {
  WriteFile(comps / "lib.so", "new library");
  ChildProcess program("/bin/sleep", {"30"});
  auto updater = StartUpdater(program.pid(), "prog, lib.so");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(updater->running()) << "it waits while the program runs";
  EXPECT_NE(ReadFile(inst / "prog").find("old"), std::string::npos);

  program.Signal(SIGTERM);
  program.Wait(std::chrono::seconds(5));
  EXPECT_EQ(updater->Wait(std::chrono::seconds(10)), 0);
  EXPECT_EQ(Marker(), "new -a b\n");
  EXPECT_EQ(ReadFile(inst / "lib.so"), "new library");
  EXPECT_EQ(fs::status(inst / "prog").permissions() & fs::perms::all, static_cast<fs::perms>(0755))
      << "the replaced program keeps its permissions";
  EXPECT_EQ(fs::status(inst / "lib.so").permissions() & fs::perms::all,
            static_cast<fs::perms>(0644));
  EXPECT_FALSE(fs::exists(comps / "prog")) << "the components were taken";
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(inst)) names.insert(entry.path().filename());
  EXPECT_EQ(names, (std::set<std::string>{"lib.so", "prog"})) << "nothing staged or kept remains";
  EXPECT_NE(Log().find(": wusetup : Installed " + (inst / "prog").string()), std::string::npos);
}

TEST_F(UpdaterTest, AMissingComponentLeavesTheOldProgramAndStartsIt) {
  auto updater = StartUpdater(999'999'999, "prog, missing.bin", false);
  EXPECT_EQ(updater->Wait(std::chrono::seconds(10)), 1);
  EXPECT_EQ(Marker(), "old -a b\n");
  EXPECT_NE(Log().find("Missing component"), std::string::npos) << "failures are always logged";
}

TEST_F(UpdaterTest, AFailedReplacementPutsTheEarlierFilesBack) {
  fs::create_directories(inst / "data" / "inside");  // a folder where a file should go
  WriteFile(comps / "data", "file");
  auto updater = StartUpdater(999'999'999, "prog;data");
  EXPECT_EQ(updater->Wait(std::chrono::seconds(10)), 1);
  EXPECT_EQ(Marker(), "old -a b\n");
  EXPECT_TRUE(fs::is_directory(inst / "data" / "inside"));
  EXPECT_EQ(std::distance(fs::directory_iterator(inst), fs::directory_iterator()), 2)
      << "no staged or kept files remain";
}

TEST_F(UpdaterTest, ABadCommandLineChangesNothing) {
  ChildProcess updater(KESSMAR_WUSETUP, {"not-a-pid", "X"}, env);
  EXPECT_EQ(updater.Wait(std::chrono::seconds(10)), 2);
  EXPECT_FALSE(fs::exists(marker));
}

std::string RunPacker(const fs::path& input, const fs::path& output, const std::string& name) {
  ChildProcess packer(KESSMAR_SZDD_PACK,
                      {"--expanded-name", name, input.string(), output.string()});
  EXPECT_EQ(packer.Wait(std::chrono::seconds(30)), 0);
  return ReadFile(output);
}

TEST(SzddPacker, WhatThePackerWritesLibmspackExpandsAgain) {
  TempDir dir;
  std::mt19937 random(3);
  std::string noise(200'000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  std::string pattern;
  while (pattern.size() < 300'000) pattern += "abcabcabd" + std::to_string(pattern.size() % 97);
  const std::vector<std::string> inputs = {
      "",
      "x",
      "    blanks at the start match the window's initial blanks",
      noise,
      pattern,
      std::string(70'000, ' '),
      ReadFile(KESSMAR_WUSETUP)};
  for (size_t i = 0; i < inputs.size(); ++i) {
    const fs::path input = dir / ("in" + std::to_string(i));
    WriteFile(input, inputs[i]);
    const std::string packed = RunPacker(input, dir / "out.ex_", "out.exe");
    const auto header = platform::ReadSzddHeader(dir / "out.ex_");
    ASSERT_TRUE(header) << i;
    EXPECT_EQ(header->missingChar, 'e');
    EXPECT_EQ(header->expandedSize, inputs[i].size());
    platform::ExpandSzdd(dir / "out.ex_", dir / "back");
    EXPECT_EQ(ReadFile(dir / "back"), inputs[i]) << "input " << i;
    if (i == 4) {
      EXPECT_LT(packed.size(), inputs[i].size() / 4) << "repetition compresses";
    }
  }
  WriteFile(dir / "plain.ex_", "SZDX not compressed");
  EXPECT_FALSE(platform::ReadSzddHeader(dir / "plain.ex_"));
  EXPECT_THROW(platform::ExpandSzdd(dir / "plain.ex_", dir / "back"), platform::ArchiveError);
  EXPECT_EQ(ReadFile(dir / "back"), inputs.back()) << "a failed expansion keeps the old target";
}

}  // namespace
}  // namespace kessmar::testing
