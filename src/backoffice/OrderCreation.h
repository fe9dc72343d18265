// Order creation: the status window's work on the back-office database during one batch
// transfer. It owns the data module (connection objects and tables) and the price module, and
// turns resolved articles into lines of the back office's open order.
//
// A batch lands whole or not at all: BeginBatch starts one transaction for all its lines,
// CommitBatch ends it, and a batch that is not committed leaves nothing behind (the server rolls
// back). The transaction is repeatable-read and first locks the order headers (BEST) against
// other writers, so two tools transferring at once take turns: the second waits for the first
// and then sees its order, its totals and its counter. Every read of the batch comes from that
// one snapshot, which is what lets work whose outcome cannot change within it be done once per
// batch (the debtor, the currency rates, the open order once it is settled, the order total).
//
// Not thread-safe; one batch at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/TPrices.h"
#include "backoffice/TunDB.h"
#include "dbclient/Currency.h"
#include "dbclient/Session.h"

namespace kessmar {

// A line as it was posted to BERG.
struct OrderLine {
  int64_t order = 0;        // BEST_nummer
  int64_t bergNummer = 0;   // the line's key, assigned by the table
  int64_t article = 0;      // ARTK_nummer; kUnknownArticle when the code was not in artk
  std::string articleCode;  // ARTK_fullcod as stored (1.23.45.67-8 for an 8-character code)
  std::string description;  // BERG_Omschrijving
  int32_t quantity = 0;
  dbclient::Currency unitPrice;
  dbclient::Currency total;
};

// "." after the 1st, 3rd and 5th and "-" after the 7th character of an 8-character code
// (12345678 becomes 1.23.45.67-8); any other code unchanged.
std::string FormatArticleCode(std::string_view code);

// Selects table's index by its ";"-separated field list (by that text as index name when no
// index has exactly those fields), and applies the range from (firstField = firstStart,
// secondField = secondStart) to (firstField = firstEnd, secondField = secondEnd). Throws
// dbclient::DatabaseError.
void SetRange2(dbclient::Table& table, std::string_view indexFieldList,
               const std::string& firstField, const std::string& secondField,
               const std::string& firstStart, const std::string& secondStart,
               const std::string& firstEnd, const std::string& secondEnd);

class OrderCreation {
 public:
  static constexpr int64_t kUnknownArticle = 999999999;
  static constexpr int64_t kFirstOrderNumber = 1000001;

  // Creates the data module (makeModule, std::make_unique<TunDB> when empty; ConnectToVemoServer
  // uses it for fresh ones too). priceClock: the clock of the price cache.
  explicit OrderCreation(TunDBFactory makeModule = {}, TPrices::Now priceClock = {});
  OrderCreation(const OrderCreation&) = delete;
  OrderCreation& operator=(const OrderCreation&) = delete;
  // Rolls back an unfinished batch, then destroys the price module and the data module.
  ~OrderCreation();

  TunDB& Db() { return *db_; }
  // The price module; nullptr until the first line of a batch created it.
  TPrices* Prices() { return prices_.get(); }

  // Points the data module at vemoServer (see ConnectToVemoServer.h). Before BeginBatch only.
  // Throws nothing.
  void ConnectToVemoServer(const std::string& vemoServer);

  // Starts the batch: connects (through the locator's search when no address is configured),
  // starts the repeatable-read transaction and locks the order headers. Throws
  // dbclient::DatabaseError (no server, a lock held longer than the time-out allows, ...) and
  // std::logic_error when a batch runs already.
  void BeginBatch();

  // Adds a line for articleCode (UTF-8, as in artk) with quantity and the batch id to the open
  // order, creating the order when none is open; returns the order number, or -1 when no line
  // was added (the order tables could not be opened, or the header, the price data or the line
  // could not be written: LineFailure() says why). Other failures throw: dbclient::DatabaseError
  // for the tables, PriceError for the price calculation, std::overflow_error for a total
  // beyond the range of currency. std::logic_error outside a batch.
  int64_t AddOrderLine(std::string_view articleCode, int32_t quantity, std::string_view batchId);

  // Writes what remains of the order total and commits the batch. When the commit's answer is
  // lost with the connection, a fresh connection looks for the batch's last line: found, the
  // batch counts as committed. Throws dbclient::DatabaseError when the batch was not committed
  // (or that cannot be known), std::logic_error outside a batch. The batch has ended either way.
  void CommitBatch();
  // Ends the batch without committing; the server rolls back everything it wrote. Never throws.
  void AbortBatch() noexcept;
  bool InBatch() const { return batch_.has_value(); }

  // The server address AddOrderLine copied from the locator (its ServerName, at most 63
  // characters): the address that worked. Empty until a line was added.
  const std::string& VemoServer() const { return vemoServer_; }
  int64_t DebtorNumber() const { return debtor_; }
  // The lines posted in this batch (also those of a batch that then failed).
  const std::vector<OrderLine>& Lines() const { return lines_; }
  // Why the latest AddOrderLine returned -1; with the SQLSTATE of its cause, if any.
  const std::string& LineFailure() const { return lineFailure_; }
  const std::string& LineFailureState() const { return lineFailureState_; }

  // --- the steps of AddOrderLine ---
  // The debtor number: relation 2's RLTI_debtnummer, 0 when there is none or on any error. A
  // debtor other than the previous one discards the price module.
  void LoadDebtorNumber();
  // The counter's next value (1000001 after 0 or none), written back; the counter record is
  // created when missing. Throws dbclient::DatabaseError.
  int64_t NextCounterValue(const std::string& name);
  // Adds newAmount - oldAmount to ORDR_totaal of table's current record (an order header) and
  // marks it as having lines (BEST_verstuurd 2), when the active range holds a record; resets it
  // (1, total 0) otherwise. Throws dbclient::DatabaseError, std::overflow_error.
  void UpdateOrderTotal(dbclient::Table& table, dbclient::Currency oldAmount,
                        dbclient::Currency newAmount);
  // Whether the batch's last line is in the database as a fresh connection sees it (false
  // without lines, and when that cannot be read). Reconnects; never throws.
  bool LastLineCommitted() noexcept;

 private:
  int64_t Failed(const std::string& what, const std::exception& cause);
  int64_t FindOpenOrder(bool& unsentFound);
  int64_t CreateOrderHeader();
  bool FindArticle(std::string_view code);
  void ResetBatchState();

  TunDBFactory makeModule_;
  TPrices::Now priceClock_;
  // Destroyed in reverse: the batch's transaction first, then the price module, then the data
  // module.
  std::unique_ptr<TunDB> db_;
  std::unique_ptr<TPrices> prices_;
  std::optional<dbclient::Transaction> batch_;

  std::string vemoServer_;
  int64_t debtor_ = 0;
  int64_t previousDebtor_ = 0;
  bool debtorRead_ = false;
  // The open order once no unsent order (BEST_verstuurd 1) is left: from then on, within the
  // batch, every search would find this same order, so it is searched no more and its total is
  // added up and written once, at the end.
  std::optional<int64_t> settledOrder_;
  dbclient::Currency pendingTotal_;
  int pendingLines_ = 0;
  std::vector<OrderLine> lines_;
  std::string lineFailure_;
  std::string lineFailureState_;
};

}  // namespace kessmar
