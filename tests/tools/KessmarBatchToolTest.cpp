// kessmar-batch run as a real process.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <vector>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

extern char** environ;

namespace kessmar::test {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

ToolRun RunTool(const TempDir& dir, std::vector<std::string> args) {
  args.insert(args.begin(), KESSMAR_BATCH_TOOL);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const std::string outPath = dir / "stdout";
  const std::string errPath = dir / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0600);
  pid_t pid = 0;
  ToolRun run;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = ReadBytes(outPath);
  run.err = ReadBytes(errPath);
  return run;
}

TEST(KessmarBatchTool, DumpAndCsv) {
  TempDir dir;
  const std::string file = dir / "b.dat";
  ScanBatch("12AB34CD", "12AB34CD20261208143107", {"87\"12,34", "Caf\xE9"}).SaveBatchFile(file);

  const ToolRun dump = RunTool(dir, {"dump", file});
  EXPECT_EQ(dump.exitCode, 0);
  EXPECT_EQ(dump.err, "");
  EXPECT_EQ(dump.out,
            "Fields: 4\n"
            "  1. BarcodeType String 12\n"
            "  2. Barcode String 26\n"
            "  3. DateTime String 26\n"
            "  4. Aantal Integer 0\n"
            "Rows: 4\n"
            "1:  BarcodeType=<null>  Barcode=\"12AB34CD\"  DateTime=<null>  Aantal=<null>\n"
            "2:  BarcodeType=<null>  Barcode=\"12AB34CD20261208143107\"  DateTime=<null>  "
            "Aantal=<null>\n"
            "3:  BarcodeType=\"\"  Barcode=\"87\\\"12,34\"  DateTime=\"2026/12/08 14:31:07\"  "
            "Aantal=1\n"
            "4:  BarcodeType=\"\"  Barcode=\"Caf\xC3\xA9\"  DateTime=\"2026/12/08 14:31:07\"  "
            "Aantal=1\n");

  const ToolRun csv = RunTool(dir, {"csv", file});
  EXPECT_EQ(csv.exitCode, 0);
  EXPECT_EQ(csv.out,
            "BarcodeType,Barcode,DateTime,Aantal\r\n"
            ",12AB34CD,,\r\n"
            ",12AB34CD20261208143107,,\r\n"
            ",\"87\"\"12,34\",2026/12/08 14:31:07,1\r\n"
            ",Caf\xC3\xA9,2026/12/08 14:31:07,1\r\n");
}

TEST(KessmarBatchTool, ErrorsAndUsage) {
  TempDir dir;
  WriteBytes(dir / "bad.dat", "TPF0" + I(251) + B({1}) + T("Code"));
  ToolRun run = RunTool(dir, {"dump", dir / "bad.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "kessmar-batch: Stream read error\n");

  run = RunTool(dir, {"csv", dir / "none.dat"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Cannot open file \"" + (dir / "none.dat").string() + "\"."),
            std::string::npos);

  for (const auto& args : std::vector<std::vector<std::string>>{{}, {"dump"}, {"show", "x"}}) {
    run = RunTool(dir, args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_NE(run.err.find("Usage: kessmar-batch dump FILE"), std::string::npos);
  }
  run = RunTool(dir, {"--help"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find("Usage: kessmar-batch dump FILE"), std::string::npos);
}

}  // namespace
}  // namespace kessmar::test
