// Every table operation against a real server: open and close, navigation, record counts within
// ranges, index selection by field list and by name, find, ranges, changes, fields of every type,
// and the errors that name what failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "dbclient/ConnectedSession.h"
#include "dbclient/DatabaseError.h"
#include "dbclient/Table.h"
#include "support/BackOfficeFixture.h"

namespace kessmar::testing {
namespace {

using dbclient::Currency;
using dbclient::DatabaseError;
using dbclient::DateTime;
using dbclient::KeyViolation;
using dbclient::Table;

class TableCursorTest : public BackOfficeFixture {
 protected:
  void AddOrders() {
    Server().Exec(R"SQL(
      INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "BEST_type", "BEST_verstuurd", "ORDR_totaal") VALUES
        (1000001, 1, 2, 10), (1000002, 1, 1, 0), (1000003, 1, 1, 0), (1000004, 2, 1, 0),
        (1000005, 1, 3, 99.5);)SQL");
  }
  void AddArticles() {
    Server().Exec(R"SQL(
      INSERT INTO "DATA"."artk" VALUES
        (1, '12345678', 'Bosch', 'Boormachine', '18V', 'GSB', 'a'),
        (2, '23456789', 'Makita', NULL, '18V', '', 'b'),
        (5, '34567890', 'Festool', '', 'Koffer', 'T-LOC', 'c');)SQL");
  }

  ConnectedSession db{Server().ServerAddress()};
};

std::vector<int64_t> Numbers(Table& table, const char* field) {
  std::vector<int64_t> numbers;
  for (table.First(); !table.Eof(); table.Next()) {
    numbers.push_back(table.FieldByName(field).AsInteger());
  }
  return numbers;
}

TEST_F(TableCursorTest, NavigatesCountsAndRangesOnTheChosenIndex) {
  AddOrders();
  Table best(db.session, "BEST", "SYSTEM", "tblBEST");
  EXPECT_FALSE(best.IsOpen());
  best.Open();
  best.Open();  // no effect when open
  EXPECT_TRUE(best.IsOpen());
  EXPECT_EQ(best.IndexName(), "BEST_nummer");
  EXPECT_EQ(best.RecordCount(), 5);
  EXPECT_EQ(Numbers(best, "best_NUMMER"),
            (std::vector<int64_t>{1000001, 1000002, 1000003, 1000004, 1000005}));
  EXPECT_TRUE(best.Eof());
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsInteger(), 1000005);  // stays on the last

  // A field list that no index has exactly is refused, so that callers fall back to the name.
  try {
    best.SetIndexFieldNames("BEST_verstuurd");
    FAIL() << "a field list without index was accepted";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), "42704");
    EXPECT_NE(std::string(e.what()).find("BEST (SYSTEM)"), std::string::npos) << e.what();
  }
  EXPECT_EQ(best.IndexName(), "BEST_nummer");
  best.SetIndexName("best_type_verstuurd");
  EXPECT_EQ(best.IndexFieldNames(), "BEST_type;BEST_verstuurd");
  best.SetIndexFieldNames("best_type;BEST_VERSTUURD");
  EXPECT_EQ(best.IndexName(), "BEST_type_verstuurd");

  auto range = [&](const char* type, const char* sent) {
    best.SetRangeStart({{"BEST_type", type}, {"BEST_verstuurd", sent}});
    best.SetRangeEnd({{"BEST_type", type}, {"BEST_verstuurd", sent}});
    best.ApplyRange();
  };
  range("1", "1");
  EXPECT_EQ(best.RecordCount(), 2);
  best.Last();
  EXPECT_FALSE(best.Eof());
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsInteger(), 1000003);
  EXPECT_EQ(Numbers(best, "BEST_nummer"), (std::vector<int64_t>{1000002, 1000003}));

  range("1", "2");
  best.Last();
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsInteger(), 1000001);
  EXPECT_EQ(best.FieldByName("ORDR_totaal").AsCurrency(), Currency::FromText("10"));

  range("3", "3");
  EXPECT_TRUE(best.Eof());
  EXPECT_EQ(best.RecordCount(), 0);
  best.Last();
  EXPECT_TRUE(best.Eof());
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsInteger(), 0);  // no record: null values
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsString(), "");

  // A range over both fields compares them together: (1,2) up to (2,1).
  best.SetRangeStart({{"BEST_type", "1"}, {"BEST_verstuurd", "2"}});
  best.SetRangeEnd({{"BEST_type", "2"}, {"BEST_verstuurd", "1"}});
  best.ApplyRange();
  EXPECT_EQ(Numbers(best, "BEST_nummer"), (std::vector<int64_t>{1000001, 1000005, 1000004}));
  // A bound on the first field alone.
  best.SetRangeStart({{"BEST_type", "1"}});
  best.SetRangeEnd({{"BEST_type", "1"}});
  best.ApplyRange();
  EXPECT_EQ(best.RecordCount(), 4);
  EXPECT_THROW(best.SetRangeStart({{"BEST_verstuurd", "1"}}), DatabaseError);
  EXPECT_THROW(best.SetRangeStart({{"ORDR_totaal", "1"}}), DatabaseError);

  best.CancelRange();
  EXPECT_EQ(best.RecordCount(), 5);
  best.Close();
  EXPECT_FALSE(best.IsOpen());
  EXPECT_THROW(best.FieldByName("BEST_nummer"), DatabaseError);
  EXPECT_THROW(best.First(), DatabaseError);
}

