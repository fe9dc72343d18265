// A server that stalls or dies mid-request: an error within the time-out, never a hang; and a
// transaction's writes rolled back when the server dies.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "dbclient/ConnectedSession.h"
#include "dbclient/DatabaseError.h"
#include "dbclient/Table.h"
#include "support/BackOfficeServer.h"

namespace kessmar::testing {
namespace {

using dbclient::DatabaseError;
using dbclient::Table;
using Clock = std::chrono::steady_clock;

// Each test has a server of its own (it stops or kills it), on an address of its own.
class ServerFailureTest : public ::testing::Test {
 protected:
  ServerFailureTest() : server_(Options()) { server_.UseDatabase(server_.CreateDatabase()); }

  static BackOfficeServerOptions Options() {
    BackOfficeServerOptions options;
    options.listen = "127.0.0.2";
    return options;
  }

  void AddOrder() {
    server_.Exec(R"SQL(INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "ORDR_totaal")
                       VALUES (1000001, 0))SQL");
  }

  BackOfficeServer server_;
  ConnectedSession db_{server_.ServerAddress()};
};

TEST_F(ServerFailureTest, StalledServerGivesAnErrorWithinTheTimeout) {
  AddOrder();
  Table best(db_.session, "BEST", "SYSTEM", "tblBEST");
  best.Open();
  best.First();
  server_.Suspend();
  auto start = Clock::now();
  try {
    best.FindKey(1000001);
    FAIL() << "a stalled server answered";
  } catch (const DatabaseError& e) {
    const auto ms = ElapsedMs(start);
    EXPECT_GE(ms, 1900);
    EXPECT_LE(ms, 3000);
    EXPECT_TRUE(e.TimedOut());
    EXPECT_TRUE(e.IsConnectionFailure());
    const std::string message = e.what();
    EXPECT_NE(message.find("2000 ms"), std::string::npos) << message;
    EXPECT_NE(message.find(server_.ServerAddress()), std::string::npos) << message;
    EXPECT_NE(message.find("BEST (SYSTEM)"), std::string::npos) << message;
  }
  EXPECT_FALSE(db_.session.IsOpen());
  EXPECT_THROW(best.First(), DatabaseError);  // the connection is gone

  // Connecting to the stalled server gives up as well.
  start = Clock::now();
  best.Close();
  EXPECT_THROW(best.Open(), DatabaseError);
  EXPECT_LE(ElapsedMs(start), 3000);

  server_.Resume();
  best.Close();
  best.Open();  // connects again
  EXPECT_TRUE(best.FindKey(1000001));
}

TEST_F(ServerFailureTest, StatementWaitingOnALockIsEndedByTheServerAndLeavesNoChange) {
  AddOrder();
  Table best(db_.session, "BEST", "SYSTEM");
  best.Open();
  ASSERT_TRUE(best.FindKey(1000001));
  // Another user holds the record.
  server_.Exec(R"SQL(BEGIN; SELECT * FROM "SYSTEM"."BEST" FOR UPDATE)SQL");
  best.Edit();
  best.FieldByName("ORDR_totaal").SetString("12.5");
  const auto start = Clock::now();
  try {
    best.Post();
    FAIL() << "a locked record was written";
  } catch (const DatabaseError& e) {
    EXPECT_LT(ElapsedMs(start), 2000);
    EXPECT_FALSE(e.TimedOut());
    EXPECT_EQ(e.SqlState(), "57014") << e.what();  // ended by the server: nothing half done
  }
  EXPECT_TRUE(db_.session.IsOpen());
  server_.Exec("ROLLBACK");
  best.Post();  // still in edit mode: the same change goes through now
  EXPECT_EQ(server_.QueryValue(R"SQL(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")SQL"), "12.5000");
}

TEST_F(ServerFailureTest, ServerKilledMidRequestFailsAtOnce) {
  AddOrder();
  Table best(db_.session, "BEST", "SYSTEM");
  best.Open();
  ASSERT_TRUE(best.FindKey(1000001));
  server_.Exec(R"SQL(BEGIN; SELECT * FROM "SYSTEM"."BEST" FOR UPDATE)SQL");
  best.Edit();
  best.FieldByName("ORDR_totaal").SetString("1");
  std::thread killer([this] {
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    server_.Kill();
  });
  const auto start = Clock::now();
  try {
    best.Post();  // waits on the lock until the server dies
    ADD_FAILURE() << "the post succeeded on a dying server";
  } catch (const DatabaseError& e) {
    EXPECT_TRUE(e.IsConnectionFailure()) << e.what();
    EXPECT_FALSE(e.TimedOut());
  }
  EXPECT_LT(ElapsedMs(start), 1500);
  killer.join();
  EXPECT_FALSE(db_.session.IsOpen());
}

TEST_F(ServerFailureTest, TransactionIsRolledBackWhenTheServerDies) {
  AddOrder();
  Table berg(db_.session, "BERG", "SYSTEM", "tblBERG");
  berg.Open();
  db_.session.StartTransaction();
  for (int i = 1; i <= 5; ++i) {
    berg.Append();
    berg.FieldByName("BEST_nummer").SetInteger(1000001);
    berg.FieldByName("BEST_aantal").SetInteger(i);
    berg.Post();
  }
  EXPECT_EQ(server_.QueryValue(R"SQL(SELECT count(*) FROM "SYSTEM"."BERG")SQL"), "0");
  server_.Kill();
  berg.Append();
  berg.FieldByName("BEST_nummer").SetInteger(1000001);
  EXPECT_THROW(berg.Post(), DatabaseError);
  berg.Cancel();
  // Nothing meant for the transaction lands outside it: reopening fails until it is ended.
  server_.Start();
  berg.Close();
  try {
    berg.Open();
    FAIL() << "a table reopened inside a lost transaction";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), "40000") << e.what();
  }
  try {
    db_.session.Commit();
    FAIL() << "a lost transaction was committed";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), "40000") << e.what();
  }
  EXPECT_FALSE(db_.session.InTransaction());
  berg.Open();
  EXPECT_EQ(berg.RecordCount(), 0);
  EXPECT_EQ(server_.QueryValue(R"SQL(SELECT count(*) FROM "SYSTEM"."BERG")SQL"), "0");
}

TEST_F(ServerFailureTest, TransactionGuardCommitsOrRollsBack) {
  AddOrder();
  Table sysc(db_.session, "SYSC", "SYSTEM");
  sysc.Open();
  auto addCounter = [&](const char* name) {
    sysc.Append();
    sysc.FieldByName("SYSC_naam").SetString(name);
    sysc.Post();
  };
  {
    dbclient::Transaction transaction(db_.session);
    addCounter("A");
  }  // not committed: rolled back
  {
    dbclient::Transaction transaction(db_.session);
    addCounter("B");
    transaction.Commit();
  }
  EXPECT_EQ(server_.QueryValue(R"SQL(SELECT string_agg("SYSC_naam", ',') FROM "SYSTEM"."SYSC")SQL"),
            "B");
  // A failed statement makes the server end the transaction in a rollback, and Commit says so.
  dbclient::Transaction transaction(db_.session);
  addCounter("C");
  EXPECT_THROW(addCounter("B"), dbclient::KeyViolation);
  sysc.Cancel();
  try {
    transaction.Commit();
    FAIL() << "a failed transaction reported success";
  } catch (const DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), "40000") << e.what();
  }
  EXPECT_EQ(server_.QueryValue(R"SQL(SELECT string_agg("SYSC_naam", ',') FROM "SYSTEM"."SYSC")SQL"),
            "B");
}

}  // namespace
}  // namespace kessmar::testing
