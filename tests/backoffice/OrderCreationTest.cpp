// The look-up of a batch and order creation against a real server: every kind of scan the
// look-up resolves (or not), the open order found or created, the order lines and totals to the
// 1/10000, and a batch that lands whole or not at all.
#include <gtest/gtest.h>

#include "backoffice/BatchTransfer.h"
#include "backoffice/OrderCreation.h"
#include "backoffice/TransferTestData.h"
#include "support/BackOfficeFixture.h"

namespace kessmar::testing {
namespace {

class OrderCreationTest : public BackOfficeFixture {
 protected:
  OrderCreationTest() {
    InsertCurrencies(Server());
    InsertArticle(Server(), {1,
                             "12345678",
                             {"129.95", "119.95", "109.95", "104.5", "99.95", "157.24", "94.95"},
                             "EUR",
                             10,
                             "Bosch",
                             "Boormachine",
                             "18V",
                             "GSB 18V-55"});
    InsertArticle(Server(), {2,
                             "23456789",
                             {"189", "179", "169", "159", "149", "228.69", "139"},
                             "EUR",
                             0,
                             "Makita",
                             "Schroefmachine",
                             "18V",
                             ""});
    InsertArticle(Server(), {3,
                             "34567890",
                             {"39.95", "37.95", "35.95", "33.95", "31.95", "48.34", "29.95"},
                             "EUR",
                             0,
                             "Festool",
                             "",
                             "Koffer",
                             "Systainer"});
    InsertArticle(Server(), {4, "45678901", {"1", "1", "1", "1", "1", "1.2345", "1"}});
    Server().Exec(R"SQL(INSERT INTO "DATA"."arvp" VALUES
        ('8712345678906', 1, 6), ('8799999999999', 99, 2), ('23456789', 77, 3))SQL");
  }

  TransferOutcome Transfer(MemTable batch, const TransferHooks& hooks = {}) {
    OrderCreation orders;
    return TransferBatch(batch, Server().ServerAddress(), orders, hooks);
  }

  std::string Value(const std::string& sql) { return Server().QueryValue(sql); }
};

TEST_F(OrderCreationTest, EveryKindOfScanResolvesIntoOneNewOrder) {
  const TransferOutcome outcome = Transfer(
      BatchToProcess("A1B2C3D4E5F20261208143107", {
                                                      {"8712345678906", 2},  // package x6
                                                      {"34567890", 1},       // 8 after a package
                                                      {"34567890123", 1},    // 11 characters
                                                      {"8799999999999", 1},  // article missing
                                                      {"5901234123457", 2},  // unresolved
                                                      {"5901234123457", 2},  // twice
                                                      {"23456789", 1},       // package, then code
                                                      {"1234567", 1},        // 7: only arvp
                                                  }));
  ASSERT_TRUE(outcome.handedOn) << outcome.detail;
  EXPECT_EQ(outcome.scans, 8);
  EXPECT_EQ(outcome.notFound, (std::vector<std::string>{"8799999999999 x 1", "5901234123457 x 2",
                                                        "5901234123457 x 2", "1234567 x 1"}));
  EXPECT_EQ(outcome.vemoServer, Server().ServerAddress());
  EXPECT_EQ(outcome.batchId, "A1B2C3D4E5F20261208143107");

  // No counter yet: the first order is 1000001 and the counter is created.
  EXPECT_EQ(Value(R"(SELECT "SYSC_volgnum" FROM "SYSTEM"."SYSC" WHERE "SYSC_naam" = 'BEST')"),
            "1000001");
  const auto lines = Server().Query(
      R"SQL(SELECT "BEST_nummer", "ARTK_nummer", "ARTK_fullcod", "BERG_Omschrijving", "BERG_merk",
                   "BEST_aantal", "BEST_prijs", "BERG_totaal", "ONDR_nummer", "SPEC_nummer",
                   "BERG_uwnummer"
            FROM "SYSTEM"."BERG" ORDER BY "BERG_nummer")SQL");
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], (SqlRow{"1000001", "1", "1.23.45.67-8", "Bosch/Boormachine/18V/GSB 18V-55",
                              "Bosch", "12", "157.2400", "1886.8800", "0", "0", "A1B2C3"}));
  EXPECT_EQ(lines[1], (SqlRow{"1000001", "3", "3.45.67.89-0", "Festool//Koffer/Systainer",
                              "Festool", "1", "48.3400", "48.3400", "0", "0", "A1B2C3"}));
  EXPECT_EQ(lines[2], lines[1]);  // the 11-character code: the same article once more
  EXPECT_EQ(lines[3], (SqlRow{"1000001", "2", "2.34.56.78-9", "Makita/Schroefmachine/18V/",
                              "Makita", "3", "228.6900", "686.0700", "0", "0", "A1B2C3"}));

