#include "backoffice/OrderCreation.h"

#include <algorithm>
#include <charconv>
#include <random>
#include <stdexcept>

#include "backoffice/CodePattern.h"
#include "common/Text.h"

#include "dbclient/DatabaseError.h"
#include "dbclient/DateTime.h"
#include "dbclient/ServerAddress.h"

namespace kessmar {
namespace {

using dbclient::Currency;
using dbclient::DatabaseError;
using dbclient::Table;

constexpr const char* kOrderIndexFields = "BEST_type;BEST_verstuurd";
constexpr const char* kCodeIndex = "ARTK_fullcod";

// The header's identifier: a random number from 0 to 999999998, from the system's random
// source.
int64_t RandomIdentifier() {
  std::random_device source;
  std::uniform_int_distribution<int64_t> identifier(0, 999999998);
  return identifier(source);
}

// The range of open orders of type 1 with BEST_verstuurd sent ("1": no lines yet, "2": lines).
void RangeOnOpenOrders(Table& best, const std::string& sent) {
  SetRange2(best, kOrderIndexFields, "BEST_type", "BEST_verstuurd", "1", sent, "1", sent);
}

// RLTI_debtnummer is text: blanks around the number are the back office's padding. Empty is
// no debtor; anything else that is not a number would price the batch without the debtor's
// prices, so it fails the batch.
int64_t ParseDebtorNumber(const dbclient::Field& field) {
  const std::string raw = field.AsString();
  const std::string_view text = Trim(raw);
  if (text.empty()) return 0;
  int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (error != std::errc() || end != text.data() + text.size() || number < 0) {
    throw DebtorNumberError(raw);
  }
  return number;
}

}  // namespace

std::string FormatArticleCode(std::string_view code) {
  const std::vector<std::string_view> characters = Utf8Characters(code);
  if (characters.size() != 8) return std::string(code);
  std::string formatted;
  formatted.reserve(code.size() + 4);
  for (size_t i = 0; i < characters.size(); ++i) {
    formatted += characters[i];
    if (i == 0 || i == 2 || i == 4) formatted += '.';
    if (i == 6) formatted += '-';
  }
  return formatted;
}

void SetRange2(Table& table, std::string_view indexFieldList, const std::string& firstField,
               const std::string& secondField, const std::string& firstStart,
               const std::string& secondStart, const std::string& firstEnd,
               const std::string& secondEnd) {
  try {
    table.SetIndexFieldNames(indexFieldList);
  } catch (const DatabaseError& e) {
    if (e.SqlState() != dbclient::sqlstate::kUndefinedObject) throw;
    table.SetIndexName(indexFieldList);
  }
  table.SetRangeStart({{firstField, firstStart}, {secondField, secondStart}});
  table.SetRangeEnd({{firstField, firstEnd}, {secondField, secondEnd}});
  table.ApplyRange();
}

OrderCreation::OrderCreation(TunDBFactory makeModule, TPrices::Now priceClock)
    : makeModule_(std::move(makeModule)),
      priceClock_(std::move(priceClock)),
      db_(makeModule_ ? makeModule_() : std::make_unique<TunDB>()) {}

OrderCreation::~OrderCreation() {
  AbortBatch();
  prices_.reset();
  db_.reset();
}

void OrderCreation::ConnectToVemoServer(const std::string& vemoServer, ServerChoice choice) {
  if (batch_) return;
  prices_.reset();  // it holds tables of the module that may be replaced
  rememberedFailure_ = kessmar::ConnectToVemoServer(vemoServer, db_, makeModule_, choice);
}

void OrderCreation::ResetBatchState() {
  debtorRead_ = false;
  settledOrder_.reset();
  pendingTotal_ = Currency();
  pendingLines_ = 0;
  lines_.clear();
  writtenLines_ = 0;
  plannedArticles_.clear();
  pricesPrefetched_ = false;
  highestOrder_.reset();
  failedLine_ = 0;
  lineFailureKind_ = LineFailure::kNone;
  lineFailure_.clear();
  lineFailureState_.clear();
}

void OrderCreation::BeginBatch(const ReadPlan& plan, size_t* failedRead) {
  if (batch_) throw std::logic_error("a batch is already being transferred");
  ResetBatchState();
  dbclient::Session& session = db_->ffsVEMO;
  // The catalog is read before the transaction, so that the lock comes before the snapshot: the
  // batch then sees everything committed before it got the lock. Every table's entry in one
  // request; the session connects, when needed, as a table does (automatically).
  session.EnsureOpen(true);
  session.LoadCatalog();
  Table& best = db_->tblBEST;
  best.Open();
  std::vector<dbclient::PendingRead> reads;
  if (plan) plan(reads);
  const size_t planned = reads.size();
  if (lineWrites_ == LineWrites::kAtOnce) PlanOrderReads(reads);
  // The lock first: every read after it sees the snapshot taken behind it.
  std::vector<dbclient::Statement> statements{best.LockStatement()};
  for (const dbclient::PendingRead& read : reads) statements.push_back(read.statement);
  std::vector<dbclient::QueryResult> results;
  size_t failed = statements.size();
  try {
    batch_.emplace(session, dbclient::Isolation::kRepeatableRead, statements, results, &failed);
  } catch (...) {
    if (failedRead != nullptr && failed >= 1 && failed - 1 < planned) *failedRead = failed - 1;
    throw;
  }
  try {
    for (size_t i = 0; i < reads.size(); ++i) reads[i].take(results[i + 1]);
  } catch (...) {
    AbortBatch();
    throw;
  }
}

void OrderCreation::PlanOrderReads(std::vector<dbclient::PendingRead>& reads) {
  // Each step's read is planned on its own: one that cannot be (a table or field the back office
  // lacks) is left to the step, which then meets that as it always did.
  std::string debtorSql;
  try {
    Table& rlti = db_->tblRLTI;
    db_->tblSYSI.Open();
    rlti.Open();
    if (rlti.IndexName() != "idxRLTI_nummer") rlti.SetIndexName("idxRLTI_nummer");
    reads.push_back(rlti.PrefetchFrom("SELECT 2", {}));
    // The debtor number as ParseDebtorNumber reads it; anything else asks for none, and the
    // price module then asks the server itself.
    const std::string number =
        "btrim(r." + rlti.SqlField("RLTI_debtnummer") + "::text, E' \\t\\r')";
    debtorSql = "SELECT CASE WHEN " + number + " ~ '^[0-9]{1,18}$' THEN " + number +
                "::bigint END FROM " + rlti.SqlName() + " AS r WHERE r." +
                rlti.SqlField("RLTI_nummer") + " = 2";
  } catch (const DatabaseError&) {
    debtorSql.clear();
  }
  if (!debtorSql.empty()) TPrices::PlanDebtorReads(*db_, debtorSql, reads);
  Table& best = db_->tblBEST;
  try {
    for (const char* sent : {"1", "2"}) {
      RangeOnOpenOrders(best, sent);
      reads.push_back(best.PrefetchRangesFrom("SELECT 1", {}, {sent}, {sent}, true));
    }
  } catch (const DatabaseError&) {
    // The search asks the server.
  }
  try {
    Table& sysc = db_->tblSYSC;
    sysc.Open();
    if (sysc.IndexName() != "SYSC_naam") sysc.SetIndexName("SYSC_naam");
    reads.push_back(sysc.PrefetchFrom("SELECT 'BEST'::text", {}));
    reads.push_back(
        {{"SELECT coalesce(max(" + best.SqlField("BEST_nummer") + "), 0) FROM " + best.SqlName(),
          {}},
         [this](const dbclient::QueryResult& highest) {
           if (highest.Rows() == 1 && !highest.IsNull(0, 0)) {
             highestOrder_ = std::stoll(std::string(highest.Value(0, 0)));
           }
         }});
  } catch (const DatabaseError&) {
    // The header's creation asks the server.
  }
}

void OrderCreation::AbortBatch() noexcept {
  if (!batch_) return;
  for (Table* table : {&db_->tblBEST, &db_->tblBERG, &db_->tblSYSC}) table->Cancel();
  db_->tblBERG.DiscardQueued();
  plannedArticles_.clear();
  batch_.reset();  // rolls back
  settledOrder_.reset();
  pendingLines_ = 0;
  pendingTotal_ = Currency();
}

int64_t OrderCreation::Failed(LineFailure kind, const std::string& what,
                              const std::exception& cause) {
  lineFailureKind_ = kind;
  lineFailure_ = what + cause.what();
  const auto* database = dynamic_cast<const DatabaseError*>(&cause);
  lineFailureState_ = database != nullptr ? database->SqlState() : "";
  return -1;
}

void OrderCreation::LoadDebtorNumber() {
  previousDebtor_ = debtor_;
  debtor_ = 0;
  try {
    db_->tblSYSI.Open();
    Table& rlti = db_->tblRLTI;
    rlti.Open();
    if (rlti.IndexName() != "idxRLTI_nummer") rlti.SetIndexName("idxRLTI_nummer");
    if (rlti.FindKey(int64_t{2})) debtor_ = ParseDebtorNumber(rlti.FieldByName("RLTI_debtnummer"));
  } catch (const DatabaseError& e) {
    // A back office without relations has no debtor (the client finds that in the catalog).
    // Anything the server refused has aborted the batch's transaction and must not pass for "no
    // debtor".
    if (!e.IsMissingObject()) throw;
    debtor_ = 0;
  }
  if (debtor_ != previousDebtor_ && prices_) {
    prices_->ClearPriceData();
    prices_.reset();
  }
}

int64_t OrderCreation::NextCounterValue(const std::string& name, int64_t atLeast) {
  Table& sysc = db_->tblSYSC;
  sysc.Open();
  if (sysc.IndexName() != "SYSC_naam") sysc.SetIndexName("SYSC_naam");
  if (sysc.FindKey(name)) {
    sysc.Edit();
  } else {
    sysc.Append();
  }
  try {
    if (sysc.GetState() == Table::State::kInsert) sysc.FieldByName("SYSC_naam").SetString(name);
    const int64_t last = sysc.FieldByName("SYSC_volgnum").AsInteger();
    const int64_t next = std::max(last == 0 ? kFirstOrderNumber : last + 1, atLeast);
    sysc.FieldByName("SYSC_volgnum").SetInteger(next);
    sysc.Post();
    return next;
  } catch (...) {
    sysc.Cancel();
    throw;
  }
}

void OrderCreation::UpdateOrderTotal(Table& table, Currency oldAmount, Currency newAmount) {
  table.Refresh();
  table.Edit();
  try {
    if (table.RecordCount() > 0) {
      table.FieldByName("BEST_verstuurd").SetInteger(2);
      Currency total = table.FieldByName("ORDR_totaal").AsCurrency();
      total += newAmount;
      total -= oldAmount;
      table.FieldByName("ORDR_totaal").SetCurrency(total);
    } else {
      table.FieldByName("BEST_verstuurd").SetInteger(1);
      table.FieldByName("ORDR_totaal").SetCurrency(Currency());
    }
    table.Post();
  } catch (...) {
    table.Cancel();
    throw;
  }
  table.Refresh();
}

int64_t OrderCreation::FindOpenOrder(bool& unsentFound) {
  Table& best = db_->tblBEST;
  RangeOnOpenOrders(best, "1");
  best.Last();
  unsentFound = !best.Eof();
  if (!unsentFound) {
    RangeOnOpenOrders(best, "2");
    best.Last();
  }
  return best.Eof() ? 0 : best.FieldByName("BEST_nummer").AsInteger();
}

int64_t OrderCreation::CreateOrderHeader() {
  Table& best = db_->tblBEST;
  // A counter behind the orders (restored, or numbers made elsewhere) would draw a number that
  // is taken, at every retry: it moves past the highest one, under the batch's lock.
  int64_t taken = 0;
  if (highestOrder_) {
    taken = *highestOrder_;  // read in this snapshot, and no header was written since
    highestOrder_.reset();
  } else {
    const dbclient::QueryResult highest =
        db_->ffsVEMO.RunOnce(R"(SELECT coalesce(max("BEST_nummer"), 0) FROM "SYSTEM"."BEST")",
                             {db_->ffsVEMO.ServerLabel(), "BEST (SYSTEM)", "BEST_nummer"});
    taken = std::stoll(std::string(highest.Value(0, 0)));
  }
  if (lineWrites_ == LineWrites::kAtOnce) return CreateOrderHeaderAtOnce(taken);
  best.Append();
  int64_t number = 0;
  try {
    number = NextCounterValue("BEST", taken + 1);
    FillNewHeader(best, number);
  } catch (...) {
    best.Cancel();
    throw;
  }
  try {
    best.Post();
  } catch (const std::exception& e) {
    best.Cancel();
    return Failed(LineFailure::kHeader,
                  "the order header " + std::to_string(number) + " cannot be posted: ", e);
  }
  // The total must go to this header. The search left the range on orders with lines, where a
  // new header is not; on unsent orders it is the only one (another would have been found).
  RangeOnOpenOrders(best, "1");
  best.Last();
  if (best.Eof() || best.FieldByName("BEST_nummer").AsInteger() != number) {
    throw std::logic_error("the order header just created is not the only unsent order");
  }
  return number;
}

void OrderCreation::FillNewHeader(Table& best, int64_t number) {
  best.FieldByName("BEST_uniqueidentifier").SetString(std::to_string(RandomIdentifier()));
  best.FieldByName("BEST_nummer").SetInteger(number);
  best.FieldByName("BEST_datum").SetDateTime(dbclient::DateTime::Now());
  best.FieldByName("BEST_verstuurd").SetInteger(1);
  best.FieldByName("BEST_type").SetInteger(1);
  best.FieldByName("RLTI_nummer").SetInteger(1);
}

int64_t OrderCreation::CreateOrderHeaderAtOnce(int64_t taken) {
  // The counter and the header in one round trip: the same records as NextCounterValue and the
  // header's post write, in the same order.
  Table& best = db_->tblBEST;
  Table& sysc = db_->tblSYSC;
  const std::string name = "BEST";
  sysc.Open();
  if (sysc.IndexName() != "SYSC_naam") sysc.SetIndexName("SYSC_naam");
  int64_t number = 0;
  std::vector<dbclient::Statement> statements;
  try {
    if (sysc.FindKey(name)) {
      sysc.Edit();
    } else {
      sysc.Append();
      sysc.FieldByName("SYSC_naam").SetString(name);
    }
    const int64_t last = sysc.FieldByName("SYSC_volgnum").AsInteger();
    number = std::max(last == 0 ? kFirstOrderNumber : last + 1, taken + 1);
    sysc.FieldByName("SYSC_volgnum").SetInteger(number);
    statements.push_back(sysc.PostStatement());
    best.Append();
    FillNewHeader(best, number);
    statements.push_back(best.PostStatement());
  } catch (...) {
    sysc.Cancel();
    best.Cancel();
    throw;
  }
  size_t failed = statements.size();
  std::vector<dbclient::QueryResult> results;
  try {
    results = db_->ffsVEMO.RunPipeline(statements,
                                       {db_->ffsVEMO.ServerLabel(), "BEST (SYSTEM)", ""}, &failed);
  } catch (const std::exception& e) {
    sysc.Cancel();
    best.Cancel();
    if (failed != 1) throw;
    return Failed(LineFailure::kHeader,
                  "the order header " + std::to_string(number) + " cannot be posted: ", e);
  }
  sysc.AcceptPosted(results[0]);
  best.AcceptPosted(results[1]);
  // The total must go to this header. The search left the range on orders with lines, where a
  // new header is not; on unsent orders it is the only one (another would have been found).
  RangeOnOpenOrders(best, "1");
  best.Last();
  if (best.Eof() || best.FieldByName("BEST_nummer").AsInteger() != number) {
    throw std::logic_error("the order header just created is not the only unsent order");
  }
  return number;
}

bool OrderCreation::FindArticle(std::string_view code) {
  Table& artk = db_->tblARTK;
  // The look-up of the batch has usually just found this very record on this index; finding it
  // again would find the same record.
  if (artk.IndexName() == kCodeIndex && !artk.Eof() &&
      artk.FieldByName("ARTK_fullcod").AsString() == code) {
    return true;
  }
  artk.SetIndexName(kCodeIndex);
  return artk.FindKey(code);
}

int64_t OrderCreation::AddOrderLine(std::string_view articleCode, int32_t quantity,
                                    std::string_view batchId) {
  if (!batch_) throw std::logic_error("AddOrderLine runs only within a batch");
  lineFailureKind_ = LineFailure::kNone;
  lineFailure_.clear();
  lineFailureState_.clear();
  // The debtor. The batch reads one snapshot, so relation 2 cannot change within it: read once.
  if (!debtorRead_) {
    LoadDebtorNumber();
    debtorRead_ = true;
  }
  // The order tables, and the server that worked.
  if (!OpenOrderTables()) return -1;
  RememberServer();
  // The open order, made when there is none.
  bool addUpTotal = false;
  const int64_t order = OrderForLine(addUpTotal);
  if (order < 0) return -1;
  // The article and the price module.
  const bool found = FindArticle(articleCode);
  if (!EnsurePriceModule()) return -1;
  if (!pricesPrefetched_) {
    pricesPrefetched_ = true;
    if (!plannedArticles_.empty()) prices_->Prefetch(plannedArticles_);
  }
  // The line, posted, and the order's total.
  OrderLine line;
  line.order = order;
  line.quantity = quantity;
  Table& berg = db_->tblBERG;
  berg.Append();
  try {
    FillLine(line, found, articleCode, batchId);
  } catch (...) {
    berg.Cancel();
    throw;
  }
  if (lineWrites_ == LineWrites::kAtOnce) {
    berg.QueueInsert();
  } else {
    try {
      berg.Post();
    } catch (const std::exception& e) {
      berg.Cancel();
      return Failed(LineFailure::kLine, "the order line cannot be posted: ", e);
    }
    line.bergNummer = berg.FieldByName("BERG_nummer").AsInteger();
    writtenLines_ = lines_.size() + 1;
  }
  AddToOrderTotal(line, addUpTotal);
  lines_.push_back(std::move(line));
  return order;
}

bool OrderCreation::OpenOrderTables() {
  try {
    for (Table* table : {&db_->tblBEST, &db_->tblBERG, &db_->tblSYSC, &db_->tblARTK}) {
      table->Open();
    }
  } catch (const std::exception& e) {
    Failed(LineFailure::kTables, "the order tables cannot be opened: ", e);
    return false;
  }
  return true;
}

void OrderCreation::RememberServer() {
  // An address the settings can only keep cut would never work again: it is not remembered.
  const std::string& name = db_->FFConnectionManager.FullServerName();
  if (name.size() <= dbclient::kServerNameReadLimit) vemoServer_ = name;
}

int64_t OrderCreation::OrderForLine(bool& addUpTotal) {
  // The open order: the last unsent one, else the last one with lines, else a new one.
  if (settledOrder_) {
    addUpTotal = true;
    return *settledOrder_;
  }
  addUpTotal = false;
  bool unsentFound = false;
  int64_t order = FindOpenOrder(unsentFound);
  if (order == 0) {
    order = CreateOrderHeader();
    if (order < 0) return -1;
  }
  // Without unsent orders, only this batch could change the answer, and it adds none: every
  // further search would find this order.
  if (!unsentFound) {
    settledOrder_ = order;
    // Written at once, the total goes out with the lines: the first line adds up as the rest.
    if (lineWrites_ == LineWrites::kAtOnce) addUpTotal = true;
  }
  return order;
}

bool OrderCreation::EnsurePriceModule() {
  if (prices_) return true;
  try {
    prices_ = std::make_unique<TPrices>(*db_, priceClock_);
    prices_->LoadDebtor(debtor_);
  } catch (const std::exception& e) {
    Failed(LineFailure::kPriceData, "the price data cannot be loaded: ", e);
    return false;
  }
  return true;
}

void OrderCreation::FillLine(OrderLine& line, bool found, std::string_view articleCode,
                             std::string_view batchId) {
  Table& berg = db_->tblBERG;
  Table& artk = db_->tblARTK;
  line.articleCode = FormatArticleCode(articleCode);
  berg.FieldByName("ARTK_fullcod").SetString(line.articleCode);
  if (found) {
    line.article = artk.FieldByName("ARTK_nummer").AsInteger();
    line.description = artk.FieldByName("ARTK_intoms").AsString();
    berg.FieldByName("ARTK_nummer").SetInteger(line.article);
    berg.FieldByName("BERG_Omschrijving").SetString(line.description);
    berg.FieldByName("BERG_merk").SetString(artk.FieldByName("ARTK_Merk").AsString());
    line.unitPrice = prices_->GetPrice(line.article, line.quantity);
  } else {
    line.article = kUnknownArticle;
    line.description = "Onbekend";
    berg.FieldByName("ARTK_nummer").SetInteger(kUnknownArticle);
    berg.FieldByName("BERG_Omschrijving").SetString(line.description);
    berg.FieldByName("BERG_merk").SetString("Kessmar artikel");
  }
  line.total = line.unitPrice * line.quantity;
  berg.FieldByName("BEST_nummer").SetInteger(line.order);
  berg.FieldByName("ONDR_nummer").SetInteger(0);
  berg.FieldByName("SPEC_nummer").SetInteger(0);
  berg.FieldByName("BERG_uwnummer").SetString(batchId);
  berg.FieldByName("BEST_aantal").SetInteger(line.quantity);
  berg.FieldByName("BEST_prijs").SetCurrency(line.unitPrice);
  berg.FieldByName("BERG_totaal").SetCurrency(line.total);
}

bool OrderCreation::AddToCurrentHeader(int64_t order, Currency amount,
                                       std::vector<dbclient::Statement>* deferred) {
  // UpdateOrderTotal re-reads the header, counts the range and re-reads it after the update.
  // Within the batch the cursor's record is the header as the batch last read or wrote it in
  // its snapshot, and nobody else can write headers before the batch ends, so both reads give
  // that record again; the search or the header's creation just put the cursor on it within
  // the range, so the count is not 0. What is left is the update itself.
  Table& best = db_->tblBEST;
  if (best.GetState() != Table::State::kBrowse || best.Eof() ||
      best.FieldByName("BEST_nummer").AsInteger() != order) {
    return false;
  }
  best.Edit();
  try {
    best.FieldByName("BEST_verstuurd").SetInteger(2);
    Currency total = best.FieldByName("ORDR_totaal").AsCurrency();
    total += amount;
    best.FieldByName("ORDR_totaal").SetCurrency(total);
    if (deferred != nullptr) {
      deferred->push_back(best.PostStatement());  // the record stays in edit mode till then
    } else {
      best.Post();
    }
  } catch (...) {
    best.Cancel();
    throw;
  }
  return true;
}

void OrderCreation::AddToOrderTotal(const OrderLine& line, bool addUpTotal) {
  // A settled order's total is added up and written once, by CommitBatch; the result is the
  // same, as nobody else can write the headers before the batch ends.
  if (addUpTotal) {
    pendingTotal_ += line.total;
    ++pendingLines_;
  } else if (lineWrites_ != LineWrites::kAtOnce || !AddToCurrentHeader(line.order, line.total)) {
    UpdateOrderTotal(db_->tblBEST, Currency(), line.total);
  }
}

int64_t OrderCreation::WriteQueuedLines(size_t* failedLine) {
  if (!batch_) throw std::logic_error("no batch whose lines could be written");
  Table& berg = db_->tblBERG;
  const size_t first = writtenLines_;
  if (failedLine != nullptr) *failedLine = lines_.size();
  if (berg.QueuedInserts() == 0) return 0;
  size_t failedAt = 0;
  std::vector<std::vector<std::optional<std::string>>> written;
  try {
    written = berg.WriteQueued(&failedAt);
  } catch (const std::exception& e) {
    // A refusal that names no line (a lost connection) is the first line's, as posting each
    // line would have met it there.
    const size_t failed = first + (failedAt < lines_.size() - first ? failedAt : 0);
    if (failedLine != nullptr) *failedLine = failed;
    writtenLines_ = lines_.size();
    return Failed(LineFailure::kLine, "the order line cannot be posted: ", e);
  }
  SetBergNumbers(first, written);
  writtenLines_ = lines_.size();
  return static_cast<int64_t>(written.size());
}

void OrderCreation::SetBergNumbers(
    size_t first, const std::vector<std::vector<std::optional<std::string>>>& written) {
  Table& berg = db_->tblBERG;
  const int key = [&berg] {
    const std::vector<std::string> names = berg.FieldNames();
    for (size_t i = 0; i < names.size(); ++i) {
      if (dbclient::SameName(names[i], "BERG_nummer")) return static_cast<int>(i);
    }
    return -1;
  }();
  for (size_t i = 0; i < written.size() && first + i < lines_.size(); ++i) {
    const auto& value = key >= 0 ? written[i][static_cast<size_t>(key)] : std::nullopt;
    lines_[first + i].bergNummer = value ? std::stoll(*value) : 0;
  }
}

void OrderCreation::FinishBatch() {
  if (!batch_) throw std::logic_error("no batch to finish");
  try {
    if (db_->tblBERG.QueuedInserts() > 0 && WriteQueuedLines() < 0) {
      throw std::runtime_error(lineFailure_);
    }
    if (pendingLines_ > 0 && lineWrites_ == LineWrites::kAtOnce &&
        AddToCurrentHeader(*settledOrder_, pendingTotal_)) {
      // The header's cursor is still on the settled order: a search would find it again.
      pendingLines_ = 0;
      pendingTotal_ = Currency();
    }
    if (pendingLines_ > 0) {
      // Puts the header's cursor and range where a search for the next line would: on the
      // settled order among the orders with lines.
      bool unsentFound = false;
      if (FindOpenOrder(unsentFound) != *settledOrder_ || unsentFound) {
        throw std::logic_error("the open order changed during the batch");
      }
      UpdateOrderTotal(db_->tblBEST, Currency(), pendingTotal_);
      pendingLines_ = 0;
      pendingTotal_ = Currency();
    }
  } catch (...) {
    AbortBatch();
    throw;
  }
}

void OrderCreation::CommitBatch(const LandedCheck& landed,
                                const std::vector<dbclient::Statement>& last, size_t* failedLast) {
  if (failedLast != nullptr) *failedLast = last.size();
  if (lineWrites_ == LineWrites::kAtOnce) {
    CommitAtOnce(landed, last, failedLast);
    return;
  }
  FinishBatch();
  if (!last.empty()) {
    try {
      db_->ffsVEMO.RunPipeline(last, {db_->ffsVEMO.ServerLabel(), "", ""}, failedLast);
    } catch (...) {
      AbortBatch();
      throw;
    }
  }
  const int serverProcess = db_->ffsVEMO.ServerProcessId();
  try {
    batch_->Commit();
  } catch (const DatabaseError& e) {
    batch_.reset();
    settledOrder_.reset();
    if (!e.IsConnectionFailure()) throw;
    SettleLostCommit(e, serverProcess, landed);
    return;
  }
  batch_.reset();
  settledOrder_.reset();
}

void OrderCreation::CommitAtOnce(const LandedCheck& landed,
                                 const std::vector<dbclient::Statement>& last, size_t* failedLast) {
  if (!batch_) throw std::logic_error("no batch to commit");
  Table& best = db_->tblBEST;
  Table& berg = db_->tblBERG;
  std::vector<dbclient::Statement> statements;
  size_t lineCount = 0;
  size_t header = 0;
  bool headerWritten = false;
  try {
    if (pendingLines_ > 0 && !AddToCurrentHeader(*settledOrder_, pendingTotal_, &statements)) {
      // The header's cursor left the settled order: a search finds it again, as for the next
      // line, and the total is written on its own.
      bool unsentFound = false;
      if (FindOpenOrder(unsentFound) != *settledOrder_ || unsentFound) {
        throw std::logic_error("the open order changed during the batch");
      }
      UpdateOrderTotal(best, Currency(), pendingTotal_);
    }
    headerWritten = !statements.empty();
    pendingLines_ = 0;
    pendingTotal_ = Currency();
    std::vector<dbclient::Statement> lines = berg.TakeQueued();
    lineCount = lines.size();
    header = lineCount;
    // The lines first, then the total, as the line-by-line sequence writes them.
    statements.insert(statements.begin(), std::make_move_iterator(lines.begin()),
                      std::make_move_iterator(lines.end()));
    statements.insert(statements.end(), last.begin(), last.end());
  } catch (...) {
    AbortBatch();
    throw;
  }
  const size_t lastStart = statements.size() - last.size();
  const int serverProcess = db_->ffsVEMO.ServerProcessId();
  const size_t first = writtenLines_;
  size_t failed = statements.size();
  std::vector<dbclient::QueryResult> results;
  try {
    results = batch_->Commit(statements, &failed);
  } catch (const DatabaseError& e) {
    AbortBatch();
    writtenLines_ = lines_.size();
    if (e.IsConnectionFailure() && failed == statements.size()) {
      SettleLostCommit(e, serverProcess, landed);
      return;
    }
    if (failed < lineCount) {
      failedLine_ = first + failed;
      Failed(LineFailure::kLine, "the order line cannot be posted: ", e);
    } else if (failed >= lastStart && failed < statements.size() && failedLast != nullptr) {
      *failedLast = failed - lastStart;
    }
    throw;
  }
  batch_.reset();
  settledOrder_.reset();
  if (lineCount > 0) SetBergNumbers(first, berg.AcceptWritten(results.data(), lineCount));
  writtenLines_ = lines_.size();
  if (headerWritten) best.AcceptPosted(results[header]);
}

void OrderCreation::SettleLostCommit(const DatabaseError& lost, int serverProcess,
                                     const LandedCheck& landed) {
  // The server process may still commit after any look taken while it runs (its COMMIT is in
  // its socket, or it is flushing): only once it has ended is the outcome settled.
  const std::string unknown =
      "the answer to the commit was lost (" + std::string(lost.what()) + ") and ";
  bool ended = false;
  try {
    db_->ffsVEMO.Close();
    ended = serverProcess != 0 && db_->ffsVEMO.EndServerProcess(serverProcess, kProcessEndBound);
  } catch (const std::exception& e) {
    throw CommitUnknown(unknown +
                        "the server could not be asked whether it committed: " + e.what());
  }
  if (!ended) {
    throw CommitUnknown(unknown + "its server process " + std::to_string(serverProcess) +
                        " did not end within " + std::to_string(kProcessEndBound.count()) + " ms");
  }
  bool found = false;
  try {
    found = landed ? landed(db_->ffsVEMO) : LastLineCommitted();
  } catch (const std::exception& e) {
    throw CommitUnknown(unknown +
                        "the server could not be asked whether it committed: " + e.what());
  }
  if (!found) throw lost;
}

bool OrderCreation::LastLineCommitted() noexcept {
  if (lines_.empty()) return false;
  try {
    db_->ffsVEMO.Close();  // a fresh connection, outside any transaction
    Table& berg = db_->tblBERG;
    berg.SetIndexName("BERG_nummer");
    berg.Open();
    return berg.FindKey(lines_.back().bergNummer);
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace kessmar
