// Every batch lands once, at the right price, on the server the user meant: a commit whose
// answer is lost, a server killed while the client asks what became of it, a counter behind the
// orders, debtor numbers and article codes as the back office writes them, discounts out of
// range, re-sends with and without --again, --server, and the tool's restricted login role.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <thread>

#include "backoffice/BatchTransfer.h"
#include "backoffice/OrderCreation.h"
#include "backoffice/TransferTestData.h"
#include "support/BackOfficeFixture.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace kessmar::testing {
namespace {

using std::chrono::milliseconds;

// Articles 1 to count with codes 30000001 on, priced 1.0000 in column 6.
void MakeArticles(BackOfficeServer& server, int count) {
  const std::string n = std::to_string(count);
  server.Exec(R"SQL(
    INSERT INTO "SYSTEM"."VALU" VALUES ('EUR', 'Euro', 1, 1);
    INSERT INTO "DATA"."artk" ("ARTK_nummer", "ARTK_fullcod", "ARTK_Merk")
      SELECT i, (30000000 + i)::text, 'Merk' FROM generate_series(1, )SQL" +
              n + R"SQL() AS i;
    INSERT INTO "DATA"."ARPZ" SELECT i, (30000000 + i)::text, 0, 0, 0, 0, 0, 1, 0, 'EUR', 0
      FROM generate_series(1, )SQL" +
              n + ") AS i");
}

MemTable Batch(const std::string& batchId, int count) {
  std::vector<std::pair<std::string, int>> scans;
  for (int i = 1; i <= count; ++i) scans.emplace_back(std::to_string(30000000 + i), 1);
  return BatchToProcess(batchId, scans);
}

class HeldCommitTest : public DurableServerTest {};

TEST_F(HeldCommitTest, ACommitHeldUpAtTheServerAndReleasedLaterGivesOneCopyAfterTheRetry) {
  MakeArticles(server, 20);
  MemTable batch = Batch("HOLD01", 20);
  std::thread release;
  TransferOptions options;
  options.beforeCommit = [&](dbclient::Session& session) {
    // The server process stops before it reads the COMMIT, and goes on after the client gave
    // up on its answer (2 s).
    const int process = session.ServerProcessId();
    kill(process, SIGSTOP);
    release = std::thread([process] {
      std::this_thread::sleep_for(milliseconds(3500));
      kill(process, SIGCONT);
    });
  };
  OrderCreation first;
  const TransferOutcome held = TransferBatch(batch, server.ServerAddress(), first, options);
  release.join();
  // The process was ended and awaited before the record was read: the answer is certain.
  EXPECT_FALSE(held.commitUnknown) << held.reason;
  const std::string linesNow = Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")");
  if (held.handedOn) {
    EXPECT_EQ(linesNow, "20");
  } else {
    EXPECT_EQ(linesNow, "0");
    EXPECT_NE(held.reason.find("Er is niets in Vemo vastgelegd"), std::string::npos);
  }

  OrderCreation second;
  const TransferOutcome retry = TransferBatch(batch, server.ServerAddress(), second);
  ASSERT_TRUE(retry.handedOn) << retry.detail;
  EXPECT_EQ(retry.already.has_value(), held.handedOn);
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "20");
  EXPECT_EQ(Value(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")"), "20.0000");
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM".kessmar_batches)"), "1");
}

TEST_F(HeldCommitTest, AServerKilledDuringTheCheckLeavesTheOutcomeOpenAndTheRecordGuards) {
  MakeArticles(server, 10);
  MemTable batch = Batch("KILL01", 10);
  std::thread killer;
  TransferOptions options;
  options.beforeCommit = [&](dbclient::Session& session) {
    kill(session.ServerProcessId(), SIGSTOP);
    // After the client gave up on the COMMIT (2 s), while it waits for that process to end.
    killer = std::thread([this] {
      std::this_thread::sleep_for(milliseconds(3000));
      server.Kill();
    });
  };
  OrderCreation first;
  const TransferOutcome lost = TransferBatch(batch, server.ServerAddress(), first, options);
  killer.join();
  EXPECT_FALSE(lost.handedOn);
  EXPECT_TRUE(lost.commitUnknown) << lost.reason << " | " << lost.detail;
  EXPECT_EQ(lost.reason.find("niets"), std::string::npos) << lost.reason;
  EXPECT_NE(lost.reason.find("niet bekend of hij in Vemo staat"), std::string::npos) << lost.reason;

  server.Start();
  for (int attempt = 1; attempt <= 2; ++attempt) {
    OrderCreation orders;
    const TransferOutcome retry = TransferBatch(batch, server.ServerAddress(), orders);
    ASSERT_TRUE(retry.handedOn) << retry.detail;
    EXPECT_EQ(retry.already.has_value(), attempt == 2);
  }
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "10");
}

class ExactlyOnceTest : public BackOfficeFixture {
 protected:
  std::string Value(const std::string& sql) { return Server().QueryValue(sql); }
  TransferOutcome Transfer(MemTable batch) {
    OrderCreation orders;
    return TransferBatch(batch, Server().ServerAddress(), orders);
  }
};

