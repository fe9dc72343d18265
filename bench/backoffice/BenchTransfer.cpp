// The back-office transfer of a 1,000-scan batch of distinct articles over loopback, with a
// debtor whose price groups and own rules give discounts: the whole TransferBatch (connection,
// look-ups, prices, lines, totals, commit), as the tool runs it. Prints the time per batch,
// round trips per line (counted by the client) and lines per second. Target: 0.5 s per batch,
// the record of handed-on batches included; what the record costs per batch (its look-up and
// its entry) is measured apart, against a bare round trip of the same connection.
//
// Usage: bench_transfer [--scans N] [--runs N] [--durable]   (--durable: the server syncs its
// commits, as on a real site; default: fsync off, as in the tests)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "backoffice/BatchTransfer.h"
#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/HandedOnRecord.h"
#include "backoffice/OrderCreation.h"
#include "batch/MemTable.h"
#include "common/Sha256.h"
#include "support/BackOfficeServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using kessmar::MemTable;
using kessmar::testing::BackOfficeServer;

// A batch to process: leading rows, then one row per code with Aantal 1 + (i % 3). Every run
// has a batch id of its own (the record would refuse the same batch twice).
MemTable Batch(const std::vector<std::string>& codes, int run) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  const std::string batchId = "A1B2C3D4E5F202612081431" + std::to_string(10 + run);
  for (const std::string& id : {std::string("A1B2C3D4E5F"), batchId}) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", id);
    table.SetInteger("Aantal", 0);
    table.Post();
  }
  for (size_t i = 0; i < codes.size(); ++i) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", codes[i]);
    table.SetInteger("Aantal", static_cast<int32_t>(1 + i % 3));
    table.Post();
  }
  return table;
}

// Discount rules beyond the demo's: 20 of the debtor, 20 of his pair, over the main groups,
// classes and brands.
void MoreRules(BackOfficeServer& server) {
  server.Exec(R"SQL(
    INSERT INTO "SYSTEM"."KODB"
      SELECT 1001, 10 + i, (1 + i % 9)::text || '*', CASE WHEN i % 2 = 0 THEN '*' ELSE '!13,1*' END,
             '*', '*', '*', 1 + i % 4, 1 + i % 7, 1 + (i % 10) * 1.5, '2024-01-01'
      FROM generate_series(1, 20) AS i;
    INSERT INTO "SYSTEM"."KOGP" ("kogp_prijsgroepen", "HoofdGroep", "Klasse", "Merk", "Soort",
        "Type", "KOGP_Aantal", "KOGP_PrijsGroep", "KOGP_Korting", "KOGP_Datum")
      SELECT '12', (1 + i % 9)::text, '*', CASE WHEN i % 3 = 0 THEN '4*' ELSE '*' END, '*', '*',
             1 + i % 5, 1 + i % 7, 2.5 + i % 8, '2024-01-01'
      FROM generate_series(1, 20) AS i)SQL");
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The record's share of a batch: its look-up and its entry, in a transaction that is rolled
// back, against the floor of a bare statement's round trip on the same connection.
void RecordCost(BackOfficeServer& server, double batchSeconds) {
  auto db = std::make_unique<kessmar::TunDB>();
  kessmar::ConnectToVemoServer(server.ServerAddress(), db);
  kessmar::dbclient::Session& session = db->ffsVEMO;
  session.Open();
  constexpr int kRepeats = 200;
  std::vector<double> floor;
  std::vector<double> record;
  for (int i = 0; i < kRepeats; ++i) {
    auto start = Clock::now();
    session.RunOnce("SELECT 1", {});
    floor.push_back(std::chrono::duration<double>(Clock::now() - start).count());

    const kessmar::BatchIdentity identity{"A1B2C3D4E5F", "BENCH" + std::to_string(i),
                                          kessmar::Sha256Hex(std::to_string(i))};
    kessmar::dbclient::Transaction transaction(session);
    start = Clock::now();
    const auto known = kessmar::LookUpHandedOn(session, identity);
    kessmar::RecordHandedOn(session, identity, known ? known->copies + 1 : 1, 1000001, 1000);
    record.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    transaction.Rollback();
  }
  const double floorMs = Median(floor) * 1000;
  const double recordMs = Median(record) * 1000;
  std::printf(
      "Record of handed-on batches: %.3f ms per batch (look-up + entry, 2 round trips) = %.1f x "
      "a bare round trip (%.3f ms) = %.2f %% of the median batch\n",
      recordMs, recordMs / floorMs, floorMs, recordMs / 10 / batchSeconds);
}

}  // namespace

