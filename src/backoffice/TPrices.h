// TPrices: the price module of a batch transfer. It computes the net unit price of an article
// for one debtor and one quantity as the back office prices it: a base price from one of the
// article's seven price columns (ARPZ), lowered by the cheapest applicable discount rule of the
// debtor's price-group pair (KOGP) or of the debtor himself (KODB), and converted by the
// article's currency (VALU).
//
// Money stays exact throughout: prices are read from the tables' decimal text, discount percents
// and currency rates as exact decimals (ExactDecimal.h), and each computed price is rounded once
// to 1/10000, halves to even.
//
// A module belongs to one status window, that is to one batch, whose reads all come from one
// snapshot of the back office; so the currency rates it has read once serve the whole batch.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "backoffice/ExactDecimal.h"
#include "backoffice/TunDB.h"
#include "dbclient/Currency.h"
#include "dbclient/DateTime.h"

namespace kessmar {

// A failure of the price calculation that ends the transfer of the batch (LoadDebtor's, and
// GetPrice's for a price group that is not a digit or a currency rate that cannot be used).
class PriceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// What a discount rule holds besides its key.
struct TKortRule {
  std::string HoofdGroep;  // patterns for the five parts of the article code
  std::string Klasse;
  std::string Merk;
  std::string Soort;
  std::string Type;
  int64_t Aantal = 0;        // minimum quantity
  int64_t PrijsGroep = 0;    // price column the discount applies to
  ExactDecimal Korting;      // discount percent
  dbclient::DateTime Datum;  // kept, not used
  std::string Origin;        // which record it is, for messages: "KODB 1001/2"
};

// A rule of one debtor (KODB); key: the debtor number.
struct TKortDebt : TKortRule {
  int64_t Key = 0;
};

// A rule of a price-group pair (KOGP); key: the pair ("12").
struct TKortGroep : TKortRule {
  std::string Key;
};

struct TPriceCacheRecord {
  int64_t Article = 0;
  int64_t Quantity = 0;
  dbclient::Currency Price;
  std::chrono::steady_clock::time_point Stamp;
};

class TPrices {
 public:
  using Clock = std::chrono::steady_clock;
  using Now = std::function<Clock::time_point()>;
  static constexpr std::chrono::seconds kCacheLifetime{5};

  // Opens ARPZ, DEBT, KOGP, KODB, ONAD, CONS and VALU of db and selects VALU's index
  // "VALU_code". db must outlive the module. now: the clock of the price cache (default
  // Clock::now). Throws dbclient::DatabaseError when a table cannot be opened.
  explicit TPrices(TunDB& db, Now now = {});
  TPrices(const TPrices&) = delete;
  TPrices& operator=(const TPrices&) = delete;
  // Clears its data and closes the seven tables.
  ~TPrices();

  // Loads the debtor's price groups and rules: the debtor from DEBT, his rules from KODB (in
  // index order), the rules of his price-group pair from KOGP. A debtor not in DEBT leaves the
  // module loaded without a debtor (everything priced from column 6). Throws PriceError "Unable
  // to load price data : " followed by the failure's message when DEBT, KODB or KOGP cannot be
  // opened or read; the module is not loaded then.
  void LoadDebtor(int64_t debtorNumber);

  // The net unit price of article for quantity; 0 when the module is not loaded, the article
  // is not in ARPZ or ARPZ cannot be opened, and (with a debtor) when the article's currency is
  // not in VALU. With a debtor, prices are cached for kCacheLifetime per article and quantity.
  // Throws PriceError for a price group that is not a digit or a currency whose unit is 0, and
  // dbclient::DatabaseError when VALU cannot be opened or an ARPZ field is missing.
  dbclient::Currency GetPrice(int64_t article, int64_t quantity);

  // Reads at once (two requests) the ARPZ records of articles and the VALU records of their
  // currencies, within the session's running repeatable-read transaction, so that GetPrice
  // then finds them without asking the server. Throws dbclient::DatabaseError.
  void Prefetch(const std::vector<int64_t>& articles);

  // The reads of Prefetch and LoadDebtor, to run with the batch's start in one round trip:
  // PlanPriceReads for the articles articlesSql (with params) yields, PlanDebtorReads for the
  // debtor debtorSql yields (DEBT, his KODB rules, the KOGP rules of his pair). A module then
  // finds what they read. Reads that cannot be planned (a table or field missing) are left out.
  // Never throw dbclient::DatabaseError.
  static void PlanPriceReads(TunDB& db, const std::string& articlesSql,
                             const dbclient::Params& params,
                             std::vector<dbclient::PendingRead>& reads);
  static void PlanDebtorReads(TunDB& db, const std::string& debtorSql,
                              std::vector<dbclient::PendingRead>& reads);

  // Empties the rule lists and the cache and clears the price-group pair.
  void ClearPriceData();

  bool Loaded() const { return loaded_; }
  int64_t DebtorNumber() const { return debtorNumber_; }
  const std::string& PriceGroupPair() const { return priceGroupPair_; }
  const std::vector<TKortDebt>& DebtorRules() const { return debtorRules_; }
  const std::vector<TKortGroep>& GroupRules() const { return groupRules_; }
  const std::vector<TPriceCacheRecord>& Cache() const { return cache_; }

  // --- the steps of GetPrice ---
  // Column 1 to 7 of the article's ARPZ record (0 means 6), exact; 0 for any other column,
  // when not loaded, and on any error.
  dbclient::Currency PriceColumn(int64_t article, int column);
  // Whether every part of the current article code matches the rule's pattern for it (false
  // when not loaded, and for codes shorter than 8 characters).
  bool RuleMatchesArticle(const TKortRule& rule) const;
  // The lowest non-zero price the pair's (or the debtor's) rules give for article and quantity:
  // each applicable rule's price column lowered by its discount; 0 when none gives one.
  dbclient::Currency GroupDiscountPrice(const std::string& pair, int64_t article, int64_t quantity);
  dbclient::Currency DebtorDiscountPrice(int64_t article, int64_t quantity);

 private:
  // The rate of a currency (valu_waarde, valu_eenheid); nullopt when VALU does not hold it.
  // Read once per module.
  const std::optional<std::pair<ExactDecimal, ExactDecimal>>& Rate(const std::string& code);
  dbclient::Currency Convert(dbclient::Currency price,
                             const std::pair<ExactDecimal, ExactDecimal>& rate,
                             const std::string& code) const;
  dbclient::Currency RulePrice(const TKortRule& rule, int64_t article, int64_t quantity,
                               dbclient::Currency best);
  bool FindArticle(int64_t article);
  void LoadRules(int64_t debtorNumber);

  TunDB& db_;
  Now now_;
  bool loaded_ = false;
  int64_t debtorNumber_ = 0;
  std::string priceGroupPair_;
  std::vector<TKortDebt> debtorRules_;
  std::vector<TKortGroep> groupRules_;
  std::vector<TPriceCacheRecord> cache_;
  std::string articleCode_;  // ARTK_fullcod of the ARPZ record being priced
  std::map<std::string, std::optional<std::pair<ExactDecimal, ExactDecimal>>> rates_;
};

}  // namespace kessmar