TEST_F(TableCursorTest, FindsTextAndIntegerKeysOnTheCurrentIndex) {
  AddArticles();
  Table artk(db.session, "artk", "DATA", "tblARTK");
  artk.SetIndexName("ARTK_fullcod");  // chosen before Open, as at design time
  artk.Open();
  ASSERT_TRUE(artk.FindKey("23456789"));
  EXPECT_EQ(artk.FieldByName("ARTK_NUMMER").AsInteger(), 2);
  EXPECT_FALSE(artk.FindKey("99999999"));
  EXPECT_EQ(artk.FieldByName("ARTK_nummer").AsInteger(), 2);  // unchanged when not found
  artk.Next();  // continues in index order from the record found
  EXPECT_EQ(artk.FieldByName("ARTK_fullcod").AsString(), "34567890");

  artk.SetIndexName("ARTK_nummer");
  ASSERT_TRUE(artk.FindKey(int64_t{5}));
  EXPECT_EQ(artk.FieldByName("ARTK_fullcod").AsString(), "34567890");
  ASSERT_TRUE(artk.FindKey("1"));  // an integer key given as text
  EXPECT_EQ(artk.FieldByName("ARTK_Merk").AsString(), "Bosch");
  try {
    artk.FindKey("12a");
    FAIL() << "a key that is no integer was looked up";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), "22P02");
    EXPECT_EQ(e.Context().field, "ARTK_nummer");
  }
  // The table stays usable after the error.
  EXPECT_TRUE(artk.FindKey("2"));
}

