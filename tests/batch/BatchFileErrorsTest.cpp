// Damaged and hostile batch files: the loader's messages and what it leaves in the table.
#include <gtest/gtest.h>

#include <string>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

namespace kessmar::test {
namespace {

std::string LoadError(MemTable& table, const std::filesystem::path& path) {
  try {
    table.LoadBatchFile(path);
  } catch (const TableError& e) {
    return e.what();
  }
  return "(no error)";
}

std::string LoadError(const TempDir& dir, const std::string& bytes) {
  WriteBytes(dir / "bad.dat", bytes);
  MemTable table;
  return LoadError(table, dir / "bad.dat");
}

const std::string kHeader = "TPF0" + I(251) + B({1}) + Def("Code", "String", 10, 10) +
                            Def("N", "Integer", 0, 10) + B({0, 1, 0, 1}) + I(2) + I(1) + I(3) +
                            B({0});

TEST(BatchFileErrors, EachMessage) {
  TempDir dir;
  MemTable table;
  EXPECT_EQ(
      LoadError(table, dir / "missing.dat"),
      "Cannot open file \"" + (dir / "missing.dat").string() + "\". No such file or directory");
  EXPECT_EQ(LoadError(table, dir.Path()),
            "Cannot open file \"" + dir.Path().string() + "\". Is a directory");

  EXPECT_EQ(LoadError(dir, ""), "Stream read error");
  EXPECT_EQ(LoadError(dir, "TPF"), "Stream read error");
  EXPECT_EQ(LoadError(dir, "TPF1" + I(251)), "Invalid stream format");
  EXPECT_EQ(LoadError(dir, "TPF0" + T("251")), "Invalid property value");
  EXPECT_EQ(LoadError(dir, "TPF0" + I(251) + B({1}) + T("Code") + T("Currency")),
            "Stream read error");
  EXPECT_EQ(LoadError(dir, "TPF0" + I(251) + B({1}) + Def("Price", "Currency", 0, 10) + B({0})),
            "Unknown field type (Currency)");
  EXPECT_EQ(LoadError(dir, "TPF0" + I(251) + B({1, 0, 1, 0, 1}) + I(0) + B({0, 1, 0})),
            "Couldnt determine field count for load.");
  // A text where the integer value of N should stand.
  EXPECT_EQ(LoadError(dir, kHeader + B({1, 1}) + I(0) + B({9, 8}) + T("7") + B({0, 0})),
            "Invalid property value");
  // A length of 2 GB in a 300-byte file is a read error, not an allocation.
  EXPECT_EQ(LoadError(dir, kHeader + B({1, 1}) + I(0) + B({8, 0x0C, 0, 0, 0, 0x80})),
            "Stream read error");
  EXPECT_EQ(LoadError(dir, kHeader + B({1, 1}) + I(0) + B({8, 0x12, 0xFF, 0xFF, 0xFF, 0xFF})),
            "Stream read error");
  // A row with more values than fields: the extra values must form earlier versions.
  EXPECT_EQ(LoadError(dir, kHeader + B({1, 1}) + I(0) + B({9, 9, 9, 9, 0, 0})),
            "Invalid property value");
}

TEST(BatchFileErrors, WhatAFailedLoadLeavesInTheTable) {
  TempDir dir;
  MemTable table = ScanBatch("S", "B", {"A"});

  // Wrong signature, unknown type in the first definition, truncation inside it: unchanged.
  for (const std::string& bytes :
       {"XPF0" + I(251), "TPF0" + I(251) + B({1}) + Def("P", "Float", 0, 10),
        "TPF0" + I(251) + B({1}) + T("P")}) {
    WriteBytes(dir / "bad.dat", bytes);
    EXPECT_THROW(table.LoadBatchFile(dir / "bad.dat"), TableError);
    EXPECT_TRUE(table.IsOpen());
    EXPECT_EQ(table.Fields().size(), 4u);
    EXPECT_EQ(table.RowCount(), 3);
  }

  // An error in the third row keeps the two rows before it, table open, cursor on row 1.
  const std::string good = B({1}) + I(0) + B({8}) + T("r1") + B({9, 0});
  WriteBytes(dir / "bad.dat", kHeader + B({1}) + good + B({1}) + I(0) + B({8}) + T("r2") + B({8}) +
                                  I(2) + B({0, 1}) + I(0) + B({8}) + T("r3") + B({8}));
  EXPECT_EQ(LoadError(table, dir / "bad.dat"), "Stream read error");
  EXPECT_TRUE(table.IsOpen());
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.AsText("Code"), "r1");
  EXPECT_EQ(table.Fields().size(), 2u);

  // No field definitions: the fields stay, the rows are replaced.
  WriteBytes(dir / "nofields.dat",
             "TPF0" + I(251) + B({1, 0, 1, 0, 1}) + I(0) + B({0, 1}) + good + B({0}));
  table.LoadBatchFile(dir / "nofields.dat");
  ASSERT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.AsText("code"), "r1");
}

TEST(BatchFileErrors, TruncationAnywhereGivesAMessage) {
  TempDir dir;
  ScanBatch("12AB34CD", "12AB34CD20261208143107", {"8712345678906", "Caf\xE9"})
      .SaveBatchFile(dir / "good.dat");
  const std::string good = ReadBytes(dir / "good.dat");
  for (size_t n = 0; n < good.size(); ++n) {
    const std::string message = LoadError(dir, good.substr(0, n));
    EXPECT_EQ(message, "Stream read error") << "cut at " << n;
  }
  EXPECT_EQ(LoadError(dir, good), "(no error)");
}

TEST(BatchFileErrors, ManyFieldsAndLongCountsStayProportional) {
  TempDir dir;
  // 5000 field definitions and a row list that ends early.
  std::string bytes = "TPF0" + I(251) + B({1});
  for (int i = 0; i < 5000; ++i) bytes += Def("F" + std::to_string(i), "Integer", 0, 10);
  bytes += B({0, 1, 0, 1}) + I(0) + B({0, 1, 1}) + I(0) + B({9, 9});
  EXPECT_EQ(LoadError(dir, bytes), "Stream read error");

  // A data-type header claiming two billion codes ends with the file.
  EXPECT_EQ(LoadError(dir, "TPF0" + I(251) + B({1}) + Def("N", "Integer", 0, 10) + B({0, 1, 0, 1}) +
                               I(INT32_MAX) + I(3) + I(3)),
            "Stream read error");
}

}  // namespace
}  // namespace kessmar::test
