// Saving a batch on Windows: the second save replaces the first (a plain rename would not), and
// a save that cannot finish leaves the old file whole and no temporary file behind.
#include <windows.h>

#include <gtest/gtest.h>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

namespace kessmar::test {
namespace {

namespace fs = std::filesystem;

size_t EntriesIn(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

std::string SaveError(const MemTable& table, const fs::path& path) {
  try {
    table.SaveBatchFile(path);
  } catch (const TableError& e) {
    return e.what();
  }
  return "";
}

TEST(AtomicSaveWindows, SecondSaveReplacesAndFailuresLoseNothing) {
  TempDir dir;
  const fs::path file = dir / "last_read.dat";
  ScanBatch("S", "FIRST", {"A"}).SaveBatchFile(file);
  ScanBatch("S", "SECOND", {"B", "C"}).SaveBatchFile(file);
  MemTable back;
  back.LoadBatchFile(file);
  EXPECT_EQ(back.RowCount(), 4);
  const std::string second = ReadBytes(file);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);

  // A target another program holds open without sharing: nothing changes, nothing is left.
  HANDLE held = ::CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const std::string locked = SaveError(ScanBatch("S", "THIRD", {"D"}), file);
  ::CloseHandle(held);
  EXPECT_EQ(locked.rfind("Cannot create file \"" + file.string() + "\". ", 0), 0u) << locked;
  EXPECT_EQ(ReadBytes(file), second);
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);

  // No folder: the Windows reason is in the message.
  const fs::path missing = dir / "no-folder" / "x.dat";
  const std::string noFolder = SaveError(ScanBatch("S", "X", {}), missing);
  EXPECT_EQ(noFolder.rfind("Cannot create file \"" + missing.string() + "\". ", 0), 0u);
  EXPECT_GT(noFolder.size(), ("Cannot create file \"" + missing.string() + "\". ").size());

  // Bytes go to disk as written: no line-end translation of 0x0A.
  ScanBatch("S", "LF", {"A\nB"}).SaveBatchFile(file);
  MemTable lf;
  lf.LoadBatchFile(file);
  EXPECT_EQ(ReadBytes(file).find("\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kessmar::test
