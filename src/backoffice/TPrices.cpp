#include "backoffice/TPrices.h"

#include <algorithm>
#include <functional>
#include <initializer_list>

#include "backoffice/CodePattern.h"

namespace kessmar {
namespace {

using dbclient::Currency;
using dbclient::Table;

constexpr const char* kArticleIndex = "ARTK_nummer";

void SelectIndex(Table& table, const char* name) {
  if (table.IndexName() != name) table.SetIndexName(name);
}

// A decimal field; null reads as 0.
ExactDecimal DecimalField(Table& table, const char* name) {
  const std::string text = table.FieldByName(name).AsString();
  return text.empty() ? ExactDecimal{} : ExactDecimal::FromText(text);
}

void ReadRule(Table& table, const std::string& prefix, TKortRule& rule) {
  rule.HoofdGroep = table.FieldByName("HoofdGroep").AsString();
  rule.Klasse = table.FieldByName("Klasse").AsString();
  rule.Merk = table.FieldByName("Merk").AsString();
  rule.Soort = table.FieldByName("Soort").AsString();
  rule.Type = table.FieldByName("Type").AsString();
  rule.Aantal = table.FieldByName(prefix + "_Aantal").AsInteger();
  rule.PrijsGroep = table.FieldByName(prefix + "_PrijsGroep").AsInteger();
  rule.Korting = DecimalField(table, (prefix + "_Korting").c_str());
  rule.Datum = table.FieldByName(prefix + "_Datum").AsDateTime();
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Whether percent lies within 0 to 100: outside, a rule would raise a price or make it negative.
bool IsPercent(const ExactDecimal& percent) {
  if (percent.digits < 0) return false;
  if (percent.digits == 0 || percent.exponent <= -40) return true;
  __int128 value = percent.digits;
  for (int e = percent.exponent; e > 0; --e) {
    value *= 10;
    if (value > 100) return false;
  }
  __int128 limit = 100;
  for (int e = percent.exponent; e < 0; ++e) limit *= 10;
  return value <= limit;
}

// A field read as text for a message; "?" when the record lacks it.
std::string TextOf(Table& table, const char* name) {
  try {
    return table.FieldByName(name).AsString();
  } catch (const dbclient::DatabaseError&) {
    return "?";
  }
}

}  // namespace

TPrices::TPrices(TunDB& db, Now now)
    : db_(db), now_(now ? std::move(now) : Now([] { return Clock::now(); })) {
  for (Table* table : {&db_.tblARPZ, &db_.tblDEBT, &db_.tblKOGP, &db_.tblKODB, &db_.tblONDR,
                       &db_.tblCONS, &db_.tblVALU}) {
    table->Open();
  }
  SelectIndex(db_.tblVALU, "VALU_code");
}

TPrices::~TPrices() {
  ClearPriceData();
  for (Table* table : {&db_.tblARPZ, &db_.tblDEBT, &db_.tblKOGP, &db_.tblKODB, &db_.tblONDR,
                       &db_.tblCONS, &db_.tblVALU}) {
    table->Close();
  }
}

void TPrices::ClearPriceData() {
  debtorRules_.clear();
  groupRules_.clear();
  cache_.clear();
  priceGroupPair_.clear();
}

void TPrices::LoadDebtor(int64_t debtorNumber) {
  ClearPriceData();
  debtorNumber_ = 0;
  loaded_ = false;
  try {
    LoadRules(debtorNumber);
  } catch (const std::exception& e) {
    ClearPriceData();
    debtorNumber_ = 0;
    throw PriceError(std::string("Unable to load price data : ") + e.what());
  }
  loaded_ = true;
  db_.tblDEBT.Close();
  db_.tblKODB.Close();
  db_.tblKOGP.Close();
}

namespace {

void SelectRuleIndexes(TunDB& db) {
  Table& debt = db.tblDEBT;
  Table& kodb = db.tblKODB;
  Table& kogp = db.tblKOGP;
  for (Table* table : {&debt, &kodb, &kogp}) table->Open();
  SelectIndex(debt, "DEBT_debtnr");
  if (kodb.IndexFieldNames() != "KODB_debtnr;KODB_volgnr") {
    try {
      kodb.SetIndexFieldNames("KODB_debtnr;KODB_volgnr");
    } catch (const dbclient::DatabaseError& e) {
      if (e.SqlState() != dbclient::sqlstate::kUndefinedObject) throw;
      kodb.SetIndexName("KODB_debtnr;KODB_volgnr");
    }
  }
  SelectIndex(kogp, "KOGP_prijsgroepen");
}

}  // namespace

void TPrices::PlanDebtorReads(TunDB& db, const std::string& debtorSql,
                              std::vector<dbclient::PendingRead>& reads) {
  Table& debt = db.tblDEBT;
  Table& kodb = db.tblKODB;
  Table& kogp = db.tblKOGP;
  try {
    SelectRuleIndexes(db);
  } catch (const dbclient::DatabaseError&) {
    return;
  }
  // Each as LoadRules asks it: the debtor, the range of his rules, the range of his pair.
  for (const auto& plan : std::initializer_list<std::function<void()>>{
           [&] { reads.push_back(debt.PrefetchFrom(debtorSql, {})); },
           [&] {
             reads.push_back(kodb.PrefetchRangesFrom(debtorSql, {}, {"0"}, {"30000"}, false));
           },
           [&] {
             const std::string pair = "SELECT coalesce(d." + debt.SqlField("Debt_prijs1") +
                                      "::text, '') || coalesce(d." + debt.SqlField("Debt_prijs2") +
                                      "::text, '') FROM " + debt.SqlName() + " AS d WHERE d." +
                                      debt.SqlField("DEBT_debtnr") + " = (" + debtorSql + ")";
             reads.push_back(kogp.PrefetchRangesFrom(pair, {}, {}, {}, false));
           }}) {
    try {
      plan();
    } catch (const dbclient::DatabaseError&) {
      // Left to LoadRules.
    }
  }
}

void TPrices::PlanPriceReads(TunDB& db, const std::string& articlesSql,
                             const dbclient::Params& params,
                             std::vector<dbclient::PendingRead>& reads) {
  Table& arpz = db.tblARPZ;
  Table& valu = db.tblVALU;
  try {
    arpz.Open();
    SelectIndex(arpz, kArticleIndex);
    reads.push_back(arpz.PrefetchFrom(articlesSql, params));
    valu.Open();
    SelectIndex(valu, "VALU_code");
    // The currency codes as GetPrice reads them (null is "").
    reads.push_back(valu.PrefetchFrom(
        "SELECT coalesce(z." + arpz.SqlField("VALU_code") + "::text, '') FROM " + arpz.SqlName() +
            " AS z WHERE z." + arpz.SqlField("ARTK_nummer") + " IN (" + articlesSql + ")",
        params));
  } catch (const dbclient::DatabaseError&) {
    // GetPrice asks the server.
  }
}

void TPrices::LoadRules(int64_t debtorNumber) {
  Table& debt = db_.tblDEBT;
  Table& kodb = db_.tblKODB;
  Table& kogp = db_.tblKOGP;
  SelectRuleIndexes(db_);

  if (!debt.FindKey(debtorNumber)) return;
  debtorNumber_ = debtorNumber;
  priceGroupPair_ =
      debt.FieldByName("Debt_prijs1").AsString() + debt.FieldByName("Debt_prijs2").AsString();

  const std::string debtor = std::to_string(debtorNumber);
  kodb.SetRangeStart({{"KODB_debtnr", debtor}, {"KODB_volgnr", "0"}});
  kodb.SetRangeEnd({{"KODB_debtnr", debtor}, {"KODB_volgnr", "30000"}});
  kodb.ApplyRange();
  for (kodb.First(); !kodb.Eof(); kodb.Next()) {
    TKortDebt rule;
    rule.Key = debtorNumber;
    ReadRule(kodb, "KODB", rule);
    rule.Origin = "KODB, debiteur " + debtor + ", volgnummer " + TextOf(kodb, "KODB_volgnr");
    debtorRules_.push_back(std::move(rule));
  }

  // The rules of the pair, in index order: a range on the pair holds exactly the records a walk
  // over the whole table would keep.
  kogp.SetRangeStart({{"kogp_prijsgroepen", priceGroupPair_}});
  kogp.SetRangeEnd({{"kogp_prijsgroepen", priceGroupPair_}});
  kogp.ApplyRange();
  for (kogp.First(); !kogp.Eof(); kogp.Next()) {
    TKortGroep rule;
    rule.Key = kogp.FieldByName("kogp_prijsgroepen").AsString();
    if (rule.Key != priceGroupPair_) continue;
    ReadRule(kogp, "KOGP", rule);
    rule.Origin =
        "KOGP, prijsgroepen " + rule.Key + ", regel " + std::to_string(groupRules_.size() + 1);
    groupRules_.push_back(std::move(rule));
  }
}

void TPrices::Prefetch(const std::vector<int64_t>& articles) {
  Table& arpz = db_.tblARPZ;
  Table& valu = db_.tblVALU;
  arpz.Open();
  valu.Open();
  SelectIndex(arpz, kArticleIndex);
  std::vector<std::string> numbers;
  numbers.reserve(articles.size());
  for (const int64_t article : articles) numbers.push_back(std::to_string(article));
  arpz.Prefetch(numbers);
  std::vector<std::string> currencies;
  const std::vector<std::string> fields = arpz.FieldNames();
  if (std::any_of(fields.begin(), fields.end(),
                  [](const std::string& name) { return dbclient::SameName(name, "VALU_code"); })) {
    for (const std::string& number : numbers) {
      if (!arpz.FindKey(number)) continue;
      std::string code = arpz.FieldByName("VALU_code").AsString();
      if (std::find(currencies.begin(), currencies.end(), code) == currencies.end()) {
        currencies.push_back(std::move(code));
      }
    }
  }
  SelectIndex(valu, "VALU_code");
  valu.Prefetch(currencies);
}

bool TPrices::FindArticle(int64_t article) {
  SelectIndex(db_.tblARPZ, kArticleIndex);
  return db_.tblARPZ.FindKey(article);
}

Currency TPrices::PriceColumn(int64_t article, int column) {
  if (!loaded_) return Currency();
  try {
    Table& arpz = db_.tblARPZ;
    if (arpz.FieldByName("ARTK_nummer").AsInteger() != article) {
      if (!FindArticle(article)) return Currency();
    }
    if (column == 0) column = 6;
    if (column < 1 || column > 7) return Currency();
    return CurrencyFromDecimalText(
        arpz.FieldByName("ARPZ_prijs" + std::to_string(column)).AsString());
  } catch (const dbclient::DatabaseError& e) {
    // A field the record lacks prices at 0; what the server refused has ended the batch's
    // transaction and must surface.
    if (e.SqlState() != dbclient::sqlstate::kUndefinedColumn) throw;
    return Currency();
  } catch (const std::exception&) {
    return Currency();
  }
}

bool TPrices::RuleMatchesArticle(const TKortRule& rule) const {
  if (!loaded_) return false;
  const auto parts = ArticleCodeParts(articleCode_);
  return MatchCodePart(parts[0], rule.HoofdGroep) && MatchCodePart(parts[1], rule.Klasse) &&
         MatchCodePart(parts[2], rule.Merk) && MatchCodePart(parts[3], rule.Soort) &&
         MatchCodePart(parts[4], rule.Type);
}

Currency TPrices::RulePrice(const TKortRule& rule, int64_t article, int64_t quantity,
                            Currency best) {
  if (!RuleMatchesArticle(rule) || rule.Aantal > quantity) return best;
  if (!IsPercent(rule.Korting)) {
    throw PriceError("de korting van regel " + rule.Origin + " ligt niet tussen 0 en 100 %");
  }
  Currency candidate;
  try {
    candidate =
        DiscountedPrice(PriceColumn(article, static_cast<int>(rule.PrijsGroep)), rule.Korting);
  } catch (const std::exception& e) {
    throw PriceError("the discount of a rule cannot be applied to article " +
                     std::to_string(article) + ": " + e.what());
  }
  if (best == Currency() || (candidate != Currency() && candidate < best)) return candidate;
  return best;
}

Currency TPrices::GroupDiscountPrice(const std::string& pair, int64_t article, int64_t quantity) {
  Currency best;
  for (const auto& rule : groupRules_) {
    if (rule.Key == pair) best = RulePrice(rule, article, quantity, best);
  }
  return best;
}

Currency TPrices::DebtorDiscountPrice(int64_t article, int64_t quantity) {
  Currency best;
  for (const auto& rule : debtorRules_) {
    if (rule.Key == debtorNumber_) best = RulePrice(rule, article, quantity, best);
  }
  return best;
}

const std::optional<std::pair<ExactDecimal, ExactDecimal>>& TPrices::Rate(const std::string& code) {
  if (auto known = rates_.find(code); known != rates_.end()) return known->second;
  std::optional<std::pair<ExactDecimal, ExactDecimal>> rate;
  if (db_.tblVALU.FindKey(code)) {
    try {
      rate.emplace(DecimalField(db_.tblVALU, "valu_waarde"),
                   DecimalField(db_.tblVALU, "valu_eenheid"));
    } catch (const std::logic_error& e) {
      throw PriceError("the rate of currency " + code + " cannot be read: " + e.what());
    }
  }
  return rates_.emplace(code, std::move(rate)).first->second;
}

Currency TPrices::Convert(Currency price, const std::pair<ExactDecimal, ExactDecimal>& rate,
                          const std::string& code) const {
  try {
    return ScaleCurrency(price, rate.first, rate.second);
  } catch (const std::exception& e) {
    throw PriceError("a price cannot be converted by the rate of currency " + code + ": " +
                     e.what());
  }
}

Currency TPrices::GetPrice(int64_t article, int64_t quantity) {
  db_.tblVALU.Open();
  SelectIndex(db_.tblVALU, "VALU_code");
  const auto now = now_();
  for (size_t i = cache_.size(); i-- > 0;) {
    TPriceCacheRecord& entry = cache_[i];
    if (now - entry.Stamp >= kCacheLifetime) {
      cache_.erase(cache_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    if (entry.Article == article && entry.Quantity == quantity) {
      entry.Stamp = now;
      return entry.Price;
    }
  }
  if (!loaded_) return Currency();

  Table& arpz = db_.tblARPZ;
  if (!arpz.IsOpen()) {
    try {
      arpz.Open();
    } catch (const std::exception&) {
      return Currency();
    }
  }
  if (!FindArticle(article)) return Currency();
  articleCode_ = arpz.FieldByName("ARTK_fullcod").AsString();
  const std::string currency = arpz.FieldByName("VALU_code").AsString();

  if (debtorNumber_ == 0) {
    Currency price = PriceColumn(article, 0);
    if (const auto& rate = Rate(currency)) price = Convert(price, *rate, currency);
    return price;
  }

  if (priceGroupPair_.size() != 2 || !IsDigit(priceGroupPair_[0]) || !IsDigit(priceGroupPair_[1])) {
    throw PriceError("the price groups \"" + priceGroupPair_ + "\" of debtor " +
                     std::to_string(debtorNumber_) + " are not two digits");
  }
  const int a = priceGroupPair_[0] - '0';
  const int b = priceGroupPair_[1] - '0';
  const std::string pair = std::to_string(a) + std::to_string(b);
  Currency base;
  if ((pair == "12" || pair == "23") &&
      arpz.FieldByName("ARTK_prijsgrwissel").AsInteger() <= quantity) {
    base = PriceColumn(article, std::max(a, b));
  }
  if (base == Currency()) base = PriceColumn(article, std::min(a, b));
  Currency best = base;
  for (const Currency discounted :
       {GroupDiscountPrice(pair, article, quantity), DebtorDiscountPrice(article, quantity)}) {
    if (best == Currency() || (discounted != Currency() && discounted < best)) best = discounted;
  }
  Currency result;
  if (const auto& rate = Rate(currency)) result = Convert(best, *rate, currency);
  cache_.push_back({article, quantity, result, now_()});
  return result;
}

}  // namespace kessmar
