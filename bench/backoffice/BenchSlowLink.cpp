// The back-office transfer over a slow link: batches of 10, 100 and 1,000 distinct articles
// handed on through a delaying TCP proxy (DelayProxy.h) on loopback, without delay and at a
// 20 ms round trip (10 ms each way), as a shop reaching its back office over a VPN would. Each
// batch starts from a fresh OrderCreation, so the time includes the connection. The first run of
// each size goes into a back office without orders (the batch creates its order), the others
// into the order it left open. Prints round trips per batch (counted by the client, connection
// included) for both, and the time per batch, against the targets: at most 10 round trips per
// batch, 1,000 lines within 1 s at 20 ms and within 50 ms on loopback.
//
// Usage: bench_slow_link [--rtt MS] [--runs N] [--sizes A,B,...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "backoffice/BatchTransfer.h"
#include "backoffice/DelayProxy.h"
#include "backoffice/OrderCreation.h"
#include "batch/MemTable.h"
#include "support/BackOfficeServer.h"

namespace {

using Clock = std::chrono::steady_clock;
using kessmar::MemTable;
using kessmar::testing::BackOfficeServer;

// A batch to process with a batch id of its own (the record would refuse a batch twice).
MemTable Batch(const std::vector<std::string>& codes, int serial) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  auto row = [&table](const std::string& barcode, int32_t quantity) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", barcode);
    table.SetInteger("Aantal", quantity);
    table.Post();
  };
  row("A1B2C3D4E5F", 0);
  row("SLOW" + std::to_string(100000 + serial), 0);
  for (size_t i = 0; i < codes.size(); ++i) row(codes[i], static_cast<int32_t>(1 + i % 3));
  return table;
}

struct Figures {
  double seconds = 0;
  unsigned long long trips = 0;
};

Figures Transfer(const std::vector<std::string>& codes, const std::string& address, int serial) {
  MemTable batch = Batch(codes, serial);
  kessmar::OrderCreation orders;
  const auto start = Clock::now();
  const kessmar::TransferOutcome outcome = kessmar::TransferBatch(batch, address, orders);
  Figures figures{std::chrono::duration<double>(Clock::now() - start).count(),
                  static_cast<unsigned long long>(orders.Db().ffsVEMO.RoundTrips())};
  if (!outcome.handedOn || outcome.lines.size() != codes.size()) {
    throw std::runtime_error("the transfer failed: " + outcome.detail);
  }
  return figures;
}

}  // namespace

int main(int argc, char** argv) {
  int rttMs = 20;
  int runs = 3;
  std::vector<size_t> sizes{10, 100, 1000};
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--rtt") == 0 && i + 1 < argc) {
      rttMs = std::clamp(std::stoi(argv[++i]), 0, 1000);
    } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) {
      runs = std::clamp(std::stoi(argv[++i]), 1, 100);
    } else if (std::strcmp(argv[i], "--sizes") == 0 && i + 1 < argc) {
      sizes.clear();
      std::stringstream list(argv[++i]);
      for (std::string item; std::getline(list, item, ',');) {
        sizes.push_back(std::clamp<size_t>(std::stoul(item), 1, 100000));
      }
    } else {
      std::fprintf(stderr, "usage: bench_slow_link [--rtt MS] [--runs N] [--sizes A,B,...]\n");
      return 2;
    }
  }
  setenv("KESSMAR_DISCOVERY_ADDR", "127.255.255.255", 0);
  try {
    kessmar::testing::BackOfficeServerOptions options;
    options.demo = true;
    options.articles =
        static_cast<int>(std::max<size_t>(*std::max_element(sizes.begin(), sizes.end()), 1000) * 2);
    BackOfficeServer server(options);
    server.UseDatabase(server.CreateDatabase());
    std::vector<std::string> codes;
    for (const auto& row :
         server.Query(R"(SELECT "ARTK_fullcod" FROM "DATA"."artk" WHERE "ARTK_nummer" > 100
                         ORDER BY md5("ARTK_fullcod"))")) {
      codes.push_back(*row[0]);
    }
    const std::string port = std::to_string(server.Port());
    std::printf("Transfer of batches of distinct articles through a delaying proxy, fsync off\n");
    std::printf("%-10s %7s %12s %12s %12s %12s\n", "link", "lines", "trips (new)", "trips (open)",
                "best s", "median s");
    int serial = 0;
    for (const int rtt : {0, rttMs}) {
      kessmar::bench::DelayProxy proxy(server.Port(), std::chrono::microseconds(rtt * 500));
      setenv("PGPORT", std::to_string(proxy.Port()).c_str(), 1);
      for (const size_t size : sizes) {
        const std::vector<std::string> batch(codes.begin(),
                                             codes.begin() + static_cast<long>(size));
        std::vector<double> seconds;
        unsigned long long created = 0;
        unsigned long long open = 0;
        server.UseDatabase(server.CreateDatabase());
        for (int run = 0; run <= runs; ++run) {
          const Figures figures = Transfer(batch, server.ServerAddress(), ++serial);
          seconds.push_back(figures.seconds);
          (run == 0 ? created : open) = std::max(run == 0 ? created : open, figures.trips);
        }
        std::sort(seconds.begin(), seconds.end());
        std::printf("%-10s %7zu %12llu %12llu %12.3f %12.3f\n",
                    rtt == 0 ? "loopback" : (std::to_string(rtt) + " ms").c_str(), size, created,
                    open, seconds.front(), seconds[seconds.size() / 2]);
        std::fflush(stdout);
      }
      setenv("PGPORT", port.c_str(), 1);
    }
    std::printf(
        "Targets: at most 10 round trips per batch; 1,000 lines within 1 s at 20 ms and "
        "within 0.050 s on loopback (connection included)\n");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_slow_link: %s\n", e.what());
    return 1;
  }
  return 0;
}