  // The header: created, marked as having lines, its total the sum of the lines.
  const auto header = Server().Query(
      R"SQL(SELECT "BEST_nummer", "BEST_type", "BEST_verstuurd", "RLTI_nummer", "ORDR_totaal",
                   "BEST_uniqueidentifier", "BEST_datum" IS NOT NULL FROM "SYSTEM"."BEST")SQL");
  ASSERT_EQ(header.size(), 1u);
  EXPECT_EQ(header[0][0], "1000001");
  EXPECT_EQ(header[0][1], "1");
  EXPECT_EQ(header[0][2], "2");
  EXPECT_EQ(header[0][3], "1");
  EXPECT_EQ(header[0][4], "2669.6300");
  const long long identifier = std::stoll(*header[0][5]);
  EXPECT_GE(identifier, 0);
  EXPECT_LE(identifier, 999999998);
  EXPECT_EQ(header[0][6], "t");
  ASSERT_EQ(outcome.lines.size(), 4u);
  EXPECT_EQ(outcome.lines[0].total.ToText(), "1886.8800");

  // The next batch goes to the same order, whose total grows to the 1/10000.
  const TransferOutcome next =
      Transfer(BatchToProcess("A1B2C3D4E5F20261208150000", {{"45678901", 12}, {"45678901", 3}}));
  ASSERT_TRUE(next.handedOn) << next.detail;
  ASSERT_EQ(next.lines.size(), 2u);
  EXPECT_EQ(next.lines[0].order, 1000001);
  EXPECT_EQ(next.lines[0].total.ToText(), "14.8140");  // 12 x 1.2345
  EXPECT_EQ(next.lines[1].total.ToText(), "3.7035");
  EXPECT_EQ(Value(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")"), "2688.1475");
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BEST")"), "1");
  EXPECT_EQ(Value(R"(SELECT sum("BERG_totaal") FROM "SYSTEM"."BERG")"), "2688.1475");
}

TEST_F(OrderCreationTest, TheOpenOrderFoundOrCreated) {
  // An unsent open order (no lines yet) and one with lines; the counter stands at 1000041.
  Server().Exec(R"SQL(
    INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "BEST_type", "BEST_verstuurd", "ORDR_totaal")
      VALUES (1000005, 1, 1, 0), (1000009, 1, 2, 10), (1000010, 2, 2, 77);
    INSERT INTO "SYSTEM"."SYSC" VALUES ('BEST', 1000041))SQL");
  OrderCreation orders;
  orders.ConnectToVemoServer(Server().ServerAddress());
  orders.BeginBatch();
  // The first line goes to the unsent order, which then has lines.
  EXPECT_EQ(orders.AddOrderLine("45678901", 12, "BATCH1"), 1000005);
  EXPECT_EQ(Value(R"(SELECT "BEST_verstuurd" FROM "SYSTEM"."BEST" WHERE "BEST_nummer" = 1000005)"),
            "1");  // not committed yet: nobody else sees it
  // Now no unsent order is left: the last one with lines (in index order) takes the next lines.
  // An article code not in artk still gives a line; a 7-character code keeps its form.
  EXPECT_EQ(orders.AddOrderLine("1234567", 2, "BATCH1"), 1000009);
  EXPECT_EQ(orders.AddOrderLine("45678901", 12, "BATCH1"), 1000009);  // a second line for it
  orders.CommitBatch();

  EXPECT_EQ(
      Server().Query(R"SQL(SELECT "BEST_nummer", "BEST_verstuurd", "ORDR_totaal"
                                 FROM "SYSTEM"."BEST" ORDER BY 1)SQL"),
      (std::vector<SqlRow>{
          {"1000005", "2", "14.8140"}, {"1000009", "2", "24.8140"}, {"1000010", "2", "77.0000"}}));
  EXPECT_EQ(Server().Query(R"SQL(SELECT "BEST_nummer", "ARTK_nummer", "ARTK_fullcod",
                                        "BERG_Omschrijving", "BERG_merk", "BEST_aantal",
                                        "BEST_prijs", "BERG_totaal", "BERG_uwnummer"
                                 FROM "SYSTEM"."BERG" ORDER BY "BERG_nummer")SQL"),
            (std::vector<SqlRow>{{"1000005", "4", "4.56.78.90-1", "Bosch/Boormachine/18V/GSB",
                                  "Bosch", "12", "1.2345", "14.8140", "BATCH1"},
                                 {"1000009", "999999999", "1234567", "Onbekend", "Kessmar artikel",
                                  "2", "0.0000", "0.0000", "BATCH1"},
                                 {"1000009", "4", "4.56.78.90-1", "Bosch/Boormachine/18V/GSB",
                                  "Bosch", "12", "1.2345", "14.8140", "BATCH1"}}));
  EXPECT_EQ(Value(R"(SELECT "SYSC_volgnum" FROM "SYSTEM"."SYSC")"), "1000041");

  // With every order closed, the next batch makes a new one with the counter's next number.
  Server().Exec(R"(UPDATE "SYSTEM"."BEST" SET "BEST_type" = 2)");
  const TransferOutcome outcome = Transfer(BatchToProcess("X", {{"45678901", 1}, {"12345678", 1}}));
  ASSERT_TRUE(outcome.handedOn) << outcome.detail;
  EXPECT_EQ(outcome.lines[0].order, 1000042);
  EXPECT_EQ(outcome.lines[1].order, 1000042);
  EXPECT_EQ(Server().Query(R"SQL(SELECT "BEST_verstuurd", "ORDR_totaal", "BEST_type"
                                 FROM "SYSTEM"."BEST" WHERE "BEST_nummer" = 1000042)SQL"),
            (std::vector<SqlRow>{{"2", "158.4745", "1"}}));
  EXPECT_EQ(Value(R"(SELECT "SYSC_volgnum" FROM "SYSTEM"."SYSC")"), "1000042");
}