TEST_F(TableCursorTest, AppendsEditsPostsCancelsAndRefreshes) {
  AddOrders();
  Table berg(db.session, "BERG", "SYSTEM", "tblBERG");
  berg.Open();
  EXPECT_TRUE(berg.Eof());

  berg.Append();
  berg.FieldByName("BEST_nummer").SetInteger(1000002);
  berg.FieldByName("ARTK_fullcod").SetString("1.23.45.67-8");
  berg.FieldByName("berg_omschrijving").SetString("Bosch/Boormachine/18V/GSB");
  berg.FieldByName("BERG_uwnummer").SetString("ABCDEF0123456789");  // cut to 6
  berg.FieldByName("BEST_aantal").SetInteger(12);
  const Currency price = Currency::FromText("1.2345");
  berg.FieldByName("BEST_prijs").SetCurrency(price);
  berg.FieldByName("BERG_totaal").SetCurrency(price * 12);
  EXPECT_EQ(berg.FieldByName("BERG_nummer").AsString(), "");                   // not assigned yet
  EXPECT_THROW(berg.FieldByName("BERG_nummer").SetInteger(7), DatabaseError);  // the table's
  berg.Post();
  const int64_t line = berg.FieldByName("BERG_nummer").AsInteger();
  EXPECT_GT(line, 0);
  EXPECT_EQ(berg.FieldByName("BERG_totaal").AsString(), "14.8140");
  EXPECT_EQ(berg.FieldByName("BEST_prijs").AsFloat(), 1.2345);
  EXPECT_EQ(berg.FieldByName("ONDR_nummer").AsInteger(), 0);  // the table's default
  EXPECT_EQ(Server().QueryValue("SELECT \"BERG_uwnummer\" || '|' || \"BERG_totaal\" FROM "
                                "\"SYSTEM\".\"BERG\""),
            "ABCDEF|14.8140");

  // Cancel discards an edit and an append.
  berg.Edit();
  berg.FieldByName("BEST_aantal").SetInteger(99);
  EXPECT_EQ(berg.FieldByName("BEST_aantal").AsInteger(), 99);
  berg.Cancel();
  EXPECT_EQ(berg.FieldByName("BEST_aantal").AsInteger(), 12);
  berg.Append();
  berg.FieldByName("BEST_nummer").SetInteger(1);
  berg.Cancel();
  EXPECT_EQ(berg.RecordCount(), 1);

  // An edit writes only what changed; the record as the server holds it becomes current.
  berg.Edit();
  berg.FieldByName("BEST_aantal").SetInteger(13);
  berg.Post();
  EXPECT_EQ(berg.FieldByName("BEST_aantal").AsInteger(), 13);
  EXPECT_EQ(Server().QueryValue("SELECT \"BEST_aantal\" FROM \"SYSTEM\".\"BERG\""), "13");

  // Refresh shows what another user changed.
  Server().Exec("UPDATE \"SYSTEM\".\"BERG\" SET \"BERG_merk\" = 'Kessmar artikel'");
  EXPECT_EQ(berg.FieldByName("BERG_merk").AsString(), "");
  berg.Refresh();
  EXPECT_EQ(berg.FieldByName("BERG_merk").AsString(), "Kessmar artikel");
  EXPECT_EQ(berg.FieldByName("BERG_nummer").AsInteger(), line);

  // Writes outside edit mode, and values the field cannot hold, are refused by name.
  EXPECT_THROW(berg.FieldByName("BEST_aantal").SetInteger(1), DatabaseError);
  EXPECT_THROW(berg.Post(), DatabaseError);
  berg.Edit();
  try {
    berg.FieldByName("BEST_aantal").SetInteger(int64_t{1} << 40);
    FAIL() << "an integer out of range was accepted";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), "22003");
    EXPECT_EQ(e.Context().field, "BEST_aantal");
  }
  EXPECT_THROW(berg.FieldByName("BEST_aantal").SetString("twelve"), DatabaseError);
  EXPECT_THROW(berg.FieldByName("BEST_aantal").SetCurrency(Currency::FromText("1.5")),
               DatabaseError);
  EXPECT_THROW(berg.First(), DatabaseError);  // not while editing
  berg.Cancel();
}

TEST_F(TableCursorTest, ReadsAndWritesEveryFieldType) {
  AddOrders();
  Table best(db.session, "BEST", "SYSTEM");
  best.Open();
  ASSERT_TRUE(best.FindKey(1000005));
  EXPECT_EQ(best.FieldByName("BEST_datum").AsDateTime(), DateTime());  // null
  EXPECT_TRUE(best.FieldByName("BEST_datum").IsNull());
  EXPECT_EQ(best.FieldByName("ORDR_totaal").AsString(), "99.5000");
  EXPECT_EQ(best.FieldByName("ORDR_totaal").AsFloat(), 99.5);
  EXPECT_EQ(best.FieldByName("ORDR_totaal").AsCurrency().Units(), 995000);
  EXPECT_THROW(best.FieldByName("ORDR_totaal").AsInteger(), DatabaseError);  // 99.5
  EXPECT_EQ(best.FieldByName("BEST_type").AsCurrency(), Currency::FromText("1"));

  const DateTime moment = DateTime::FromText("2024-05-17 14:03:59.250000");
  best.Edit();
  best.FieldByName("BEST_datum").SetDateTime(moment);
  best.FieldByName("BEST_uniqueidentifier").SetInteger(123456789);
  best.FieldByName("ORDR_totaal").SetFloat(0.1 + 0.2);  // the server rounds to its four decimals
  best.Post();
  EXPECT_EQ(best.FieldByName("BEST_datum").AsDateTime(), moment);
  EXPECT_EQ(best.FieldByName("BEST_uniqueidentifier").AsString(), "123456789");
  EXPECT_EQ(best.FieldByName("ORDR_totaal").AsString(), "0.3000");

  // Floating-point fields (discount percentages) read as float and as rounded currency.
  Server().Exec(R"SQL(INSERT INTO "SYSTEM"."KODB" ("KODB_debtnr", "KODB_volgnr", "KODB_Korting")
                      VALUES (1001, 1, 7.5), (1001, 2, 0.03125))SQL");
  Table kodb(db.session, "KODB", "SYSTEM");
  kodb.SetIndexFieldNames("KODB_debtnr;KODB_volgnr");
  kodb.Open();
  kodb.First();
  EXPECT_EQ(kodb.FieldByName("KODB_Korting").AsFloat(), 7.5);
  kodb.Next();
  EXPECT_EQ(kodb.FieldByName("kodb_korting").AsCurrency().ToText(), "0.0312");
  EXPECT_EQ(kodb.FieldByName("KODB_Datum").AsString(), "");
}

