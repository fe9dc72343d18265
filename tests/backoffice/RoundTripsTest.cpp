// A batch costs a fixed number of round trips, and its batched reads and writes give exactly
// what the line-by-line sequence gives: the same batch, with every kind of scan and a debtor
// with discount rules, handed on once through TransferBatch and once line by line (each
// look-up and each line asking the server) into two databases holding the same data; also
// into open orders that were there before. A write refused in the round trip that commits
// leaves nothing behind.
#include <gtest/gtest.h>

#include "backoffice/BatchTransfer.h"
#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/OrderCreation.h"
#include "backoffice/ScanLookup.h"
#include "backoffice/TransferTestData.h"
#include "common/CodePage.h"
#include "support/BackOfficeFixture.h"

namespace kessmar::testing {
namespace {

// Articles 1 to 40 (codes 30000001 on) with prices in every column, every fourth in USD; package
// barcodes for the first ten; a debtor whose pair and own rules give discounts.
void MakeData(BackOfficeServer& server) {
  InsertCurrencies(server);
  SetDebtor(server, " 1001 ");
  server.Exec(R"SQL(
    INSERT INTO "DATA"."artk" ("ARTK_nummer", "ARTK_fullcod", "ARTK_Merk", "ARTK_typen")
      SELECT i, (30000000 + i)::text, 'Merk' || i, 'T' FROM generate_series(1, 40) AS i;
    INSERT INTO "DATA"."ARPZ"
      SELECT i, (30000000 + i)::text, 1.1 * i, 1.2 * i, 1.3 * i, 1.4 * i, 1.5 * i, 0.0123 * i,
             1.7 * i, CASE WHEN i % 4 = 0 THEN 'USD' ELSE 'EUR' END, i % 3
      FROM generate_series(1, 40) AS i;
    INSERT INTO "DATA"."arvp" SELECT '8710000' || lpad(i::text, 6, '0'), i, 1 + i % 5
      FROM generate_series(1, 10) AS i;
    INSERT INTO "SYSTEM"."DEBT" ("DEBT_debtnr", "Debt_prijs1", "Debt_prijs2") VALUES (1001, '1', '2');
    INSERT INTO "SYSTEM"."KODB" ("KODB_debtnr", "KODB_volgnr", "HoofdGroep", "Klasse", "Merk", "Soort", "Type", "KODB_Aantal", "KODB_PrijsGroep", "KODB_Korting", "KODB_Datum")
      VALUES (1001, 1, '3*', '*', '*', '*', '*', 2, 2, 12.5, '2024-01-01');
    INSERT INTO "SYSTEM"."KOGP" ("kogp_prijsgroepen", "HoofdGroep", "Klasse", "Merk", "Soort",
        "Type", "KOGP_Aantal", "KOGP_PrijsGroep", "KOGP_Korting", "KOGP_Datum")
      VALUES ('12', '3', '*', '*', '*', '*', 1, 1, 7.5, '2024-01-01'))SQL");
}

// count scans of every kind: package barcodes, codes, 11-character barcodes, unknown ones and
// repeats.
std::vector<std::pair<std::string, int>> Scans(int count) {
  std::vector<std::pair<std::string, int>> scans;
  for (int i = 0; i < count; ++i) {
    const int article = 1 + (i * 7) % 40;
    const std::string code = std::to_string(30000000 + article);
    switch (i % 5) {
      case 0:
        scans.emplace_back("8710000" + std::string(6 - std::to_string(1 + i % 10).size(), '0') +
                               std::to_string(1 + i % 10),
                           1 + i % 3);
        break;
      case 1:
        scans.emplace_back(code, 2);
        break;
      case 2:
        scans.emplace_back(code + "123", 1);
        break;
      case 3:
        scans.emplace_back("5901234" + std::to_string(100000 + i), 1);
        break;
      default:
        scans.emplace_back(std::to_string(30000001 + i % 3), 4);
        break;
    }
  }
  return scans;
}

// The batch line by line, as before the reads and writes were batched.
std::vector<OrderLine> LineByLine(const std::string& address,
                                  const std::vector<std::pair<std::string, int>>& scans,
                                  const std::string& batchId, std::vector<std::string>& notFound) {
  OrderCreation orders;
  orders.ConnectToVemoServer(address);
  orders.BeginBatch();
  for (const auto& [barcode, quantity] : scans) {
    const ResolvedScan resolved = LookUpScan(orders.Db(), barcode, quantity);
    if (resolved.code.empty()) {
      notFound.push_back(Cp1252ToUtf8(barcode) + " x " + std::to_string(quantity));
      continue;
    }
    EXPECT_GT(orders.AddOrderLine(resolved.code, static_cast<int32_t>(resolved.quantity), batchId),
              0);
  }
  orders.CommitBatch();
  return orders.Lines();
}

class RoundTripsTest : public BackOfficeFixture {};

TEST_F(RoundTripsTest, ABatchCostsTheSameFewRoundTripsWhateverItsSizeAndGivesTheLineByLineResult) {
  MakeData(Server());
  const std::string batched = Server().Database();
  const std::string reference = Server().CreateDatabase();
  Server().UseDatabase(reference);
  MakeData(Server());

  const auto scans = Scans(60);
  std::vector<std::string> expectedNotFound;
  const std::vector<OrderLine> expected =
      LineByLine(Server().ServerAddress(), scans, "B60", expectedNotFound);
  ASSERT_EQ(expected.size(), 48u);

  // Each batch into a back office of its own, so both create their order.
  const std::string small = Server().CreateDatabase();
  Server().UseDatabase(small);
  MakeData(Server());
  uint64_t trips[2] = {0, 0};
  TransferOutcome outcome;
  for (const int size : {3, 60}) {
    Server().UseDatabase(size == 3 ? small : batched);
    MemTable batch = BatchToProcess("B" + std::to_string(size), size == 3 ? Scans(3) : scans);
    OrderCreation orders;
    outcome = TransferBatch(batch, Server().ServerAddress(), orders);
    ASSERT_TRUE(outcome.handedOn) << outcome.detail;
    trips[size == 3 ? 0 : 1] = orders.Db().ffsVEMO.RoundTrips();
  }
  // Counted by the client, from connecting (its own round trips included) to the commit.
  EXPECT_EQ(trips[0], trips[1]);
  EXPECT_LE(trips[1], 10u);
  {
    // Into the order the small batch left open.
    Server().UseDatabase(small);
    MemTable batch = BatchToProcess("B60", scans);
    OrderCreation orders;
    const TransferOutcome into = TransferBatch(batch, Server().ServerAddress(), orders);
    ASSERT_TRUE(into.handedOn) << into.detail;
    EXPECT_EQ(into.lines.front().order, OrderCreation::kFirstOrderNumber);
    EXPECT_LE(orders.Db().ffsVEMO.RoundTrips(), trips[1]);
  }

  ASSERT_EQ(outcome.lines.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const OrderLine& got = outcome.lines[i];
    const OrderLine& want = expected[i];
    EXPECT_EQ(got.order, want.order) << i;
    EXPECT_EQ(got.bergNummer, want.bergNummer) << i;
    EXPECT_EQ(got.article, want.article) << i;
    EXPECT_EQ(got.articleCode, want.articleCode) << i;
    EXPECT_EQ(got.description, want.description) << i;
    EXPECT_EQ(got.quantity, want.quantity) << i;
    EXPECT_EQ(got.unitPrice, want.unitPrice) << i;
    EXPECT_EQ(got.total, want.total) << i;
  }
  EXPECT_EQ(outcome.notFound, expectedNotFound);
  const std::string lines =
      R"(SELECT string_agg(concat_ws('|', "BEST_nummer", "ARTK_nummer", "ARTK_fullcod",
                "BERG_Omschrijving", "BERG_merk", "BEST_aantal", "BEST_prijs", "BERG_totaal",
                "ONDR_nummer", "SPEC_nummer", "BERG_uwnummer"), ';' ORDER BY "BERG_nummer")
         FROM "SYSTEM"."BERG" WHERE "BERG_uwnummer" = 'B60')";
  EXPECT_EQ(Server().QueryValue(lines, batched), Server().QueryValue(lines, reference));
  const std::string total = R"(SELECT sum("BERG_totaal") FROM "SYSTEM"."BERG")";
  EXPECT_EQ(Server().QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")", batched),
            Server().QueryValue(total, batched));
  EXPECT_EQ(Server().QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")", reference),
            Server().QueryValue(total, reference));
}

