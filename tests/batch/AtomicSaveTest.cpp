// Saving replaces a batch file only when the new one is complete.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

namespace kessmar::test {
namespace {

namespace fs = std::filesystem;

// Runs body in a child process; returns its exit status (body's result).
int InChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// 0 when saving table to path fails with a message starting with prefix.
int SaveFailsWith(const MemTable& table, const fs::path& path, const std::string& prefix) {
  try {
    table.SaveBatchFile(path);
  } catch (const TableError& e) {
    return std::string(e.what()).rfind(prefix, 0) == 0 ? 0 : 2;
  }
  return 1;
}

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

MemTable BigBatch() {
  MemTable table = ScanBatch("S", "B", {});
  for (int i = 0; i < 3000; ++i) {
    table.Append();
    table.SetText("Barcode", std::to_string(8712345000000LL + i));
    table.SetInteger("Aantal", 1);
    table.Post();
  }
  return table;
}

TEST(AtomicSave, ReplacesCompletelyOrNotAtAll) {
  TempDir dir;
  const fs::path file = dir / "last_read.dat";
  ScanBatch("S", "OLD", {"A"}).SaveBatchFile(file);
  const std::string old = ReadBytes(file);

  // A full disk, as a file size limit: the write fails part way.
  EXPECT_EQ(InChild([&] {
              std::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{20000, 20000};
              ::setrlimit(RLIMIT_FSIZE, &limit);
              return SaveFailsWith(BigBatch(), file,
                                   "Cannot create file \"" + file.string() + "\". File too large");
            }),
            0);
  EXPECT_EQ(ReadBytes(file), old);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);  // the temporary file is gone

  // A folder the saving user may not write to.
  ::chmod(dir.Path().c_str(), 0555);
  EXPECT_EQ(InChild([&] {
              if (::geteuid() == 0 && ::setuid(65534) != 0) return 3;
              return SaveFailsWith(
                  BigBatch(), file,
                  "Cannot create file \"" + file.string() + "\". Permission denied");
            }),
            0);
  ::chmod(dir.Path().c_str(), 0700);
  EXPECT_EQ(ReadBytes(file), old);

  // A name so long that no temporary name fits beside it.
  const fs::path longName = dir / std::string(250, 'n');
  WriteBytes(longName, old);
  EXPECT_EQ(SaveFailsWith(BigBatch(), longName, "Cannot create file"), 0);
  EXPECT_EQ(ReadBytes(longName), old);
  EXPECT_EQ(SaveFailsWith(BigBatch(), dir / "no-folder" / "x.dat",
                          "Cannot create file \"" + (dir / "no-folder" / "x.dat").string() +
                              "\". No such file or directory"),
            0);

  // A good save replaces the file, with the usual permissions, and leaves nothing else.
  fs::remove(longName);
  const mode_t mask = ::umask(022);
  BigBatch().SaveBatchFile(file);
  ::umask(mask);
  EXPECT_NE(ReadBytes(file), old);
  EXPECT_EQ(fs::status(file).permissions(), fs::perms(0644));
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);
  MemTable back;
  back.LoadBatchFile(file);
  EXPECT_EQ(back.RowCount(), 3002);
}

}  // namespace
}  // namespace kessmar::test
