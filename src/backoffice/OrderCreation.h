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

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/TPrices.h"
#include "backoffice/TunDB.h"
#include "dbclient/Currency.h"
#include "dbclient/Session.h"
#include "dbclient/Table.h"

namespace kessmar {

// A line as it was posted to BERG.
struct OrderLine {
  int64_t order = 0;  // BEST_nummer
  // The line's key, assigned by the table; 0 when the answer to the batch's commit was lost
  // (and the batch was found to have landed all the same).
  int64_t bergNummer = 0;
  int64_t article = 0;      // ARTK_nummer; kUnknownArticle when the code was not in artk
  std::string articleCode;  // ARTK_fullcod as stored (1.23.45.67-8 for an 8-character code)
  std::string description;  // BERG_Omschrijving
  int32_t quantity = 0;
  dbclient::Currency unitPrice;
  dbclient::Currency total;
};

// Relation 2's debtor number is neither empty nor a number: the batch cannot be priced.
class DebtorNumberError : public std::runtime_error {
 public:
  explicit DebtorNumberError(std::string value)
      : std::runtime_error("the debtor number \"" + value +
                           "\" of relation 2 (RLTI) is not a number"),
        value_(std::move(value)) {}
  const std::string& Value() const { return value_; }

 private:
  std::string value_;
};

// The answer to a batch's commit was lost, and whether the server committed it could not be
// learned: the server process that held it did not end in time, or the server could not be
// asked. The record of handed-on batches decides at the next attempt.
class CommitUnknown : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Why AddOrderLine returned -1.
enum class LineFailure { kNone, kTables, kHeader, kPriceData, kLine };

// "." after the 1st, 3rd and 5th and "-" after the 7th character of a code of 8 characters
// (12345678 becomes 1.23.45.67-8); any other code unchanged. Characters, not bytes: UTF-8.
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
  // How long a server process whose commit answer was lost may take to end once told to.
  static constexpr std::chrono::milliseconds kProcessEndBound{5000};
  // Whether the batch just committed is in the database, asked on a fresh connection of the
  // session (outside any transaction). Throws what the session throws.
  using LandedCheck = std::function<bool(dbclient::Session&)>;

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
  void ConnectToVemoServer(const std::string& vemoServer,
                           ServerChoice choice = ServerChoice::kFallBack);
  // Why the remembered server failed when ConnectToVemoServer fell back from it; "" otherwise.
  const std::string& RememberedServerFailure() const { return rememberedFailure_; }

  // Reads a caller wants in the round trip that starts the batch (see BeginBatch).
  using ReadPlan = std::function<void(std::vector<dbclient::PendingRead>&)>;

  // Starts the batch: connects (through the locator's search when no address is configured),
  // reads the catalog, then starts the repeatable-read transaction and locks the order headers.
  // In the same round trip as the lock run, after it and so within the batch's snapshot, the
  // reads plan adds (plan is called with the catalog read) and, with LineWrites::kAtOnce, those
  // of the batch's own steps: relation 2, the debtor and his rules, the open-order search, the
  // counter and the highest order number; each step then answers from them. Throws
  // dbclient::DatabaseError (no server, a lock held longer than the time-out allows, a read
  // refused, ...: the batch has not begun; *failedRead, when given, is set to the position of
  // the failed read among plan's when it was one of them, else left as it is) and
  // std::logic_error when a batch runs already.
  void BeginBatch(const ReadPlan& plan = {}, size_t* failedRead = nullptr);

  // Adds a line for articleCode (UTF-8, as in artk) with quantity and the batch id to the open
  // order, creating the order when none is open; returns the order number, or -1 when no line
  // was added (the order tables could not be opened, or the header, the price data or the line
  // could not be written: LineFailureText() says why). Other failures throw:
  // dbclient::DatabaseError for the tables, DebtorNumberError, PriceError for the price
  // calculation, std::overflow_error for a total beyond the range of currency.
  // std::logic_error outside a batch.
  int64_t AddOrderLine(std::string_view articleCode, int32_t quantity, std::string_view batchId);

  // How the lines of a batch are written. kEachLine: AddOrderLine posts its line (one round trip
  // per line). kAtOnce: AddOrderLine keeps the line and WriteQueuedLines writes every kept line
  // in one round trip; a line's bergNummer is 0 until then. Before BeginBatch; the default is
  // kEachLine.
  enum class LineWrites { kEachLine, kAtOnce };
  void SetLineWrites(LineWrites mode) { lineWrites_ = mode; }
  // The articles the batch will price (ARTK_nummer): the price module reads their prices and
  // currencies at once when the batch's first line creates or finds it. Within a batch.
  void PlanArticles(std::vector<int64_t> articles) { plannedArticles_ = std::move(articles); }
  // Writes the lines kept by AddOrderLine (kAtOnce), in order, and fills in their bergNummer.
  // Returns -1 when a line could not be written (LineFailureText() says why; *failedLine, when
  // given, is its position in Lines()), else the number of lines written. Throws
  // std::logic_error outside a batch.
  int64_t WriteQueuedLines(size_t* failedLine = nullptr);

