#include "backoffice/ScanLookup.h"

#include <set>

#include "backoffice/TPrices.h"
#include "common/CodePage.h"

namespace kessmar {
namespace {

using dbclient::Table;

void SelectIndex(Table& table, const char* name) {
  if (table.IndexName() != name) table.SetIndexName(name);
}

// A text parameter ends at a zero byte; such a barcode would be looked up cut short.
bool Searchable(const std::string& scanned) {
  return scanned.find('\0') == std::string::npos;
}

// A text array literal for a parameter ($1::text[]).
std::string TextArray(const std::vector<std::string>& values) {
  std::string array = "{";
  for (const std::string& value : values) {
    if (array.size() > 1) array += ',';
    array += '"';
    for (const char c : value) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
  }
  return array + "}";
}

}  // namespace

ResolvedScan LookUpScan(TunDB& db, const std::string& scanned, int32_t scannedQuantity) {
  Table& arvp = db.tblARVP;
  Table& artk = db.tblARTK;
  arvp.Open();
  artk.Open();
  ResolvedScan resolved{"", scannedQuantity};
  if (!Searchable(scanned)) return resolved;
  const std::string barcode = Cp1252ToUtf8(scanned);
  if (arvp.FindKey(barcode)) {
    resolved.quantity = arvp.FieldByName("ARVP_aantal").AsInteger() * int64_t{scannedQuantity};
    SelectIndex(artk, "ARTK_nummer");
    if (artk.FindKey(arvp.FieldByName("ARTK_nummer").AsString())) {
      resolved.code = artk.FieldByName("ARTK_fullcod").AsString();
    }
  }
  if (resolved.code.empty() && scanned.size() == 8) {
    SelectIndex(artk, "ARTK_fullcod");
    if (artk.FindKey(barcode)) resolved.code = artk.FieldByName("ARTK_fullcod").AsString();
  }
  if (resolved.code.empty() && scanned.size() == 11) {
    SelectIndex(artk, "ARTK_fullcod");
    if (artk.FindKey(Cp1252ToUtf8(scanned.substr(0, 8)))) {
      resolved.code = artk.FieldByName("ARTK_fullcod").AsString();
    }
  }
  return resolved;
}

void PlanScanReads(TunDB& db, const std::vector<std::string>& scanned,
                   std::vector<dbclient::PendingRead>& reads) {
  Table& arvp = db.tblARVP;
  Table& artk = db.tblARTK;
  arvp.Open();
  artk.Open();
  // What LookUpScan asks: the package barcodes ($1), the codes of 8 characters and the first 8
  // of 11 ($2); texts with a zero byte are left to it.
  std::vector<std::string> barcodes;
  std::vector<std::string> codes;
  for (const std::string& scan : scanned) {
    if (!Searchable(scan)) continue;
    barcodes.push_back(Cp1252ToUtf8(scan));
    if (scan.size() == 8) codes.push_back(Cp1252ToUtf8(scan));
    if (scan.size() == 11) codes.push_back(Cp1252ToUtf8(scan.substr(0, 8)));
  }
  const std::string b = TextArray(barcodes);
  const std::string c = TextArray(codes);
  // The numbers of the packages' articles; the codes a look-up or a line can ask for (those of
  // the packages' articles too); the numbers of the articles of those codes, whose prices a line
  // can ask for.
  const std::string numbers = "SELECT p." + arvp.SqlField("ARTK_nummer") + " FROM " +
                              arvp.SqlName() + " AS p WHERE p." + arvp.SqlField("ARVP_BARCODE") +
                              " = ANY($1::text[])";
  const std::string codeSql =
      "SELECT unnest($2::text[]) UNION SELECT k." + artk.SqlField("ARTK_fullcod") + "::text FROM " +
      artk.SqlName() + " AS k WHERE k." + artk.SqlField("ARTK_nummer") + " IN (" + numbers + ")";
  const std::string articles = "SELECT k2." + artk.SqlField("ARTK_nummer") + " FROM " +
                               artk.SqlName() + " AS k2 WHERE k2." + artk.SqlField("ARTK_fullcod") +
                               " IN (" + codeSql + ")";
  std::vector<dbclient::PendingRead> planned;
  planned.push_back(arvp.PrefetchFrom("SELECT unnest($1::text[])", {b}));
  SelectIndex(artk, "ARTK_nummer");
  planned.push_back(artk.PrefetchFrom(numbers, {b}));
  SelectIndex(artk, "ARTK_fullcod");
  planned.push_back(artk.PrefetchFrom(codeSql, {b, c}));
  TPrices::PlanPriceReads(db, articles, {b, c}, planned);
  for (dbclient::PendingRead& read : planned) reads.push_back(std::move(read));
}

std::vector<int64_t> PrefetchScans(TunDB& db, const std::vector<std::string>& scanned) {
  Table& arvp = db.tblARVP;
  Table& artk = db.tblARTK;
  arvp.Open();
  artk.Open();
  std::vector<std::string> barcodes;
  for (const std::string& scan : scanned) {
    if (Searchable(scan)) barcodes.push_back(Cp1252ToUtf8(scan));
  }
  arvp.Prefetch(barcodes);

  std::vector<std::string> numbers;
  for (const std::string& barcode : barcodes) {
    if (arvp.FindKey(barcode)) numbers.push_back(arvp.FieldByName("ARTK_nummer").AsString());
  }
  SelectIndex(artk, "ARTK_nummer");
  artk.Prefetch(numbers);

  // The codes a look-up can ask for, and the codes of the packages' articles, which the order
  // lines look up again by code.
  std::vector<std::string> codes;
  for (const std::string& number : numbers) {
    if (artk.FindKey(number)) codes.push_back(artk.FieldByName("ARTK_fullcod").AsString());
  }
  for (const std::string& scan : scanned) {
    if (!Searchable(scan)) continue;
    if (scan.size() == 8) codes.push_back(Cp1252ToUtf8(scan));
    if (scan.size() == 11) codes.push_back(Cp1252ToUtf8(scan.substr(0, 8)));
  }
  SelectIndex(artk, "ARTK_fullcod");
  artk.Prefetch(codes);

  std::vector<int64_t> articles;
  std::set<int64_t> seen;
  for (const std::string& scan : scanned) {
    const ResolvedScan resolved = LookUpScan(db, scan, 1);
    if (resolved.code.empty()) continue;
    SelectIndex(artk, "ARTK_fullcod");
    if (!artk.FindKey(resolved.code)) continue;
    const int64_t article = artk.FieldByName("ARTK_nummer").AsInteger();
    if (seen.insert(article).second) articles.push_back(article);
  }
  return articles;
}

}  // namespace kessmar