int main(int argc, char** argv) {
  int scans = 1000;
  int runs = 5;
  bool durable = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--scans") == 0 && i + 1 < argc) {
      scans = std::stoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::stoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--durable") == 0) {
      durable = true;
    } else {
      std::fprintf(stderr, "usage: bench_transfer [--scans N] [--runs N] [--durable]\n");
      return 2;
    }
  }
  setenv("KESSMAR_DISCOVERY_ADDR", "127.255.255.255", 0);
  try {
    kessmar::testing::BackOfficeServerOptions options;
    options.demo = true;
    options.articles = std::max(scans, 1000) * 2;
    options.fast = !durable;
    BackOfficeServer server(options);
    server.UseDatabase(server.CreateDatabase());
    MoreRules(server);
    std::vector<std::string> codes;
    for (const auto& row :
         server.Query(R"(SELECT "ARTK_fullcod" FROM "DATA"."artk" WHERE "ARTK_nummer" > 100
                         ORDER BY md5("ARTK_fullcod") LIMIT )" +
                      std::to_string(scans))) {
      codes.push_back(*row[0]);
    }
    std::printf(
        "Transfer of a batch of %zu distinct articles over loopback (catalogue of %d, debtor "
        "1001 with %s debtor and %s pair rules), server %s\n",
        codes.size(), options.articles + 5,
        server.QueryValue(R"(SELECT count(*) FROM "SYSTEM"."KODB" WHERE "KODB_debtnr" = 1001)")
            .c_str(),
        server
            .QueryValue(R"(SELECT count(*) FROM "SYSTEM"."KOGP" WHERE "kogp_prijsgroepen" = '12')")
            .c_str(),
        durable ? "syncing every commit" : "with fsync off");

    std::vector<double> seconds;
    for (int run = 0; run < runs; ++run) {
      MemTable batch = Batch(codes, run);
      kessmar::OrderCreation orders;
      const auto start = Clock::now();
      const kessmar::TransferOutcome outcome =
          kessmar::TransferBatch(batch, server.ServerAddress(), orders);
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      if (!outcome.handedOn || outcome.lines.size() != codes.size()) {
        std::fprintf(stderr, "bench_transfer: the transfer failed: %s\n", outcome.detail.c_str());
        return 1;
      }
      seconds.push_back(elapsed);
      const double trips = static_cast<double>(orders.Db().ffsVEMO.RoundTrips());
      std::printf("  run %d: %.3f s, %.0f lines/s, %.2f round trips per line (%.0f in all)\n",
                  run + 1, elapsed, static_cast<double>(codes.size()) / elapsed,
                  trips / static_cast<double>(codes.size()), trips);
    }
    std::sort(seconds.begin(), seconds.end());
    std::printf("Best %.3f s, median %.3f s per batch of %zu (target 0.5 s): %s\n", seconds.front(),
                seconds[seconds.size() / 2], codes.size(),
                seconds[seconds.size() / 2] <= 0.5 ? "met" : "NOT met");
    RecordCost(server, seconds[seconds.size() / 2]);
    std::printf("Order total %s over %s lines\n",
                server.QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")").c_str(),
                server.QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BERG")").c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_transfer: %s\n", e.what());
    return 1;
  }
  return 0;
}