  // Writes what remains of the order total (the last write of the batch's orders). Throws
  // dbclient::DatabaseError, std::logic_error outside a batch; a failure ends the batch.
  void FinishBatch();
  // Writes what remains of the order total (FinishBatch) and commits the batch. With
  // LineWrites::kAtOnce, the kept lines, the order total, then last, then the commit go in one
  // round trip; a refused statement rolls everything back: LineFailureKind() kLine and
  // FailedLine() for a line, *failedLast (when given) its position for one of last (last.size()
  // otherwise). When the commit's answer is lost with the connection, the server process that
  // held the batch is ended and awaited (at most kProcessEndBound) on a fresh connection, which
  // then asks landed (default: whether the batch's last line is there): yes, the batch counts
  // as committed (with kAtOnce give landed: the lines' keys are not known then). Throws
  // dbclient::DatabaseError when the batch was not committed,
  // CommitUnknown when that cannot be known, std::logic_error outside a batch. The batch has
  // ended either way.
  void CommitBatch(const LandedCheck& landed = {},
                   const std::vector<dbclient::Statement>& last = {}, size_t* failedLast = nullptr);
  // Ends the batch without committing; the server rolls back everything it wrote. Never throws.
  void AbortBatch() noexcept;
  bool InBatch() const { return batch_.has_value(); }

  // The server address AddOrderLine copied from the locator (its ServerName): the address that
  // worked. Empty until a line was added, and for an address longer than the 63 characters the
  // settings keep (cut, it would never work again).
  const std::string& VemoServer() const { return vemoServer_; }
  int64_t DebtorNumber() const { return debtor_; }
  // The lines posted in this batch (also those of a batch that then failed).
  const std::vector<OrderLine>& Lines() const { return lines_; }
  // Why the latest AddOrderLine returned -1: the step, the technical text, and the SQLSTATE of
  // its cause, if any.
  LineFailure LineFailureKind() const { return lineFailureKind_; }
  const std::string& LineFailureText() const { return lineFailure_; }
  const std::string& LineFailureState() const { return lineFailureState_; }
  // The position in Lines() of the line the server refused at CommitBatch.
  size_t FailedLine() const { return failedLine_; }

  // --- the steps of AddOrderLine ---
  // The debtor number: relation 2's RLTI_debtnummer with surrounding blanks trimmed; 0 when
  // there is no relation 2, it is empty, or the back office lacks the table. A debtor other than
  // the previous one discards the price module. Throws DebtorNumberError for a value that is no
  // number, dbclient::DatabaseError for anything the server refused.
  void LoadDebtorNumber();
  // The counter's next value (1000001 after 0 or none, and at least atLeast), written back; the
  // counter record is created when missing. Throws dbclient::DatabaseError.
  int64_t NextCounterValue(const std::string& name, int64_t atLeast = 0);
  // Adds newAmount - oldAmount to ORDR_totaal of table's current record (an order header) and
  // marks it as having lines (BEST_verstuurd 2), when the active range holds a record; resets it
  // (1, total 0) otherwise. Throws dbclient::DatabaseError, std::overflow_error.
  void UpdateOrderTotal(dbclient::Table& table, dbclient::Currency oldAmount,
                        dbclient::Currency newAmount);
  // Whether the batch's last line is in the database as a fresh connection sees it (false
  // without lines, and when that cannot be read). Reconnects; never throws.
  bool LastLineCommitted() noexcept;

 private:
  int64_t Failed(LineFailure kind, const std::string& what, const std::exception& cause);
  // The steps of AddOrderLine.
  bool OpenOrderTables();
  void RememberServer();
  int64_t OrderForLine(bool& addUpTotal);
  int64_t FindOpenOrder(bool& unsentFound);
  int64_t CreateOrderHeader();
  int64_t CreateOrderHeaderAtOnce(int64_t taken);
  // The fields of a new, unsent order header with this number.
  static void FillNewHeader(dbclient::Table& best, int64_t number);
  void PlanOrderReads(std::vector<dbclient::PendingRead>& reads);
  void CommitAtOnce(const LandedCheck& landed, const std::vector<dbclient::Statement>& last,
                    size_t* failedLast);
  void SetBergNumbers(size_t first,
                      const std::vector<std::vector<std::optional<std::string>>>& written);
  bool FindArticle(std::string_view code);
  bool EnsurePriceModule();
  void FillLine(OrderLine& line, bool found, std::string_view articleCode,
                std::string_view batchId);
  void AddToOrderTotal(const OrderLine& line, bool addUpTotal);
  // UpdateOrderTotal's effect on the header the cursor is on (order), in one round trip; false
  // (nothing done) when the cursor is not on it.
  // With deferred, the update is added there instead of sent.
  bool AddToCurrentHeader(int64_t order, dbclient::Currency amount,
                          std::vector<dbclient::Statement>* deferred = nullptr);
  // After a lost commit answer: returns when the batch landed, throws lost when it did not,
  // CommitUnknown when that cannot be known.
  void SettleLostCommit(const dbclient::DatabaseError& lost, int serverProcess,
                        const LandedCheck& landed);
  void ResetBatchState();

  TunDBFactory makeModule_;
  TPrices::Now priceClock_;
  // Destroyed in reverse: the batch's transaction first, then the price module, then the data
  // module.
  std::unique_ptr<TunDB> db_;
  std::unique_ptr<TPrices> prices_;
  std::optional<dbclient::Transaction> batch_;

  std::string vemoServer_;
  std::string rememberedFailure_;
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
  LineWrites lineWrites_ = LineWrites::kEachLine;
  size_t writtenLines_ = 0;  // lines_ before this position are in BERG
  std::vector<int64_t> plannedArticles_;
  bool pricesPrefetched_ = false;
  std::optional<int64_t> highestOrder_;  // read with the batch's start (kAtOnce)
  size_t failedLine_ = 0;
  LineFailure lineFailureKind_ = LineFailure::kNone;
  std::string lineFailure_;
  std::string lineFailureState_;
};

}  // namespace kessmar