TEST_F(ExactlyOnceTest, KessmarBatchRefusesAReSendWithoutAgainAndBindsToItsServer) {
  MakeArticles(Server(), 3);
  TempDir dir;
  const auto file = (dir.Path() / "batch.dat").string();
  Batch("A1B2C3D4E5F20261209100000", 3).SaveBatchFile(file);
  const std::string tool = KESSMAR_BATCH_TOOL;
  const std::string server = Server().ServerAddress();

  auto [code, output] = RunCommand({tool, "vemo", file, "--server", server});
  EXPECT_EQ(code, 0) << output;
  std::tie(code, output) = RunCommand({tool, "vemo", file, "--server", server, "--no-merge"});
  EXPECT_EQ(code, 3) << output;
  EXPECT_NE(output.find("staat in Vemo order 1000001 met 3 regels"), std::string::npos) << output;
  EXPECT_NE(output.find("--again adds it once more"), std::string::npos) << output;
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "3");
  std::tie(code, output) = RunCommand({tool, "vemo", file, "--server", server, "--again"});
  EXPECT_EQ(code, 0) << output;
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "6");
  EXPECT_EQ(Value(R"(SELECT string_agg(copy::text, ',' ORDER BY copy)
                     FROM "SYSTEM".kessmar_batches)"),
            "1,2");
  std::tie(code, output) = RunCommand({tool, "--help"});
  EXPECT_NE(output.find("unless --again is\ngiven"), std::string::npos) << output;

  // --server to a dead address: that server only, never the one that answers elsewhere.
  Batch("A1B2C3D4E5F20261209110000", 2).SaveBatchFile(file);
  std::tie(code, output) = RunCommand({tool, "vemo", file, "--server", "VEMOPRO@127.0.0.9"});
  EXPECT_EQ(code, 1) << output;
  EXPECT_NE(output.find("De Vemo server VEMOPRO@127.0.0.9 is niet bereikbaar"), std::string::npos)
      << output;
  for (const char* bad : {"127.0.0.1", "VEMOPRO@", "VEMO PRO@127.0.0.1"}) {
    std::tie(code, output) = RunCommand({tool, "vemo", file, "--server", bad});
    EXPECT_EQ(code, 2) << bad << ": " << output;
    EXPECT_NE(output.find("is not a server address"), std::string::npos) << output;
  }
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "6");
}

TEST_F(ExactlyOnceTest, CountersDebtorsCodesAndDiscountsTheBackOfficeReallyHolds) {
  InsertCurrencies(Server());
  InsertArticle(Server(),
                {1, "12345678", {"98.955", "99", "1", "1", "1", "157.24", "1"}, "EUR", 10});
  InsertArticle(Server(), {2, "1234567é", {"1", "1", "1", "1", "1", "2.50", "1"}});
  Server().Exec(R"SQL(INSERT INTO "SYSTEM"."DEBT" VALUES (1001, 'Klant', '1', '2');
                      INSERT INTO "SYSTEM"."SYSC" VALUES ('BEST', 1000001);
                      INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "BEST_type", "BEST_verstuurd")
                        VALUES (1000002, 2, 2))SQL");
  // A padded debtor number is the debtor; the counter behind BEST moves past the taken number.
  SetDebtor(Server(), " 1001");
  TransferOutcome outcome = Transfer(BatchToProcess("P1", {{"12345678", 1}}));
  ASSERT_TRUE(outcome.handedOn) << outcome.reason;
  EXPECT_EQ(outcome.lines.at(0).unitPrice.ToText(), "98.9550");
  EXPECT_EQ(outcome.lines.at(0).order, 1000003);
  EXPECT_EQ(Value(R"(SELECT "SYSC_volgnum" FROM "SYSTEM"."SYSC")"), "1000003");

  // A code with a letter beyond ASCII: cut into its parts by characters.
  Server().Exec(R"(UPDATE "SYSTEM"."RLTI" SET "RLTI_debtnummer" = '')");
  MemTable accented = BatchToProcess("P2", {});
  accented.Append();
  accented.SetText("Barcode", "1234567\xE9");  // Windows-1252, as the scanner's batch holds it
  accented.SetInteger("Aantal", 2);
  accented.Post();
  outcome = Transfer(std::move(accented));
  ASSERT_TRUE(outcome.handedOn) << outcome.reason;
  EXPECT_EQ(Value(R"(SELECT "ARTK_fullcod" || ' ' || "BERG_totaal" FROM "SYSTEM"."BERG"
                     WHERE "ARTK_nummer" = 2)"),
            "1.23.45.67-é 5.0000");

  // A debtor number that is no number, and a discount of 150 %, fail with what they are.
  Server().Exec(R"(UPDATE "SYSTEM"."RLTI" SET "RLTI_debtnummer" = '10a1')");
  outcome = Transfer(BatchToProcess("P3", {{"12345678", 1}}));
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("debiteurnummer \"10a1\" van relatie 2"), std::string::npos)
      << outcome.reason;
  Server().Exec(R"SQL(UPDATE "SYSTEM"."RLTI" SET "RLTI_debtnummer" = '1001';
                      INSERT INTO "SYSTEM"."KODB" ("KODB_debtnr", "KODB_volgnr", "HoofdGroep",
                        "Klasse", "Merk", "Soort", "Type", "KODB_Aantal", "KODB_PrijsGroep",
                        "KODB_Korting") VALUES (1001, 4, '*', '*', '*', '*', '*', 0, 1, 150))SQL");
  outcome = Transfer(BatchToProcess("P4", {{"12345678", 1}}));
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("KODB, debiteur 1001, volgnummer 4"), std::string::npos)
      << outcome.reason;
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM"."BERG")"), "2");
}