// Open orders as another tool or the back office may leave them: two without lines yet (each
// takes the batch's next line) and an older one with lines (which takes the rest).
void MakeOpenOrders(BackOfficeServer& server) {
  server.Exec(R"SQL(
    INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "BEST_uniqueidentifier", "BEST_datum",
        "BEST_type", "BEST_verstuurd", "RLTI_nummer", "ORDR_totaal") VALUES
      (1000007, '7', '2026-01-01 10:00', 1, 2, 1, 12.5),
      (1000008, '8', '2026-01-01 11:00', 1, 1, 1, 0),
      (1000009, '9', '2026-01-01 12:00', 1, 1, 1, 0),
      (1000010, '10', '2026-01-01 13:00', 1, 3, 1, 99);
    INSERT INTO "SYSTEM"."SYSC" VALUES ('BEST', 1000010))SQL");
}

TEST_F(RoundTripsTest, OpenOrdersTakeTheSameLinesAndTotalsAsLineByLine) {
  MakeData(Server());
  MakeOpenOrders(Server());
  const std::string batched = Server().Database();
  const std::string reference = Server().CreateDatabase();
  Server().UseDatabase(reference);
  MakeData(Server());
  MakeOpenOrders(Server());
  const auto scans = Scans(20);
  std::vector<std::string> expectedNotFound;
  const std::vector<OrderLine> expected =
      LineByLine(Server().ServerAddress(), scans, "O20", expectedNotFound);

  Server().UseDatabase(batched);
  MemTable batch = BatchToProcess("O20", scans);
  OrderCreation orders;
  const TransferOutcome outcome = TransferBatch(batch, Server().ServerAddress(), orders);
  ASSERT_TRUE(outcome.handedOn) << outcome.detail;
  EXPECT_LE(orders.Db().ffsVEMO.RoundTrips(), 10u + 6u);  // each unsent order: search, total
  ASSERT_EQ(outcome.lines.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(outcome.lines[i].order, expected[i].order) << i;
    EXPECT_EQ(outcome.lines[i].total, expected[i].total) << i;
  }
  EXPECT_EQ(outcome.lines[0].order, 1000009);
  EXPECT_EQ(outcome.lines[1].order, 1000008);
  EXPECT_EQ(outcome.notFound, expectedNotFound);
  const std::string headers =
      R"(SELECT string_agg(concat_ws('|', "BEST_nummer", "BEST_verstuurd", "ORDR_totaal"), ';'
                ORDER BY "BEST_nummer") FROM "SYSTEM"."BEST")";
  EXPECT_EQ(Server().QueryValue(headers, batched), Server().QueryValue(headers, reference));
}

