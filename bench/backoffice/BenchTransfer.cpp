// The back-office transfer of a 1,000-scan batch of distinct articles over loopback, with a
// debtor whose price groups and own rules give discounts: the whole TransferBatch (connection,
// look-ups, prices, lines, totals, commit), as the tool runs it. Prints the time per batch,
// round trips per line (counted by the client) and lines per second. Target: 0.5 s per batch.
//
// Usage: bench_transfer [--scans N] [--runs N] [--durable]   (--durable: the server syncs its
// commits, as on a real site; default: fsync off, as in the tests)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "backoffice/BatchTransfer.h"
#include "backoffice/OrderCreation.h"
#include "batch/MemTable.h"
#include "support/BackOfficeServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using kessmar::MemTable;
using kessmar::testing::BackOfficeServer;

// A batch to process: leading rows, then one row per code with Aantal 1 + (i % 3).
MemTable Batch(const std::vector<std::string>& codes) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  for (const char* id : {"A1B2C3D4E5F", "A1B2C3D4E5F20261208143107"}) {
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
      MemTable batch = Batch(codes);
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
    std::printf("Order total %s over %s lines\n",
                server.QueryValue(R"(SELECT "ORDR_totaal" FROM "SYSTEM"."BEST")").c_str(),
                server.QueryValue(R"(SELECT count(*) FROM "SYSTEM"."BERG")").c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_transfer: %s\n", e.what());
    return 1;
  }
  return 0;
}
