// What identifies a batch in the record of handed-on batches, and article codes read by
// characters rather than bytes.
#include <gtest/gtest.h>

#include "backoffice/CodePattern.h"
#include "backoffice/HandedOnRecord.h"
#include "backoffice/OrderCreation.h"
#include "common/Sha256.h"

namespace kessmar::testing {
namespace {

// A batch to process: the scanner id and batch id rows, then (barcode, Aantal) rows.
MemTable BatchToProcess(const std::string& batchId,
                        const std::vector<std::pair<std::string, int>>& scans) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  for (const std::string& id : {std::string("A1B2C3D4E5F"), batchId}) {
    table.Append();
    table.SetText("Barcode", id);
    table.Post();
  }
  for (const auto& [barcode, quantity] : scans) {
    table.Append();
    table.SetText("Barcode", barcode);
    table.SetInteger("Aantal", quantity);
    table.Post();
  }
  return table;
}

TEST(BatchIdentityTest, Sha256OfTheStandardExamples) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(Sha256Hex(std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(BatchIdentityTest, MergedOrNotTheSameScansAreTheSameBatch) {
  const BatchIdentity merged =
      IdentifyBatch(BatchToProcess("B1", {{"12345678", 2}, {"87654321", 1}}));
  EXPECT_EQ(merged.scannerId, "A1B2C3D4E5F");
  EXPECT_EQ(merged.batchId, "B1");
  EXPECT_EQ(merged.rowsHash.size(), 64u);
  EXPECT_EQ(IdentifyBatch(BatchToProcess("B1", {{"87654321", 1}, {"12345678", 1}, {"12345678", 1}}))
                .rowsHash,
            merged.rowsHash);
  EXPECT_NE(IdentifyBatch(BatchToProcess("B1", {{"12345678", 3}, {"87654321", 1}})).rowsHash,
            merged.rowsHash);
  EXPECT_NE(IdentifyBatch(BatchToProcess("B1", {{"1234567", 2}, {"887654321", 1}})).rowsHash,
            merged.rowsHash);
  EXPECT_NE(IdentifyBatch(BatchToProcess("B2", {{"12345678", 2}, {"87654321", 1}})).batchId,
            merged.batchId);
}

TEST(BatchIdentityTest, ArticleCodesAreReadByCharacters) {
  EXPECT_EQ(FormatArticleCode("1234567é"), "1.23.45.67-é");
  EXPECT_EQ(FormatArticleCode("12345678"), "1.23.45.67-8");
  EXPECT_EQ(FormatArticleCode("1234567"), "1234567");
  EXPECT_EQ(FormatArticleCode("123456é"), "123456é");  // 7 characters, 8 bytes
  const auto parts = ArticleCodeParts("é2ü45678€");
  EXPECT_EQ(parts, (std::array<std::string, 5>{"é", "2ü", "45", "67", "8"}));
  EXPECT_TRUE(MatchCodePart("ü5", "ü*"));
  EXPECT_TRUE(MatchCodePart("5ü", "*ü"));
  EXPECT_FALSE(MatchCodePart("ü5", "!ü5,ü*"));
  // A cut sequence is a character of its own and never swallows the next one.
  EXPECT_EQ(Utf8Characters("a\xC3"
                           "b"),
            (std::vector<std::string_view>{"a", "\xC3", "b"}));
}

}  // namespace
}  // namespace kessmar::testing