TEST_F(TableCursorTest, KeyViolationsSaySoAndLeaveTheRecordForCancel) {
  Table sysc(db.session, "SYSC", "SYSTEM", "tblSYSC");
  sysc.Open();
  sysc.Append();
  sysc.FieldByName("SYSC_naam").SetString("BEST");
  sysc.FieldByName("SYSC_volgnum").SetInteger(1000001);
  sysc.Post();
  sysc.Append();
  sysc.FieldByName("SYSC_naam").SetString("BEST");
  try {
    sysc.Post();
    FAIL() << "a second record with the same key was posted";
  } catch (const KeyViolation& e) {
    EXPECT_TRUE(e.IsKeyViolation());
    EXPECT_EQ(e.SqlState(), "23505");
    EXPECT_EQ(e.Index(), "SYSC_naam");
    const std::string message = e.what();
    EXPECT_NE(message.find("key violation"), std::string::npos) << message;
    EXPECT_NE(message.find("SYSC (SYSTEM)"), std::string::npos) << message;
    EXPECT_NE(message.find(Server().ServerAddress()), std::string::npos) << message;
  }
  EXPECT_EQ(sysc.GetState(), Table::State::kInsert);
  sysc.Cancel();
  EXPECT_EQ(sysc.RecordCount(), 1);
  sysc.First();
  EXPECT_EQ(sysc.FieldByName("SYSC_volgnum").AsInteger(), 1000001);
}

TEST_F(TableCursorTest, MissingAliasTableFieldAndIndexAreNamed) {
  auto expectError = [](auto call, const char* state, const char* text) {
    try {
      call();
      ADD_FAILURE() << "no error for " << text;
    } catch (const DatabaseError& e) {
      EXPECT_EQ(e.SqlState(), state) << e.what();
      EXPECT_NE(std::string(e.what()).find(text), std::string::npos) << e.what();
    }
  };
  Table missing(db.session, "nope", "DATA");
  expectError([&] { missing.Open(); }, "42P01", "nope");
  EXPECT_FALSE(missing.IsOpen());
  Table noAlias(db.session, "artk", "NODATA");
  expectError([&] { noAlias.Open(); }, "3F000", "NODATA");
  Table badIndex(db.session, "artk", "data");  // aliases and names without regard to case
  badIndex.SetIndexName("ARTK_merk");
  expectError([&] { badIndex.Open(); }, "42704", "ARTK_merk");
  Table artk(db.session, "ARTK", "DATA");
  artk.Open();
  expectError([&] { artk.FieldByName("ARTK_prijs"); }, "42703", "ARTK_prijs");
}