TEST_F(ExactlyOnceTest, TheRememberedServerIsKeptWholeAndNamedWhenItIsGone) {
  MakeArticles(Server(), 2);
  // Longer than the 63 characters the settings keep: it works, and is not remembered cut.
  const std::string longName = "VEMOPRO_" + std::string(60, 'x') + "@127.0.0.1";
  OrderCreation orders;
  MemTable batch = Batch("L1", 2);
  TransferOutcome outcome = TransferBatch(batch, longName, orders);
  ASSERT_TRUE(outcome.handedOn) << outcome.reason;
  EXPECT_EQ(outcome.vemoServer, "");

  // Gone, and nothing else to be found: both the remembered and the last server are named.
  Server().Exec("CHECKPOINT");
  Server().Stop();
  OrderCreation again;
  MemTable next = Batch("L2", 2);
  outcome = TransferBatch(next, "VEMOPRO@127.0.0.9", again);
  Server().Start();
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("De Vemo server VEMOPRO@127.0.0.9 is niet bereikbaar; de laatst "
                                "geprobeerde server VEMOPRO@127.0.0.1 evenmin."),
            std::string::npos)
      << outcome.reason;
}

TEST_F(ExactlyOnceTest, TheToolsRestrictedRoleDoesAWholeTransferAndMissingRightsAreNamed) {
  MakeArticles(Server(), 5);
  const std::string role = "kessmar_tool_" + Server().Database();
  auto [code, output] = RunCommand({KESSMAR_BACKOFFICE_SERVER, "role", Server().Folder().string(),
                                    "--user", role, "--database", Server().Database()});
  ASSERT_EQ(code, 0) << output;
  EXPECT_EQ(Value("SELECT rolsuper FROM pg_roles WHERE rolname = '" + role + "'"), "f");
  {
    ScopedEnvironment user{{"PGUSER", role}};
    TransferOutcome outcome = Transfer(Batch("R1", 5));
    ASSERT_TRUE(outcome.handedOn) << outcome.reason;
    EXPECT_EQ(outcome.lines.size(), 5u);

    Server().Exec("REVOKE INSERT ON \"SYSTEM\".\"BERG\" FROM " + role);
    outcome = Transfer(Batch("R2", 5));
    EXPECT_FALSE(outcome.handedOn);
    EXPECT_NE(outcome.reason.find("backoffice-server role"), std::string::npos) << outcome.reason;
    EXPECT_EQ(outcome.reason.find("niet bereikbaar"), std::string::npos) << outcome.reason;
  }
  {
    ScopedEnvironment user{{"PGUSER", "nobody_" + Server().Database()}};
    const TransferOutcome outcome = Transfer(Batch("R3", 5));
    EXPECT_FALSE(outcome.handedOn);
    EXPECT_NE(outcome.reason.find("weigert de gebruiker"), std::string::npos) << outcome.reason;
  }

  // A back office set up by an older backoffice-server: a clear reason until it is upgraded.
  Server().Exec(R"(DROP TABLE "SYSTEM".kessmar_batches)");
  TransferOutcome outcome = Transfer(Batch("R4", 5));
  EXPECT_FALSE(outcome.handedOn);
  EXPECT_NE(outcome.reason.find("\"backoffice-server upgrade\""), std::string::npos)
      << outcome.reason;
  std::tie(code, output) =
      RunCommand({KESSMAR_BACKOFFICE_SERVER, "upgrade", Server().Folder().string(), "--database",
                  Server().Database()});
  ASSERT_EQ(code, 0) << output;
  Server().Exec("GRANT INSERT ON \"SYSTEM\".\"BERG\" TO " + role);
  std::tie(code, output) =
      RunCommand({KESSMAR_BACKOFFICE_SERVER, "upgrade", Server().Folder().string(), "--database",
                  Server().Database()});
  ASSERT_EQ(code, 0) << output;
  ScopedEnvironment user{{"PGUSER", role}};
  outcome = Transfer(Batch("R4", 5));
  EXPECT_TRUE(outcome.handedOn) << outcome.reason;
  EXPECT_EQ(Value(R"(SELECT count(*) FROM "SYSTEM".kessmar_batches)"), "1");
}

}  // namespace
}  // namespace kessmar::testing