TEST_F(RoundTripsTest, AWriteRefusedWithTheCommitLeavesNothingAndTheNextRunLands) {
  MakeData(Server());
  // The record of handed-on batches refuses this batch's entry: the last write before COMMIT.
  Server().Exec(R"(ALTER TABLE "SYSTEM".kessmar_batches ADD CONSTRAINT "no_R5"
                   CHECK (batch_id <> 'R5'))");
  MemTable batch = BatchToProcess("R5", Scans(5));
  OrderCreation orders;
  TransferOutcome outcome = TransferBatch(batch, Server().ServerAddress(), orders);
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_FALSE(outcome.commitUnknown);
  EXPECT_NE(outcome.reason.find("Er is niets in Vemo vastgelegd"), std::string::npos)
      << outcome.reason;
  EXPECT_NE(outcome.detail.find("no_R5"), std::string::npos) << outcome.detail;
  EXPECT_TRUE(outcome.lines.empty());
  for (const char* table : {"BEST", "BERG", "SYSC", "kessmar_batches"}) {
    EXPECT_EQ(Server().QueryValue("SELECT count(*) FROM \"SYSTEM\".\"" + std::string(table) + "\""),
              "0")
        << table;
  }

  // The same module, once the back office accepts the entry.
  Server().Exec(R"(ALTER TABLE "SYSTEM".kessmar_batches DROP CONSTRAINT "no_R5")");
  outcome = TransferBatch(batch, Server().ServerAddress(), orders);
  ASSERT_TRUE(outcome.handedOn) << outcome.detail;
  EXPECT_EQ(Server().QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BERG")"),
            std::to_string(outcome.lines.size()));
  EXPECT_EQ(Server().QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")"),
            Server().QueryValue(R"(SELECT sum("BERG_totaal") FROM "SYSTEM"."BERG")"));
  EXPECT_EQ(Server().QueryValue(R"(SELECT line_count FROM "SYSTEM".kessmar_batches)"),
            std::to_string(outcome.lines.size()));

  // Without the record's table the look-up, read with the lock, says what is missing.
  Server().Exec(R"(DROP TABLE "SYSTEM".kessmar_batches)");
  MemTable other = BatchToProcess("R6", Scans(5));
  outcome = TransferBatch(other, Server().ServerAddress(), orders);
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("mist de tabel SYSTEM.kessmar_batches"), std::string::npos)
      << outcome.reason;
  EXPECT_EQ(
      Server().QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BERG" WHERE "BERG_uwnummer" = 'R6')"),
      "0");
}

}  // namespace
}  // namespace kessmar::testing