TEST_F(TableCursorTest, WalksLargeRangesInOrderAFewRecordsAtATime) {
  // 3,000 orders with many equal keys: the primary key orders records of equal index values.
  Server().Exec(R"SQL(
    INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "BEST_type", "BEST_verstuurd")
    SELECT 2000000 + i, 1 + (i * 7) % 3, (i * 13) % 5 FROM generate_series(1, 3000) AS i;)SQL");
  std::vector<int64_t> expected;
  for (const auto& row : Server().Query(
           R"SQL(SELECT "BEST_nummer" FROM "SYSTEM"."BEST"
                 WHERE ("BEST_type", "BEST_verstuurd") BETWEEN (1, 2) AND (2, 3)
                 ORDER BY "BEST_type", "BEST_verstuurd", "BEST_nummer")SQL")) {
    expected.push_back(std::stoll(*row[0]));
  }
  Table best(db.session, "BEST", "SYSTEM");
  best.SetIndexFieldNames("BEST_type;BEST_verstuurd");
  best.Open();
  best.SetRangeStart({{"BEST_type", "1"}, {"BEST_verstuurd", "2"}});
  best.SetRangeEnd({{"BEST_type", "2"}, {"BEST_verstuurd", "3"}});
  best.ApplyRange();
  const uint64_t before = best.Queries();
  const auto walked = Numbers(best, "BEST_nummer");
  EXPECT_EQ(walked, expected);
  // Batches grow from 8 to 256 records: about 1,200 records take a dozen requests.
  EXPECT_LE(best.Queries() - before, 12u);
  EXPECT_EQ(best.RecordCount(), static_cast<int64_t>(expected.size()));
}

TEST_F(TableCursorTest, CalculatedFieldsFollowTheCurrentRecord) {
  AddArticles();
  Table artk(db.session, "artk", "DATA");
  artk.AddCalculatedField("ARTK_intoms", 12, [](Table& t) {
    return t.FieldByName("ARTK_Merk").AsString() + "/" + t.FieldByName("ARTK_kenmerk").AsString();
  });
  artk.Open();
  artk.First();
  EXPECT_EQ(artk.FieldByName("artk_intoms").AsString(), "Bosch/18V");
  artk.Next();
  EXPECT_EQ(artk.FieldByName("ARTK_intoms").AsString(), "Makita/18V");
  artk.Next();
  EXPECT_EQ(artk.FieldByName("ARTK_intoms").AsString(), "Festool/Koff");  // 12 characters
  artk.Edit();
  EXPECT_THROW(artk.FieldByName("ARTK_intoms").SetString("x"), DatabaseError);
  artk.Cancel();
  const auto names = artk.FieldNames();
  EXPECT_NE(std::find(names.begin(), names.end(), "ARTK_intoms"), names.end());
}

TEST_F(TableCursorTest, RequestsAreCountedAndStatementsPreparedOnce) {
  AddArticles();
  Table artk(db.session, "artk", "DATA");
  artk.SetIndexName("ARTK_fullcod");
  artk.Open();
  ASSERT_TRUE(artk.FindKey("12345678"));  // prepares, then runs
  artk.First();
  const uint64_t before = db.session.RoundTrips();
  for (const char* code : {"23456789", "34567890", "12345678"}) ASSERT_TRUE(artk.FindKey(code));
  EXPECT_EQ(db.session.RoundTrips() - before, 3u);
  // Reading fields and moving within a fetched batch cost nothing.
  artk.First();
  (void)artk.FieldByName("ARTK_Merk").AsString();
  artk.Next();
  artk.Next();
  EXPECT_EQ(artk.FieldByName("ARTK_fullcod").AsString(), "34567890");
  EXPECT_EQ(db.session.RoundTrips() - before, 4u);
}