TEST_F(OrderCreationTest, ABatchLandsWholeOrNotAtAll) {
  // A line the back office refuses (at most 99 pieces) ends the batch: nothing stays, not even
  // the order header or the counter made for the first line.
  Server().Exec(R"(ALTER TABLE "SYSTEM"."BERG" ADD CONSTRAINT "BERG_at_most_99"
                   CHECK ("BEST_aantal" < 100))");
  TransferOutcome outcome =
      Transfer(BatchToProcess("B1", {{"12345678", 1}, {"8712345678906", 20}, {"23456789", 1}}));
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("Artikel 12345678 kon niet aan de Vemo order worden toegevoegd"),
            std::string::npos)
      << outcome.reason;
  EXPECT_NE(outcome.reason.find("Er is niets in Vemo vastgelegd"), std::string::npos);
  EXPECT_NE(outcome.detail.find("BERG_at_most_99"), std::string::npos) << outcome.detail;
  EXPECT_TRUE(outcome.lines.empty());
  for (const char* table : {"BEST", "BERG", "SYSC"}) {
    EXPECT_EQ(Value("SELECT count(*) FROM \"SYSTEM\".\"" + std::string(table) + "\""), "0")
        << table;
  }

  // A price that cannot be computed (a debtor whose price group is no digit) ends it too.
  Server().Exec(R"SQL(INSERT INTO "SYSTEM"."DEBT" VALUES (1004, 'Kapot', 'x', '1');
                      INSERT INTO "SYSTEM"."RLTI" VALUES (2, 'Klant', '1004'))SQL");
  outcome = Transfer(BatchToProcess("B2", {{"34567890", 1}, {"12345678", 1}}));
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("De prijs van een artikel kon niet worden berekend"),
            std::string::npos)
      << outcome.reason;
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "0");

  // Unresolved scans are no failure: a batch of only those is handed on, with its report and
  // no order.
  outcome = Transfer(BatchToProcess("B3", {{"0000", 1}, {"99999999", 4}}));
  EXPECT_TRUE(outcome.handedOn) << outcome.detail;
  EXPECT_EQ(outcome.notFound, (std::vector<std::string>{"0000 x 1", "99999999 x 4"}));
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BEST")"), "0");

  // A batch without scans is handed on without even looking for a server.
  OrderCreation orders;
  MemTable empty = BatchToProcess("B4", {});
  outcome = TransferBatch(empty, "VEMOPRO@127.0.0.9", orders);
  EXPECT_TRUE(outcome.handedOn);
  EXPECT_FALSE(orders.Db().ffsVEMO.IsOpen());
}

}  // namespace
}  // namespace kessmar::testing
