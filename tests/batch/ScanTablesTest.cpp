// Building the batch to process, with and without merging identical barcodes.
#include <gtest/gtest.h>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"
#include "batch/ScanTables.h"

namespace kessmar::test {
namespace {

// "code:Aantal" of every row in order.
std::string Rows(MemTable& table) {
  std::string out;
  for (table.First(); !table.Eof(); table.Next()) {
    out += table.AsText("Barcode") + ":" + table.AsText("Aantal") + " ";
  }
  return out;
}

TEST(BuildBatchToProcess, MergingIdenticalBarcodes) {
  TempDir dir;
  MemTable scans = ScanBatch("S", "SB", {"A", "B", "A", "A", "a"});
  MemTable process(MemTable::ScanRecordFields());

  BuildBatchToProcess(scans, process, true, dir / "last_read.dat");
  EXPECT_EQ(Rows(process), "S:0 SB:0 A:3 B:1 a:1 ");
  BuildBatchToProcess(scans, process, false, dir / "last_read.dat");
  EXPECT_EQ(Rows(process), "S:0 SB:0 A:1 B:1 A:1 A:1 a:1 ");

  // Leading rows: Aantal 0, BarcodeType empty but not null, DateTime null everywhere.
  process.First();
  EXPECT_FALSE(process.IsNull("BarcodeType"));
  EXPECT_FALSE(process.IsNull("Aantal"));
  for (process.First(); !process.Eof(); process.Next()) EXPECT_TRUE(process.IsNull("DateTime"));

  // A sum beyond 32 bits is an error, not a wrapped quantity.
  MemTable huge = ScanBatch("S", "SB", {"A", "A"});
  huge.Edit();
  huge.SetInteger("Aantal", INT32_MAX);
  huge.Post();
  EXPECT_THROW(BuildBatchToProcess(huge, process, true, dir / "last_read.dat"), TableError);

  // Only the leading rows: only they come out.
  MemTable leading = ScanBatch("S", "SB", {});
  BuildBatchToProcess(leading, process, true, dir / "last_read.dat");
  EXPECT_EQ(Rows(process), "S:0 SB:0 ");
}

TEST(BuildBatchToProcess, CutCodesAndIds) {
  TempDir dir;
  const std::string longA = std::string(26, '1') + "AAAA";
  const std::string longB = std::string(26, '1') + "BBBB";
  // A 16-character scanner id makes a 30-character batch id that keeps 26.
  MemTable scans =
      ScanBatch("0123456789ABCDEF", "0123456789ABCDEF20261208143107", {longA, longB, "C"});
  MemTable process;
  BuildBatchToProcess(scans, process, true, dir / "last_read.dat");
  EXPECT_EQ(Rows(process),
            "0123456789ABCDEF:0 0123456789ABCDEF2026120814:0 " + std::string(26, '1') + ":2 C:1 ");
}

TEST(BuildBatchToProcess, ReloadsLastReadWhenFewerThanTwoRows) {
  TempDir dir;
  ScanBatch("S", "SB", {"A", "A"}).SaveBatchFile(dir / "last_read.dat");
  MemTable process(MemTable::ScanRecordFields());

  MemTable one(MemTable::ScanRecordFields());
  one.Open();
  one.Append();
  one.SetText("Barcode", "only row");
  one.Post();
  BuildBatchToProcess(one, process, true, dir / "last_read.dat");
  EXPECT_EQ(Rows(process), "S:0 SB:0 A:2 ");
  EXPECT_EQ(one.RowCount(), 4);  // the scan batch itself was reloaded

  MemTable closed;
  BuildBatchToProcess(closed, process, false, dir / "last_read.dat");
  EXPECT_EQ(Rows(process), "S:0 SB:0 A:1 A:1 ");

  // No batch in memory and no file: the load error ends the build.
  MemTable empty(MemTable::ScanRecordFields());
  EXPECT_THROW(BuildBatchToProcess(empty, process, true, dir / "missing.dat"), TableError);
}

}  // namespace
}  // namespace kessmar::test