TEST_F(TableCursorTest, PrefetchedFindsAndQueuedInsertsAnswerAsTheServerWould) {
  AddArticles();
  Table artk(db.session, "artk", "DATA");
  artk.SetIndexName("ARTK_fullcod");
  artk.Open();
  try {
    artk.Prefetch({"12345678"});
    ADD_FAILURE() << "Prefetch outside a transaction";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), dbclient::sqlstate::kWrongState);
  }

  db.session.StartTransaction(dbclient::Isolation::kRepeatableRead);
  uint64_t before = db.session.RoundTrips();
  artk.Prefetch({"12345678", "99999999", "23456789", "a\"b\\c"});
  EXPECT_EQ(db.session.RoundTrips() - before, 1u);
  before = db.session.RoundTrips();
  ASSERT_TRUE(artk.FindKey("23456789"));
  EXPECT_EQ(artk.FieldByName("ARTK_nummer").AsInteger(), 2);
  EXPECT_FALSE(artk.FindKey("99999999"));
  EXPECT_EQ(artk.FieldByName("ARTK_nummer").AsInteger(), 2);  // not found: the record stays
  EXPECT_FALSE(artk.FindKey("a\"b\\c"));
  ASSERT_TRUE(artk.FindKey("12345678"));
  EXPECT_EQ(artk.FieldByName("ARTK_Merk").AsString(), "Bosch");
  EXPECT_EQ(db.session.RoundTrips() - before, 0u);
  artk.Next();  // beyond the prefetched record: the server, in index order
  EXPECT_EQ(artk.FieldByName("ARTK_fullcod").AsString(), "23456789");
  EXPECT_TRUE(artk.FindKey("34567890"));  // not prefetched
  EXPECT_EQ(db.session.RoundTrips() - before, 2u);
  // An integer index: "01" is no integer's own text, so the server still compares it.
  artk.SetIndexName("ARTK_nummer");
  artk.Prefetch({"5", "01", "99999999999"});
  before = db.session.RoundTrips();
  ASSERT_TRUE(artk.FindKey(int64_t{5}));
  EXPECT_EQ(db.session.RoundTrips() - before, 0u);
  ASSERT_TRUE(artk.FindKey("01"));
  EXPECT_EQ(artk.FieldByName("ARTK_fullcod").AsString(), "12345678");
  EXPECT_EQ(db.session.RoundTrips() - before, 1u);
  db.session.Commit();
  // The answers belonged to that transaction.
  before = db.session.RoundTrips();
  ASSERT_TRUE(artk.FindKey(int64_t{5}));
  EXPECT_EQ(db.session.RoundTrips() - before, 1u);

  // Queued inserts: written in order in one round trip; the first refusal names its position
  // and nothing of the transaction stays.
  auto queue = [&artk](int64_t number, const std::string& code) {
    artk.Append();
    artk.FieldByName("ARTK_nummer").SetInteger(number);
    artk.FieldByName("ARTK_fullcod").SetString(code);
    artk.QueueInsert();
  };
  db.session.StartTransaction();
  queue(900, "90000000");
  queue(901, "12345678");  // taken
  queue(902, "90000002");
  size_t failedAt = 99;
  EXPECT_THROW(artk.WriteQueued(&failedAt), KeyViolation);
  EXPECT_EQ(failedAt, 1u);
  EXPECT_EQ(artk.QueuedInserts(), 0u);
  EXPECT_THROW(db.session.Commit(), DatabaseError);
  EXPECT_EQ(Server().QueryValue(R"(SELECT count(*) FROM "DATA"."artk")"), "3");

  db.session.StartTransaction();
  queue(900, "90000000");
  queue(902, "90000002");
  before = db.session.RoundTrips();
  const auto written = artk.WriteQueued(&failedAt);
  EXPECT_EQ(db.session.RoundTrips() - before, 1u);
  EXPECT_EQ(failedAt, 2u);
  ASSERT_EQ(written.size(), 2u);
  EXPECT_EQ(written[0][0], "900");
  EXPECT_EQ(written[1][0], "902");
  EXPECT_EQ(artk.FieldByName("ARTK_fullcod").AsString(), "90000002");
  db.session.Commit();
  EXPECT_EQ(Server().QueryValue(R"(SELECT count(*) FROM "DATA"."artk")"), "5");
}

