// Rows for the back office's tables and batches to process, as the transfer tests need them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "batch/MemTable.h"
#include "support/BackOfficeServer.h"

namespace kessmar::testing {

// Quotes a text for SQL.
inline std::string Sql(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += '\'';
    quoted += c;
  }
  return quoted + "'";
}

// An article in artk with all seven prices (and the currency) in ARPZ.
struct Article {
  int nummer;
  std::string code;
  std::vector<std::string> prices;  // columns 1 to 7
  std::string currency = "EUR";
  int switchQuantity = 0;  // ARTK_prijsgrwissel
  std::string merk = "Bosch";
  std::string filter = "Boormachine";
  std::string kenmerk = "18V";
  std::string typen = "GSB";
};

inline void InsertArticle(BackOfficeServer& server, const Article& a) {
  std::string prices;
  for (size_t i = 0; i < 7; ++i) prices += (i < a.prices.size() ? a.prices[i] : "0") + ", ";
  server.Exec(
      "INSERT INTO \"DATA\".\"artk\" (\"ARTK_nummer\", \"ARTK_fullcod\", \"ARTK_Merk\", "
      "\"ARTK_Filteromschrijving\", \"ARTK_kenmerk\", \"ARTK_typen\") VALUES (" +
      std::to_string(a.nummer) + ", " + Sql(a.code) + ", " + Sql(a.merk) + ", " + Sql(a.filter) +
      ", " + Sql(a.kenmerk) + ", " + Sql(a.typen) + "); INSERT INTO \"DATA\".\"ARPZ\" VALUES (" +
      std::to_string(a.nummer) + ", " + Sql(a.code.substr(0, 12)) + ", " + prices +
      Sql(a.currency) + ", " + std::to_string(a.switchQuantity) + ")");
}

// The currencies of the tests: EUR 1/1, USD 0.92/1, JPY 1/100.
inline void InsertCurrencies(BackOfficeServer& server) {
  server.Exec(R"SQL(INSERT INTO "SYSTEM"."VALU" VALUES
      ('EUR', 'Euro', 1, 1), ('USD', 'Dollar', 0.92, 1), ('JPY', 'Yen', 1, 100))SQL");
}

// Relation 2 carries debtor.
inline void SetDebtor(BackOfficeServer& server, const std::string& debtor) {
  server.Exec("INSERT INTO \"SYSTEM\".\"RLTI\" VALUES (2, 'Klant', " + Sql(debtor) + ")");
}

// A batch to process: the two leading rows, then one row per (barcode, Aantal).
inline MemTable BatchToProcess(const std::string& batchId,
                               const std::vector<std::pair<std::string, int>>& scans) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  for (const std::string& id : {std::string("A1B2C3D4E5F"), batchId}) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", id);
    table.SetInteger("Aantal", 0);
    table.Post();
  }
  for (const auto& [barcode, quantity] : scans) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", barcode);
    table.SetInteger("Aantal", quantity);
    table.Post();
  }
  return table;
}

}  // namespace kessmar::testing
