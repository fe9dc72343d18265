// The table behaviour the scan tables rely on.
#include <gtest/gtest.h>

#include "batch/BatchTestSupport.h"
#include "batch/MemTable.h"

namespace kessmar::test {
namespace {

TEST(MemTable, ValueRules) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  table.Append();
  EXPECT_TRUE(table.IsNull("Barcode"));
  EXPECT_EQ(table.AsText("barcode"), "");
  EXPECT_EQ(table.AsInteger("AANTAL"), 0);
  EXPECT_EQ(table.AsText("Aantal"), "");

  table.SetText("BarcodeType", "EAN-13 and more");
  table.SetText("Barcode", std::string(30, '7'));
  table.SetInteger("Aantal", -42);
  table.SetText("DateTime", "");
  table.Post();
  EXPECT_EQ(table.AsText("BarcodeType"), "EAN-13 and m");  // cut to 12
  EXPECT_EQ(table.AsText("Barcode"), std::string(26, '7'));
  EXPECT_EQ(table.AsText("Aantal"), "-42");
  EXPECT_FALSE(table.IsNull("DateTime"));

  table.Edit();
  table.SetText("Aantal", "123");
  table.Post();
  EXPECT_EQ(table.AsInteger("Aantal"), 123);
  table.Edit();
  EXPECT_THROW(table.SetText("Aantal", "12x"), TableError);
  EXPECT_THROW(table.SetText("NoSuchField", "x"), TableError);
  table.Cancel();
  EXPECT_EQ(table.AsInteger("Aantal"), 123);
  EXPECT_THROW(table.Post(), TableError);  // nothing being appended or edited
}

TEST(MemTable, CursorOrderAndFind) {
  MemTable table = ScanBatch("S", "B", {"A", "b", "B", "A"});
  EXPECT_EQ(table.RowCount(), 6);
  EXPECT_EQ(table.AsText("Barcode"), "A");  // the last posted row is current

  std::string order;
  for (table.First(); !table.Eof(); table.Next()) order += table.AsText("Barcode") + ";";
  EXPECT_EQ(order, "S;B;A;b;B;A;");
  EXPECT_THROW(table.AsText("Barcode"), TableError);  // past the end
  table.Next();
  EXPECT_TRUE(table.Eof());

  EXPECT_TRUE(table.Find("barcode", "B"));
  EXPECT_EQ(table.AsText("DateTime"), "");  // row 2, the batch id row, comes first
  EXPECT_TRUE(table.Find("Barcode", "b"));
  EXPECT_EQ(table.AsText("DateTime"), "2026/12/08 14:31:07");
  EXPECT_FALSE(table.Find("Barcode", "a"));
  EXPECT_EQ(table.AsText("Barcode"), "b");   // cursor kept
  EXPECT_FALSE(table.Find("DateTime", ""));  // null equals nothing
  EXPECT_TRUE(table.Find("Aantal", "1"));
  EXPECT_EQ(table.AsText("Barcode"), "A");

  table.Empty();
  table.First();
  EXPECT_TRUE(table.Eof());
  EXPECT_THROW(table.Edit(), TableError);
}

TEST(MemTable, OpenCloseAndEditPosting) {
  MemTable table = ScanBatch("S", "B", {"A"});
  table.Close();
  EXPECT_FALSE(table.IsOpen());
  EXPECT_TRUE(table.Eof());
  EXPECT_THROW(table.First(), TableError);
  EXPECT_THROW(table.Append(), TableError);
  EXPECT_THROW(table.SaveBatchFile("/nonexistent/x.dat"), TableError);
  table.Open();
  table.Open();
  EXPECT_EQ(table.RowCount(), 0);
  EXPECT_EQ(table.Fields().size(), 4u);

  // A changed row pending when the cursor moves is posted; an untouched appended one dropped.
  table.Append();
  table.SetText("Barcode", "X");
  table.First();
  table.Append();
  table.First();
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.AsText("Barcode"), "X");
  EXPECT_EQ(table.Rows().at(0).values.at(1).text, "X");
  table.Edit();
  table.SetText("Barcode", "a longer code");
  EXPECT_EQ(table.AsText("Barcode"), "a longer code");  // reads see the row being edited
  table.Post();
  table.Edit();
  table.SetText("Barcode", "Y");
  table.Post();
  EXPECT_EQ(table.RowCount(), 1);
  EXPECT_EQ(table.AsText("Barcode"), "Y");
  EXPECT_EQ(table.Rows().at(0).values.at(1).text, "Y");  // the listing follows changes
}

}  // namespace
}  // namespace kessmar::test
