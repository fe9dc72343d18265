// The transfer against failing servers and from several processes: a server killed in the
// middle of a batch and a retry, two kessmar-batch processes writing into one open order at
// once, and kessmar-batch vemo's output and exit status.
#include <gtest/gtest.h>

#include <atomic>
#include <sstream>
#include <thread>

#include "backoffice/BatchTransfer.h"
#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/OrderCreation.h"
#include "backoffice/TransferTestData.h"
#include "support/BackOfficeFixture.h"
#include "support/ChildProcess.h"
#include "support/ScanBatch.h"
#include "support/TempDir.h"

namespace kessmar::testing {
namespace {

using std::chrono::seconds;

// Articles 1 to count with codes 20000001 on, each with its own price in column 6.
void MakeArticles(BackOfficeServer& server, int count) {
  const std::string n = std::to_string(count);
  server.Exec(R"SQL(
    INSERT INTO "SYSTEM"."VALU" VALUES ('EUR', 'Euro', 1, 1);
    INSERT INTO "DATA"."artk" ("ARTK_nummer", "ARTK_fullcod", "ARTK_Merk")
      SELECT i, (20000000 + i)::text, 'Merk' FROM generate_series(1, )SQL" +
              n + R"SQL() AS i;
    INSERT INTO "DATA"."ARPZ"
      SELECT i, (20000000 + i)::text, 1, 1, 1, 1, 1, i * 0.0123, 1, 'EUR', 0
      FROM generate_series(1, )SQL" +
              n + ") AS i");
}

std::vector<std::string> Codes(int first, int last) {
  std::vector<std::string> codes;
  for (int i = first; i <= last; ++i) codes.push_back(std::to_string(20000000 + i));
  return codes;
}

// Every line once, the order's total their sum.
void ExpectOneOrderHolding(BackOfficeServer& server, int lines) {
  EXPECT_EQ(server.QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BEST")"), "1");
  EXPECT_EQ(server.QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), std::to_string(lines));
  EXPECT_EQ(server.QueryValue(R"(SELECT "ORDR_totaal" = (SELECT sum("BERG_totaal")
                                                         FROM "SYSTEM"."BERG")
                                 FROM "SYSTEM"."BEST")"),
            "t");
  EXPECT_EQ(server.QueryValue(R"(SELECT "SYSC_volgnum" FROM "SYSTEM"."SYSC")"), "1000001");
}

class TransferProcessTest : public BackOfficeFixture {
 protected:
  std::string Value(const std::string& sql) { return Server().QueryValue(sql); }
};

TEST_F(DurableServerTest, AServerKilledMidBatchThenARetryGivesExactlyOneCopyOfEveryLine) {
  MakeArticles(server, 60);
  std::vector<std::pair<std::string, int>> scans;
  for (const auto& code : Codes(1, 60)) scans.emplace_back(code, 1);
  MemTable batch = BatchToProcess("K1", scans);
  {
    OrderCreation orders;
    int added = 0;
    TransferOptions hooks;
    hooks.lineAdded = [&](const OrderLine&) {
      if (++added == 25) server.Kill();
    };
    const TransferOutcome outcome = TransferBatch(batch, server.ServerAddress(), orders, hooks);
    EXPECT_FALSE(outcome.handedOn);
    EXPECT_EQ(added, 25);
    EXPECT_NE(outcome.reason.find("De Vemo server VEMOPRO@127.0.0.1 is niet bereikbaar."),
              std::string::npos)
        << outcome.reason;
    EXPECT_NE(outcome.reason.find("Er is niets in Vemo vastgelegd"), std::string::npos);
  }
  server.Start();
  for (const char* table : {"BEST", "BERG", "SYSC"}) {
    EXPECT_EQ(Value("SELECT count(*) FROM \"SYSTEM\".\"" + std::string(table) + "\""), "0")
        << table;
  }

  OrderCreation orders;
  const TransferOutcome retry = TransferBatch(batch, server.ServerAddress(), orders);
  ASSERT_TRUE(retry.handedOn) << retry.detail;
  EXPECT_EQ(retry.scans, 60);
  EXPECT_TRUE(retry.notFound.empty()) << retry.notFound.size();
  EXPECT_EQ(retry.lines.size(), 60u);
  EXPECT_TRUE(orders.LastLineCommitted());
  ExpectOneOrderHolding(server, 60);
  EXPECT_EQ(Value(R"(SELECT count(DISTINCT "ARTK_nummer") FROM "SYSTEM"."BERG")"), "60");
}

TEST_F(TransferProcessTest, TheOrderLockMakesASecondBatchWaitAndThenSeeTheFirst) {
  auto first = std::make_unique<TunDB>();
  auto second = std::make_unique<TunDB>();
  ConnectToVemoServer(Server().ServerAddress(), first);
  ConnectToVemoServer(Server().ServerAddress(), second);
  first->tblBEST.Open();
  second->tblBEST.Open();
  try {
    first->tblBEST.LockTable();  // without a transaction it would end at once
    ADD_FAILURE() << "LockTable outside a transaction";
  } catch (const dbclient::DatabaseError& e) {
    EXPECT_EQ(e.SqlState(), dbclient::sqlstate::kWrongState);
  }

  dbclient::Transaction holder(first->ffsVEMO, dbclient::Isolation::kRepeatableRead);
  first->tblBEST.LockTable();
  first->tblBEST.Append();
  first->tblBEST.FieldByName("BEST_nummer").SetInteger(1000001);
  first->tblBEST.Post();

  std::atomic<bool> locked{false};
  int64_t seen = -1;
  std::thread waiter([&] {
    dbclient::Transaction batch(second->ffsVEMO, dbclient::Isolation::kRepeatableRead);
    second->tblBEST.LockTable();
    locked = true;
    seen = second->tblBEST.RecordCount();
    batch.Commit();
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(locked);                                              // it waits for the holder
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BEST")"), "0");  // readers do not wait
  holder.Commit();
  waiter.join();
  EXPECT_TRUE(locked);
  EXPECT_EQ(seen, 1);  // its snapshot came after the lock: it sees what the holder committed
}