TEST_F(TableCursorTest, ReadsAheadWithTheTransactionsStartAndWritesWithItsCommit) {
  AddArticles();
  AddOrders();
  Table artk(db.session, "artk", "DATA");
  Table best(db.session, "BEST", "SYSTEM");
  artk.SetIndexName("ARTK_nummer");
  artk.Open();
  best.SetIndexFieldNames("BEST_type;BEST_verstuurd");
  best.Open();
  // The numbers come from a query; the ranges of type 1 and 2 from another.
  std::vector<dbclient::PendingRead> reads;
  reads.push_back(artk.PrefetchFrom(R"(SELECT "ARTK_nummer" + 0 FROM "DATA"."artk"
                                       WHERE "ARTK_fullcod" = ANY($1::text[]) UNION SELECT 7)",
                                    {"{12345678,34567890}"}));
  reads.push_back(best.PrefetchRangesFrom("SELECT 1 UNION SELECT 2", {}, {"1"}, {"3"}, false));
  reads.push_back(best.PrefetchRangesFrom("SELECT 1", {}, {"1"}, {"1"}, true));
  std::vector<dbclient::Statement> statements;
  for (const auto& read : reads) statements.push_back(read.statement);
  uint64_t before = db.session.RoundTrips();
  auto results = db.session.StartTransaction(dbclient::Isolation::kRepeatableRead, statements);
  EXPECT_EQ(db.session.RoundTrips() - before, 1u);
  for (size_t i = 0; i < reads.size(); ++i) reads[i].take(results[i]);

  before = db.session.RoundTrips();
  ASSERT_TRUE(artk.FindKey(int64_t{5}));
  EXPECT_FALSE(artk.FindKey(int64_t{7}));  // asked, not there
  best.SetRangeStart({{"BEST_type", "1"}, {"BEST_verstuurd", "1"}});
  best.SetRangeEnd({{"BEST_type", "1"}, {"BEST_verstuurd", "3"}});
  best.ApplyRange();
  EXPECT_EQ(Numbers(best, "BEST_nummer"),
            (std::vector<int64_t>{1000002, 1000003, 1000001, 1000005}));
  best.SetRangeStart({{"BEST_type", "2"}, {"BEST_verstuurd", "1"}});
  best.SetRangeEnd({{"BEST_type", "2"}, {"BEST_verstuurd", "3"}});
  best.ApplyRange();
  EXPECT_EQ(Numbers(best, "BEST_nummer"), (std::vector<int64_t>{1000004}));
  best.SetRangeStart({{"BEST_type", "1"}, {"BEST_verstuurd", "1"}});
  best.SetRangeEnd({{"BEST_type", "1"}, {"BEST_verstuurd", "1"}});
  best.ApplyRange();
  best.Last();
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsInteger(), 1000003);
  EXPECT_EQ(db.session.RoundTrips() - before, 0u);
  // Not asked: the server answers, as it would have.
  ASSERT_TRUE(artk.FindKey(int64_t{2}));
  best.First();  // only the last record of this range was read
  EXPECT_EQ(best.FieldByName("BEST_nummer").AsInteger(), 1000002);
  EXPECT_EQ(db.session.RoundTrips() - before, 2u);

  // The last writes and COMMIT in one round trip; one refused rolls everything back and names
  // its position.
  best.Edit();
  best.FieldByName("ORDR_totaal").SetString("5");
  std::vector<dbclient::Statement> last{
      best.PostStatement(),
      {R"(INSERT INTO "DATA"."artk" ("ARTK_nummer", "ARTK_fullcod") VALUES (1, 'x'))", {}}};
  size_t failedAt = 99;
  EXPECT_THROW(db.session.Commit(last, &failedAt), KeyViolation);
  EXPECT_EQ(failedAt, 1u);
  EXPECT_FALSE(db.session.InTransaction());
  best.Cancel();
  EXPECT_EQ(Server().QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST"
                                   WHERE "BEST_nummer" = 1000002)"),
            "0.0000");

  // A read refused at the start: no transaction runs, and the next starts afresh.
  EXPECT_THROW(db.session.StartTransaction(dbclient::Isolation::kRepeatableRead,
                                           {{"SELECT 1/0", {}}}, &failedAt),
               DatabaseError);
  EXPECT_EQ(failedAt, 0u);
  EXPECT_FALSE(db.session.InTransaction());
  db.session.StartTransaction(dbclient::Isolation::kRepeatableRead);
  ASSERT_TRUE(best.FindKey(int64_t{1}));
  best.Edit();
  best.FieldByName("ORDR_totaal").SetString("5");
  last = {best.PostStatement()};
  before = db.session.RoundTrips();
  results = db.session.Commit(last);
  EXPECT_EQ(db.session.RoundTrips() - before, 1u);
  best.AcceptPosted(results.at(0));
  EXPECT_EQ(best.FieldByName("ORDR_totaal").AsString(), "5.0000");
  EXPECT_EQ(Server().QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BEST"
                                   WHERE "ORDR_totaal" = 5)"),
            "1");
}

}  // namespace
}  // namespace kessmar::testing
