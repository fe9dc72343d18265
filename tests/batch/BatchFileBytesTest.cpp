// The exact bytes of saved batch files, and files of every version read back.
#include <gtest/gtest.h>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

namespace kessmar::test {
namespace {

// The 200 bytes every file with the four scan fields begins with, written out by hand.
const std::string kScanPrefix =
    "TPF0" + B({0x03, 0xFB, 0x00, 0x01}) + B({0x06, 0x0B}) + "BarcodeType" + B({0x06, 0x06}) +
    "String" + B({0x02, 0x0C, 0x06, 0x0B}) + "BarcodeType" +
    B({0x06, 0x00, 0x02, 0x0C, 0x08, 0x08, 0x06, 0x04}) + "Data" + B({0x06, 0x00}) +
    B({0x06, 0x07}) + "Barcode" + B({0x06, 0x06}) + "String" + B({0x02, 0x1A, 0x06, 0x07}) +
    "Barcode" + B({0x06, 0x00, 0x02, 0x1A, 0x08, 0x08, 0x06, 0x04}) + "Data" + B({0x06, 0x00}) +
    B({0x06, 0x08}) + "DateTime" + B({0x06, 0x06}) + "String" + B({0x02, 0x1A, 0x06, 0x08}) +
    "DateTime" + B({0x06, 0x00, 0x02, 0x1A, 0x08, 0x08, 0x06, 0x04}) + "Data" + B({0x06, 0x00}) +
    B({0x06, 0x06}) + "Aantal" + B({0x06, 0x07}) + "Integer" + B({0x02, 0x00, 0x06, 0x06}) +
    "Aantal" + B({0x06, 0x00, 0x02, 0x0A, 0x08, 0x08, 0x06, 0x04}) + "Data" + B({0x06, 0x00}) +
    B({0x00, 0x01, 0x00, 0x01, 0x02, 0x04, 0x02, 0x01, 0x02, 0x01, 0x02, 0x01, 0x02, 0x03, 0x00});

std::string Saved(const MemTable& table, const TempDir& dir) {
  table.SaveBatchFile(dir / "t.dat");
  return ReadBytes(dir / "t.dat");
}

// A one-field String table (size 300) holding one row with text.
MemTable NoteTable(std::string_view text) {
  MemTable table({FieldDef::Text("Note", 300)});
  table.Open();
  table.Append();
  table.SetText("Note", text);
  table.Post();
  return table;
}

TEST(BatchFileBytes, ScanBatchLayout) {
  TempDir dir;
  ASSERT_EQ(kScanPrefix.size(), 200u);

  const std::string leadingOnly = Saved(ScanBatch("12AB34CD", "12AB34CD20261208143107", {}), dir);
  const std::string leading1 = B({1, 2, 0, 9, 8, 6, 8}) + "12AB34CD" + B({9, 9, 0});
  ASSERT_EQ(leading1.size(), 18u);
  const std::string leading2 = B({1, 2, 0, 9, 8, 6, 22}) + "12AB34CD20261208143107" + B({9, 9, 0});
  EXPECT_EQ(leadingOnly, kScanPrefix + B({1}) + leading1 + leading2 + B({0}));

  const std::string withItem =
      Saved(ScanBatch("12AB34CD", "12AB34CD20261208143107", {"8712345678906"}), dir);
  const std::string item = B({1, 2, 0, 8, 6, 0, 8, 6, 13}) + "8712345678906" + B({8, 6, 19}) +
                           "2026/12/08 14:31:07" + B({8, 2, 1, 0});
  EXPECT_EQ(withItem, kScanPrefix + B({1}) + leading1 + leading2 + item + B({0}));
}

TEST(BatchFileBytes, IntegersTakeTheShortestTagAndReadBackUnchanged) {
  TempDir dir;
  const std::pair<int32_t, std::string> cases[] = {
      {1, B({2, 1})},     {200, B({3, 0xC8, 0})},     {40000, B({4, 0x40, 0x9C, 0, 0})},
      {-1, B({2, 0xFF})}, {-129, B({3, 0x7F, 0xFF})}, {INT32_MIN, B({4, 0, 0, 0, 0x80})},
  };
  for (const auto& [value, bytes] : cases) {
    MemTable table({FieldDef::Int("Aantal")});
    table.Open();
    table.Append();
    table.SetInteger("Aantal", value);
    table.Post();
    const std::string file = Saved(table, dir);
    EXPECT_EQ(file.substr(file.size() - bytes.size() - 3), B({8}) + bytes + B({0, 0})) << value;
    MemTable back;
    back.LoadBatchFile(dir / "t.dat");
    EXPECT_EQ(back.AsInteger("aantal"), value);
  }
}

TEST(BatchFileBytes, TextTagsByLengthAndCharacters) {
  TempDir dir;
  const std::string s255(255, 'x');
  const std::string s256(256, 'x');
  std::string file = Saved(NoteTable(s255), dir);
  EXPECT_NE(file.find(B({8, 6, 0xFF}) + s255 + B({0, 0})), std::string::npos);
  file = Saved(NoteTable(s256), dir);
  EXPECT_NE(file.find(B({8, 0x0C, 0, 1, 0, 0}) + s256 + B({0, 0})), std::string::npos);

  // "Café" in Windows-1252 goes out as UTF-8 under tag 0x14.
  file = Saved(NoteTable("Caf\xE9"), dir);
  EXPECT_NE(file.find(B({8, 0x14, 5, 0, 0, 0}) + "Caf\xC3\xA9" + B({0, 0})), std::string::npos);

  // Every byte value survives a round trip, the undefined ones of the code page included.
  std::string all;
  for (int c = 1; c < 256; ++c) all += static_cast<char>(c);
  NoteTable(all).SaveBatchFile(dir / "t.dat");
  MemTable back;
  back.LoadBatchFile(dir / "t.dat");
  EXPECT_EQ(back.AsText("Note"), all);
}

TEST(BatchFileBytes, NullAndEmptyStayDifferent) {
  TempDir dir;
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  table.Append();
  table.SetText("BarcodeType", "");
  table.SetText("Barcode", "A");
  table.Post();
  const std::string file = Saved(table, dir);
  EXPECT_EQ(file.substr(200), B({1, 1, 2, 0, 8, 6, 0, 8, 6, 1, 'A', 9, 9, 0, 0}));

  MemTable back;
  back.LoadBatchFile(dir / "t.dat");
  EXPECT_FALSE(back.IsNull("BarcodeType"));
  EXPECT_EQ(back.AsText("BarcodeType"), "");
  EXPECT_TRUE(back.IsNull("DateTime"));
  EXPECT_TRUE(back.IsNull("Aantal"));
  EXPECT_EQ(Saved(back, dir), file);  // and writes back the same bytes
}

TEST(BatchFileBytes, LoadReplacesChangedFieldsAndRows) {
  TempDir dir;
  ScanBatch("S1", "B1", {"A", "B"}).SaveBatchFile(dir / "t.dat");

  MemTable table({FieldDef::Int("Barcode"), FieldDef::Text("Other", 3)});
  table.Open();
  table.Append();
  table.SetText("Other", "old");
  table.Post();
  table.LoadBatchFile(dir / "t.dat");

  ASSERT_EQ(table.Fields().size(), 4u);
  EXPECT_EQ(table.Fields()[1].name, "Barcode");
  EXPECT_EQ(table.Fields()[1].type, FieldType::String);
  EXPECT_EQ(table.Fields()[1].size, 26);
  EXPECT_EQ(table.FieldIndex("other"), -1);
  EXPECT_TRUE(table.IsOpen());
  EXPECT_EQ(table.RowCount(), 4);
  EXPECT_EQ(table.AsText("Barcode"), "S1");  // cursor on the first row
}

TEST(BatchFileBytes, OlderVersionsLoad) {
  TempDir dir;
  const std::string fields = Def("Code", "String", 5, 5, 100) + Def("N", "Integer", 0, 10, 100);

  // No version value: no index list, unwrapped rows, no status, no null flags, no kind.
  WriteBytes(dir / "v100.dat", "TPF0" + B({1}) + fields + B({0, 1}) + I(2) + I(1) + I(3) +
                                   B({0, 1}) + T("abcdefg") + I(7) + T("") + I(-2) + B({0}));
  MemTable table;
  table.LoadBatchFile(dir / "v100.dat");
  ASSERT_EQ(table.RowCount(), 2);
  EXPECT_EQ(table.AsText("Code"), "abcde");  // cut to the stored size
  EXPECT_EQ(table.AsInteger("N"), 7);
  table.Next();
  EXPECT_FALSE(table.IsNull("Code"));
  EXPECT_EQ(table.AsInteger("N"), -2);

  // 200: index list (with one entry, skipped); 230: rows in lists with a status.
  const std::string index = T("ix") + T("Code") + T("") + B({8, 8, 9, 8});
  WriteBytes(dir / "v230.dat", "TPF0" + I(230) + B({1}) + fields + B({0, 1}) + index + B({0, 1}) +
                                   I(2) + I(1) + I(3) + B({0, 1, 1}) + I(4) + T("x") + I(1) +
                                   B({0, 0}));
  table.LoadBatchFile(dir / "v230.dat");
  ASSERT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.Rows()[0].status, 4);
  EXPECT_EQ(table.AsText("code"), "x");