TEST_F(TransferProcessTest, TwoProcessesAtOnceIntoTheSameOpenOrder) {
  MakeArticles(Server(), 400);
  TempDir dir;
  const auto first = dir.Path() / "first.dat";
  const auto second = dir.Path() / "second.dat";
  ScanBatch("A1", "A120261208100000", Codes(1, 200)).SaveBatchFile(first);
  ScanBatch("B2", "B220261208100000", Codes(201, 400)).SaveBatchFile(second);

  // First without an open order (both want to make one), then into the order the first round
  // made.
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    std::vector<std::unique_ptr<ChildProcess>> tools;
    for (const auto& file : {first, second}) {
      std::vector<std::string> args{"vemo", file.string(), "--server", Server().ServerAddress()};
      if (round == 2) args.push_back("--again");  // the same batches, on purpose
      tools.push_back(std::make_unique<ChildProcess>(KESSMAR_BATCH_TOOL, args));
    }
    for (auto& tool : tools) {
      EXPECT_EQ(tool->Wait(seconds(60)), 0);
      EXPECT_EQ(tool->ReadLine(seconds(5)), "Server: " + Server().ServerAddress());
      EXPECT_EQ(tool->ReadLine(seconds(5)), "Order: 1000001");
    }
    ExpectOneOrderHolding(Server(), 400 * round);
    EXPECT_EQ(Value(R"(SELECT "BEST_nummer" FROM "SYSTEM"."BEST")"), "1000001");
  }
}

TEST_F(TransferProcessTest, KessmarBatchVemoPrintsTheOrderOrTheReason) {
  InsertCurrencies(Server());
  InsertArticle(Server(), {1, "12345678", {"1", "1", "1", "1", "1", "157.24", "1"}});
  Server().Exec(R"(INSERT INTO "DATA"."arvp" VALUES ('8712345678906', 1, 6))");
  TempDir dir;
  const auto file = dir.Path() / "20261208143107.dat";
  ScanBatch("A1B2C3D4E5F", "A1B2C3D4E5F20261208143107",
            {"8712345678906", "5901234123457", "8712345678906", "12345678"})
      .SaveBatchFile(file);
  const std::string tool = KESSMAR_BATCH_TOOL;

  auto [code, output] =
      RunCommand({tool, "vemo", file.string(), "--server", Server().ServerAddress()});
  EXPECT_EQ(code, 0) << output;
  EXPECT_EQ(output,
            "Server: VEMOPRO@127.0.0.1\n"
            "Order: 1000001\n"
            "Line: 1.23.45.67-8  12 x 157.2400 = 1886.8800\n"
            "Line: 1.23.45.67-8  1 x 157.2400 = 157.2400\n"
            "Not found: 5901234123457 x 1\n"
            "Handed on: 2 lines added, 1 scans not found\n");
  std::tie(code, output) = RunCommand({tool, "vemo", file.string(), "--no-merge", "--again"});
  EXPECT_EQ(code, 0) << output;
  EXPECT_NE(output.find("Line: 1.23.45.67-8  6 x 157.2400 = 943.4400\n"
                        "Line: 1.23.45.67-8  6 x 157.2400 = 943.4400\n"
                        "Line: 1.23.45.67-8  1 x 157.2400 = 157.2400\n"
                        "Not found: 5901234123457 x 1\n"),
            std::string::npos)
      << output;
  EXPECT_EQ(Value(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")"), "4088.2400");

  std::tie(code, output) = RunCommand({tool, "--help"});
  EXPECT_EQ(code, 0);
  EXPECT_NE(output.find("re-send a batch from the history"), std::string::npos) << output;
  std::tie(code, output) = RunCommand({tool, "vemo"});
  EXPECT_EQ(code, 2);
  std::tie(code, output) = RunCommand({tool, "vemo", (dir.Path() / "none.dat").string()});
  EXPECT_EQ(code, 1);
  EXPECT_NE(output.find("Cannot open file"), std::string::npos) << output;

  // No server to be found: exit status 1 and the reason; nothing was written.
  Server().Stop();
  std::tie(code, output) =
      RunCommand({tool, "vemo", file.string(), "--server", Server().ServerAddress()});
  EXPECT_EQ(code, 1);
  EXPECT_NE(output.find("kessmar-batch: Overzetten naar Vemo mislukt. De Vemo server "
                        "VEMOPRO@127.0.0.1 is niet bereikbaar. Er is niets in Vemo vastgelegd"),
            std::string::npos)
      << output;
  Server().Start();
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "5");
}

}  // namespace
}  // namespace kessmar::testing
