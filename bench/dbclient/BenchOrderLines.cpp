// Order lines through the database client over loopback: round trips per line (counted by the
// client) and lines per second, for the typical line (find the article, range on the open order,
// append and post the line, update the order total) and for the whole sequence AddOrderLine
// runs; and the cost of finding an article in a catalogue of 100 against one of 100,000.
//
// Usage: bench_order_lines [--lines N] [--durable]   (--durable: the server syncs its commits,
// as on a real site; default: fsync off, as in the tests)
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dbclient/Client.h"
#include "dbclient/Currency.h"
#include "dbclient/DateTime.h"
#include "dbclient/NetworkTransport.h"
#include "dbclient/RemoteServerEngine.h"
#include "dbclient/Session.h"
#include "dbclient/Table.h"
#include "support/BackOfficeServer.h"

namespace {

using kessmar::dbclient::Currency;
using kessmar::dbclient::Table;
using Clock = std::chrono::steady_clock;

struct Connected {
  explicit Connected(const std::string& server) { transport.SetServerName(server); }
  kessmar::dbclient::NetworkTransport transport{"bench", kessmar::dbclient::Protocol::ptTCPIP};
  kessmar::dbclient::RemoteServerEngine engine{"engine", &transport};
  kessmar::dbclient::Client client{"client", &engine};
  kessmar::dbclient::Session session{"session", &client};
  Table artk{session, "artk", "DATA"};
  Table best{session, "BEST", "SYSTEM"};
  Table berg{session, "BERG", "SYSTEM"};
  Table sysc{session, "SYSC", "SYSTEM"};
  Table rlti{session, "RLTI", "SYSTEM"};
  Table sysi{session, "SYSI", "SYSTEM"};
  Table arpz{session, "ARPZ", "DATA"};
  Table valu{session, "VALU", "SYSTEM"};
};

std::vector<std::string> Codes(kessmar::testing::BackOfficeServer& server, int count) {
  std::vector<std::string> codes;
  for (const auto& row : server.Query(
           "SELECT \"ARTK_fullcod\" FROM \"DATA\".\"artk\" ORDER BY md5(\"ARTK_fullcod\") LIMIT " +
           std::to_string(count))) {
    codes.push_back(*row[0]);
  }
  return codes;
}

// Step 4 of AddOrderLine: the open order, first with BEST_verstuurd 1, then 2.
int64_t OpenOrder(Table& best) {
  for (const char* sent : {"1", "2"}) {
    best.SetRangeStart({{"BEST_type", "1"}, {"BEST_verstuurd", sent}});
    best.SetRangeEnd({{"BEST_type", "1"}, {"BEST_verstuurd", sent}});
    best.ApplyRange();
    best.Last();
    if (!best.Eof()) return best.FieldByName("BEST_nummer").AsInteger();
  }
  return 0;
}

void PostLine(Connected& db, int64_t order, const std::string& code, int quantity, Currency price) {
  db.berg.Append();
  db.berg.FieldByName("BEST_nummer").SetInteger(order);
  db.berg.FieldByName("ARTK_nummer").SetInteger(db.artk.FieldByName("ARTK_nummer").AsInteger());
  db.berg.FieldByName("ARTK_fullcod").SetString(code);
  db.berg.FieldByName("BERG_Omschrijving").SetString(db.artk.FieldByName("ARTK_typen").AsString());
  db.berg.FieldByName("BERG_merk").SetString(db.artk.FieldByName("ARTK_Merk").AsString());
  db.berg.FieldByName("BEST_aantal").SetInteger(quantity);
  db.berg.FieldByName("BEST_prijs").SetCurrency(price);
  db.berg.FieldByName("BERG_totaal").SetCurrency(price * quantity);
  db.berg.FieldByName("BERG_uwnummer").SetString("BENCH1");
  db.berg.Post();
}

void AddToTotal(Table& best, Currency amount, bool countRange) {
  best.Refresh();
  best.Edit();
  if (!countRange || best.RecordCount() > 0) {
    best.FieldByName("BEST_verstuurd").SetInteger(2);
    best.FieldByName("ORDR_totaal")
        .SetCurrency(best.FieldByName("ORDR_totaal").AsCurrency() + amount);
  }
  best.Post();
}

struct Figures {
  double roundTripsPerLine;
  double linesPerSecond;
};

// full: the whole AddOrderLine sequence (debtor look-up, first record of four tables, order
// range, article, price from ARPZ and VALU, line, total with its range count, refresh).
// inTransaction: the whole batch in one transaction, committed at the end (timed).
Figures RunLines(kessmar::testing::BackOfficeServer& server, const std::vector<std::string>& codes,
                 bool full, bool inTransaction = false) {
  server.UseDatabase(server.CreateDatabase());
  server.Exec(R"SQL(INSERT INTO "SYSTEM"."BEST" ("BEST_nummer", "BEST_type", "BEST_verstuurd")
                    VALUES (1000001, 1, 1))SQL");
  Connected db(server.ServerAddress());
  db.artk.SetIndexName("ARTK_fullcod");
  db.best.SetIndexFieldNames("BEST_type;BEST_verstuurd");
  db.rlti.SetIndexName("idxRLTI_nummer");
  db.arpz.SetIndexName("ARTK_nummer");
  db.valu.SetIndexName("VALU_code");
  for (Table* table :
       {&db.artk, &db.best, &db.berg, &db.sysc, &db.rlti, &db.sysi, &db.arpz, &db.valu}) {
    table->Open();
  }
  // One line first, so that statements are prepared before measuring.
  auto line = [&](const std::string& code) {
    if (full) {
      (void)db.rlti.FindKey(int64_t{2});
      for (Table* table : {&db.best, &db.berg, &db.sysc, &db.artk}) table->First();
    }
    const int64_t order = OpenOrder(db.best);
    db.artk.SetIndexName("ARTK_fullcod");
    const bool found = db.artk.FindKey(code);
    Currency price = Currency::FromText("12.3456");
    if (full && found) {
      db.arpz.FindKey(db.artk.FieldByName("ARTK_nummer").AsInteger());
      const double column = db.arpz.FieldByName("ARPZ_Prijs6").AsFloat();
      db.valu.FindKey(db.arpz.FieldByName("VALU_code").AsString());
      price = Currency::FromDouble(column * db.valu.FieldByName("valu_waarde").AsFloat() /
                                   db.valu.FieldByName("valu_eenheid").AsFloat());
    }
    PostLine(db, order, code, 3, price);
    AddToTotal(db.best, price * 3, full);
    if (full) db.berg.Refresh();
  };
  line(codes.front());
  const uint64_t before = db.session.RoundTrips();
  const auto start = Clock::now();
  if (inTransaction) {
    kessmar::dbclient::Transaction transaction(db.session);
    for (const auto& code : codes) line(code);
    transaction.Commit();
  } else {
    for (const auto& code : codes) line(code);
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const uint64_t trips = db.session.RoundTrips() - before;
  return {static_cast<double>(trips) / static_cast<double>(codes.size()),
          static_cast<double>(codes.size()) / seconds};
}

// Average time of one FindKey on the article code index.
double FindMicroseconds(kessmar::testing::BackOfficeServer& server,
                        const std::vector<std::string>& codes, uint64_t& tripsPerFind) {
  server.UseDatabase(server.CreateDatabase());
  Connected db(server.ServerAddress());
  db.artk.SetIndexName("ARTK_fullcod");
  db.artk.Open();
  (void)db.artk.FindKey(codes.front());
  const uint64_t before = db.session.RoundTrips();
  const int rounds = 2000;
  const auto start = Clock::now();
  for (int i = 0; i < rounds; ++i)
    (void)db.artk.FindKey(codes[static_cast<size_t>(i) % codes.size()]);
  const double micro =
      std::chrono::duration<double, std::micro>(Clock::now() - start).count() / rounds;
  tripsPerFind = (db.session.RoundTrips() - before) / rounds;
  return micro;
}

}  // namespace

int main(int argc, char** argv) {
  int lines = 1000;
  bool durable = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--lines") == 0 && i + 1 < argc) {
      lines = std::stoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--durable") == 0) {
      durable = true;
    } else {
      std::fprintf(stderr, "usage: bench_order_lines [--lines N] [--durable]\n");
      return 2;
    }
  }
  setenv("KESSMAR_DISCOVERY_ADDR", "127.255.255.255", 0);
  try {
    kessmar::testing::BackOfficeServerOptions small;
    small.demo = true;
    small.articles = 95;  // with the five fixed demo articles: 100
    small.fast = !durable;
    kessmar::testing::BackOfficeServer smallServer(small);
    smallServer.UseDatabase(smallServer.CreateDatabase());
    const auto smallCodes = Codes(smallServer, 100);

    kessmar::testing::BackOfficeServerOptions large = small;
    large.articles = 99995;
    large.listen = "127.0.0.2";
    kessmar::testing::BackOfficeServer largeServer(large);
    largeServer.UseDatabase(largeServer.CreateDatabase());
    std::vector<std::string> codes = Codes(largeServer, lines);
    std::printf("Order lines over loopback, %d lines, catalogue of 100,000 articles, server %s\n",
                lines, durable ? "syncing every commit" : "with fsync off");
    const Figures typical = RunLines(largeServer, codes, false);
    std::printf(
        "  typical line (find article, range on the open order, append and post the line,"
        " update the total):\n    %.2f round trips per line, %.0f lines/s\n",
        typical.roundTripsPerLine, typical.linesPerSecond);
    const Figures batch = RunLines(largeServer, codes, false, true);
    std::printf(
        "  typical line, the batch in one transaction:\n"
        "    %.2f round trips per line, %.0f lines/s\n",
        batch.roundTripsPerLine, batch.linesPerSecond);
    const Figures full = RunLines(largeServer, codes, true);
    std::printf(
        "  whole AddOrderLine sequence (also debtor, first record of four tables, price"
        " from ARPZ and VALU,\n  range count, refresh):\n"
        "    %.2f round trips per line, %.0f lines/s\n",
        full.roundTripsPerLine, full.linesPerSecond);

    uint64_t smallTrips = 0;
    uint64_t largeTrips = 0;
    const double smallFind = FindMicroseconds(smallServer, smallCodes, smallTrips);
    const double largeFind = FindMicroseconds(largeServer, codes, largeTrips);
    std::printf(
        "Find on the article code index: %.1f us (%llu round trip) with 100 articles, "
        "%.1f us (%llu round trip) with 100,000\n",
        smallFind, static_cast<unsigned long long>(smallTrips), largeFind,
        static_cast<unsigned long long>(largeTrips));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_order_lines: %s\n", e.what());
    return 1;
  }
  return 0;
}