  // 250 has the kind but no default expression; an unknown kind counts as data.
  std::string v250 =
      T("Code") + T("String") + I(5) + T("Label") + T("") + I(5) + B({9, 8}) + T("Whatever");
  WriteBytes(dir / "v250.dat", "TPF0" + I(250) + B({1}) + v250 + B({0, 1, 0, 1}) + I(1) + I(1) +
                                   B({0, 1, 1}) + I(0) + B({9, 0, 0}));
  table.LoadBatchFile(dir / "v250.dat");
  ASSERT_EQ(table.Fields().size(), 1u);
  EXPECT_EQ(table.Fields()[0].displayLabel, "Label");
  EXPECT_TRUE(table.Fields()[0].required);
  EXPECT_EQ(table.Fields()[0].kind, 0);
  EXPECT_TRUE(table.IsNull("Code"));
}

TEST(BatchFileBytes, Utf16TextsAndEarlierRowVersions) {
  TempDir dir;
  const std::string header = "TPF0" + I(251) + B({1}) + Def("Code", "String", 10, 10) +
                             Def("N", "Integer", 0, 10) + B({0, 1, 0, 1}) + I(2) + I(1) + I(3) +
                             B({0});
  // "Zoë€" as UTF-16LE, then a row with two earlier versions.
  const std::string utf16 = B({0x12, 4, 0, 0, 0, 'Z', 0, 'o', 0, 0xEB, 0, 0xAC, 0x20});
  const std::string row = B({1}) + I(0) + B({8}) + utf16 + B({8}) + I(5) + I(2) + B({8}) +
                          T("old") + B({9}) + I(3) + B({9, 8}) + I(1) + B({0});
  WriteBytes(dir / "t.dat", header + B({1}) + row + B({1}) + I(0) + B({9, 9, 0, 0}));

  MemTable table;
  table.LoadBatchFile(dir / "t.dat");
  ASSERT_EQ(table.RowCount(), 2);  // earlier versions are no rows of their own
  EXPECT_EQ(table.AsText("Code"), "Zo\xEB\x80");
  EXPECT_EQ(table.AsInteger("N"), 5);
  const Row& first = table.Rows()[0];
  ASSERT_EQ(first.earlierVersions.size(), 2u);
  EXPECT_EQ(first.earlierVersions[0].first, 2);
  EXPECT_EQ(first.earlierVersions[0].second[0].text, "old");
  EXPECT_TRUE(first.earlierVersions[0].second[1].isNull);
  EXPECT_EQ(first.earlierVersions[1].first, 3);
  EXPECT_TRUE(first.earlierVersions[1].second[0].isNull);
  EXPECT_EQ(first.earlierVersions[1].second[1].integer, 1);
}

}  // namespace
}  // namespace kessmar::test
