#include "dbclient/Table.h"

#include <algorithm>
#include <charconv>

#include "dbclient/Session.h"

namespace kessmar::dbclient {
namespace {

constexpr int64_t kFirstBatch = 8;
constexpr int64_t kFindBatch = 4;
constexpr int64_t kLargestBatch = 256;

std::vector<std::string> SplitFieldList(std::string_view list) {
  std::vector<std::string> fields;
  while (true) {
    const size_t semicolon = list.find(';');
    std::string_view field = list.substr(0, semicolon);
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    while (!field.empty() && field.back() == ' ') field.remove_suffix(1);
    fields.emplace_back(field);
    if (semicolon == std::string_view::npos) break;
    list.remove_prefix(semicolon + 1);
  }
  return fields;
}

}  // namespace

Table::Table(Session& session, std::string tableName, std::string databaseName, std::string name)
    : session_(&session),
      tableName_(std::move(tableName)),
      databaseName_(std::move(databaseName)),
      name_(std::move(name)) {
  session_->Register(this);
}

Table::~Table() {
  if (session_ != nullptr) session_->Unregister(this);
}

void Table::DetachSession() noexcept {
  Close();
  session_ = nullptr;
}

ErrorContext Table::Context(std::string field) const {
  return {session_ != nullptr ? session_->ServerLabel() : "",
          tableName_ + " (" + databaseName_ + ")", std::move(field)};
}

Session& Table::LiveSession() const {
  if (session_ == nullptr) {
    throw DatabaseError("the session of this table is gone", sqlstate::kWrongState, Context());
  }
  return *session_;
}

void Table::RequireOpen() const {
  if (state_ == State::kInactive) {
    throw DatabaseError("table is not open", sqlstate::kWrongState, Context());
  }
}

void Table::RequireBrowse() const {
  RequireOpen();
  if (state_ != State::kBrowse) {
    throw DatabaseError("a record is being edited or inserted; post or cancel it first",
                        sqlstate::kWrongState, Context());
  }
}

// --- Index ---

int Table::FindIndexByFields(std::string_view fieldList) const {
  const auto wanted = SplitFieldList(fieldList);
  for (size_t i = 0; i < meta_->indexes.size(); ++i) {
    const auto& fields = meta_->indexes[i].fields;
    if (fields.size() != wanted.size()) continue;
    bool same = true;
    for (size_t f = 0; f < fields.size() && same; ++f) {
      same = SameName(meta_->columns[static_cast<size_t>(fields[f])].name, wanted[f]);
    }
    if (same) return static_cast<int>(i);
  }
  return -1;
}

int Table::FindIndexByName(std::string_view name) const {
  for (size_t i = 0; i < meta_->indexes.size(); ++i) {
    if (SameName(meta_->indexes[i].name, name) || SameName(meta_->indexes[i].serverName, name)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

void Table::SelectIndex(int index) {
  const IndexInfo& info = meta_->indexes[static_cast<size_t>(index)];
  // A unique index (of NOT NULL fields, checked below) orders the records completely; any other
  // is completed by the primary key.
  std::vector<int> order = info.columns;
  if (!info.unique) {
    for (int column : meta_->primaryKey) {
      if (std::find(order.begin(), order.end(), column) == order.end()) order.push_back(column);
    }
  }
  for (int column : order) {
    const ColumnInfo& info2 = meta_->columns[static_cast<size_t>(column)];
    if (!info2.notNull) {
      throw DatabaseError("index \"" + info.name + "\" has field \"" + info2.name +
                              "\", which may be null; keyed navigation needs NOT NULL fields",
                          sqlstate::kWrongState, Context(info2.name));
    }
  }
  index_ = index;
  order_ = std::move(order);
  rangeStart_.clear();
  rangeEnd_.clear();
  rangeActive_ = false;
  PositionBeforeFirst();
}

void Table::SetIndexFieldNames(std::string_view fieldList) {
  if (state_ == State::kInactive) {
    wantedIndexFields_ = fieldList;
    wantedIndexName_.clear();
    return;
  }
  RequireBrowse();
  const int index = FindIndexByFields(fieldList);
  if (index < 0) {
    throw DatabaseError("no index has exactly the fields \"" + std::string(fieldList) + "\"",
                        sqlstate::kUndefinedObject, Context());
  }
  SelectIndex(index);
  wantedIndexFields_ = fieldList;
  wantedIndexName_.clear();
}

void Table::SetIndexName(std::string_view indexName) {
  if (state_ == State::kInactive) {
    wantedIndexName_ = indexName;
    wantedIndexFields_.clear();
    return;
  }
  RequireBrowse();
  const int index = FindIndexByName(indexName);
  if (index < 0) {
    throw DatabaseError("no index named \"" + std::string(indexName) + "\"",
                        sqlstate::kUndefinedObject, Context());
  }
  SelectIndex(index);
  wantedIndexName_ = indexName;
  wantedIndexFields_.clear();
}

std::string Table::IndexName() const {
  if (meta_ == nullptr || index_ < 0) return wantedIndexName_;
  return meta_->indexes[static_cast<size_t>(index_)].name;
}

std::string Table::IndexFieldNames() const {
  if (meta_ == nullptr || index_ < 0) return wantedIndexFields_;
  std::string list;
  for (int column : meta_->indexes[static_cast<size_t>(index_)].fields) {
    if (!list.empty()) list += ';';
    list += meta_->columns[static_cast<size_t>(column)].name;
  }
  return list;
}

void Table::AddCalculatedField(std::string name, size_t size, Calculation compute) {
  calculated_.push_back({std::move(name), size, std::move(compute)});
}

// --- Open and close ---

void Table::Open() {
  if (state_ != State::kInactive) return;
  Session& session = LiveSession();
  session.EnsureOpen(true);
  const TableMetadata& meta = session.Metadata(databaseName_, tableName_, Context());
  if (meta.primaryKey.empty()) {
    throw DatabaseError("table has no primary key; the cursor needs one to keep its place",
                        sqlstate::kWrongState, Context());
  }
  for (const auto& calculated : calculated_) {
    if (meta.FindColumn(calculated.name) >= 0) {
      throw DatabaseError("calculated field \"" + calculated.name + "\" is also a stored field",
                          sqlstate::kWrongState, Context(calculated.name));
    }
  }
  meta_ = &meta;
  int index = -1;
  if (!wantedIndexFields_.empty()) {
    index = FindIndexByFields(wantedIndexFields_);
    if (index < 0) {
      meta_ = nullptr;
      throw DatabaseError("no index has exactly the fields \"" + wantedIndexFields_ + "\"",
                          sqlstate::kUndefinedObject, Context());
    }
  } else if (!wantedIndexName_.empty()) {
    index = FindIndexByName(wantedIndexName_);
    if (index < 0) {
      meta_ = nullptr;
      throw DatabaseError("no index named \"" + wantedIndexName_ + "\"", sqlstate::kUndefinedObject,
                          Context());
    }
  } else {
    for (size_t i = 0; i < meta.indexes.size(); ++i) {
      if (meta.indexes[i].primary) index = static_cast<int>(i);
    }
  }
  try {
    SelectIndex(index);
  } catch (...) {
    meta_ = nullptr;
    index_ = -1;
    throw;
  }
  state_ = State::kBrowse;
}

void Table::Close() noexcept {
  state_ = State::kInactive;
  known_.clear();
  knownRanges_.clear();
  queued_.clear();
  meta_ = nullptr;
  index_ = -1;
  order_.clear();
  rows_.clear();
  editRow_.clear();
  changed_.clear();
  rangeStart_.clear();
  rangeEnd_.clear();
  activeStart_.clear();
  activeEnd_.clear();
  rangeActive_ = false;
  pendingFirst_ = false;
  eof_ = false;
}

// --- Queries ---

std::vector<Table::Row> Table::Query(const std::string& sql, const Params& params) {
  ++queries_;
  return RowsOf(LiveSession().Run(sql, params, Context()));
}

std::vector<Table::Row> Table::RowsOf(const QueryResult& result, int skip) const {
  const int columns = static_cast<int>(meta_->columns.size());
  if (result.Rows() > 0 && result.Columns() != columns + skip) {
    throw DatabaseError("the server answered with " + std::to_string(result.Columns() - skip) +
                            " fields instead of " + std::to_string(columns),
                        sqlstate::kProtocolViolation, Context());
  }
  std::vector<Row> rows(static_cast<size_t>(result.Rows()));
  for (int r = 0; r < result.Rows(); ++r) {
    Row& row = rows[static_cast<size_t>(r)];
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) row.push_back(result.OptionalValue(r, c + skip));
  }
  return rows;
}

std::string Table::SelectList(std::string_view alias) const {
  std::string list;
  for (const auto& column : meta_->columns) {
    if (!list.empty()) list += ", ";
    if (!alias.empty()) list.append(alias).append(".");
    list += QuoteIdentifier(column.name);
  }
  return list;
}

std::string Table::KeyColumns() const {
  std::string list;
  for (int column : order_) {
    if (!list.empty()) list += ", ";
    list += QuoteIdentifier(meta_->columns[static_cast<size_t>(column)].name);
  }
  return "(" + list + ")";
}

std::string Table::OrderBy(bool descending) const {
  std::string list;
  for (int column : order_) {
    if (!list.empty()) list += ", ";
    list += QuoteIdentifier(meta_->columns[static_cast<size_t>(column)].name);
    if (descending) list += " DESC";
  }
  return " ORDER BY " + list;
}

std::string Table::KeyPlaceholders(Params& params, const Row& row) const {
  std::string list;
  for (int column : order_) {
    params.push_back(row[static_cast<size_t>(column)]);
    if (!list.empty()) list += ", ";
    list += "$" + std::to_string(params.size());
  }
  return "(" + list + ")";
}

std::string Table::PrimaryKeyCondition(Params& params, const Row& row) const {
  std::string columns;
  std::string values;
  for (int column : meta_->primaryKey) {
    params.push_back(row[static_cast<size_t>(column)]);
    if (!columns.empty()) {
      columns += ", ";
      values += ", ";
    }
    columns += QuoteIdentifier(meta_->columns[static_cast<size_t>(column)].name);
    values += "$" + std::to_string(params.size());
  }
  return "(" + columns + ") = (" + values + ")";
}

std::string Table::RangeCondition(Params& params) const {
  if (!rangeActive_) return "";
  const auto& fields = meta_->indexes[static_cast<size_t>(index_)].fields;
  auto bound = [&](const std::vector<std::optional<std::string>>& values, const char* op) {
    std::string columns;
    std::string placeholders;
    for (size_t i = 0; i < values.size() && values[i]; ++i) {
      params.push_back(values[i]);
      if (!columns.empty()) {
        columns += ", ";
        placeholders += ", ";
      }
      columns += QuoteIdentifier(meta_->columns[static_cast<size_t>(fields[i])].name);
      placeholders += "$" + std::to_string(params.size());
    }
    if (columns.empty()) return std::string();
    return "(" + columns + ") " + op + " (" + placeholders + ")";
  };
  std::string condition = bound(activeStart_, ">=");
  const std::string end = bound(activeEnd_, "<=");
  if (!condition.empty() && !end.empty()) condition += " AND ";
  return condition + end;
}

void Table::TakeBatch(std::vector<Row> rows, int64_t limit) {
  hasMore_ = static_cast<int64_t>(rows.size()) >= limit;
  rows_ = std::move(rows);
  position_ = 0;
  eof_ = rows_.empty();
  pendingFirst_ = false;
}

void Table::PositionBeforeFirst() {
  rows_.clear();
  position_ = 0;
  hasMore_ = false;
  eof_ = false;
  pendingFirst_ = true;
}

void Table::Resolve() {
  if (pendingFirst_) First();
}

const Table::Row* Table::CurrentRow() {
  if (state_ == State::kEdit || state_ == State::kInsert) return &editRow_;
  if (state_ == State::kInactive) return nullptr;
  Resolve();
  return rows_.empty() ? nullptr : &rows_[position_];
}

// --- Navigation ---

void Table::First() {
  RequireBrowse();
  if (const KnownRange* known = KnownRangeNow(); known != nullptr && !known->lastOnly) {
    TakeBatch(known->rows, static_cast<int64_t>(known->rows.size()) + 1);
    nextBatch_ = kFirstBatch * 2;
    return;
  }
  Params params;
  std::string where = RangeCondition(params);
  params.push_back(std::to_string(kFirstBatch));
  const std::string sql = "SELECT " + SelectList() + " FROM " + meta_->QualifiedName() +
                          (where.empty() ? "" : " WHERE " + where) + OrderBy(false) + " LIMIT $" +
                          std::to_string(params.size());
  TakeBatch(Query(sql, params), kFirstBatch);
  nextBatch_ = kFirstBatch * 2;
}

void Table::Last() {
  RequireBrowse();
  if (const KnownRange* known = KnownRangeNow(); known != nullptr) {
    std::vector<Row> last;
    if (!known->rows.empty()) last.push_back(known->rows.back());
    TakeBatch(std::move(last), 1);
    hasMore_ = false;
    return;
  }
  Params params;
  std::string where = RangeCondition(params);
  const std::string sql = "SELECT " + SelectList() + " FROM " + meta_->QualifiedName() +
                          (where.empty() ? "" : " WHERE " + where) + OrderBy(true) + " LIMIT 1";
  TakeBatch(Query(sql, params), 1);
  hasMore_ = false;
}

void Table::Next() {
  RequireBrowse();
  Resolve();
  if (rows_.empty() || eof_) {
    eof_ = true;
    return;
  }
  if (position_ + 1 < rows_.size()) {
    ++position_;
    return;
  }
  if (!hasMore_) {
    eof_ = true;
    return;
  }
  Params params;
  std::string where = RangeCondition(params);
  if (!where.empty()) where += " AND ";
  where += KeyColumns() + " > " + KeyPlaceholders(params, rows_[position_]);
  const int64_t limit = nextBatch_;
  params.push_back(std::to_string(limit));
  const std::string sql = "SELECT " + SelectList() + " FROM " + meta_->QualifiedName() + " WHERE " +
                          where + OrderBy(false) + " LIMIT $" + std::to_string(params.size());
  std::vector<Row> rows = Query(sql, params);
  nextBatch_ = std::min(nextBatch_ * 2, kLargestBatch);
  if (rows.empty()) {
    hasMore_ = false;
    eof_ = true;
    return;
  }
  TakeBatch(std::move(rows), limit);
}

bool Table::Eof() {
  RequireOpen();
  if (state_ != State::kBrowse) return false;
  Resolve();
  return eof_ || rows_.empty();
}

int64_t Table::RecordCount() {
  RequireOpen();
  Params params;
  const std::string where = RangeCondition(params);
  const std::string sql =
      "SELECT count(*) FROM " + meta_->QualifiedName() + (where.empty() ? "" : " WHERE " + where);
  ++queries_;
  const QueryResult result = LiveSession().Run(sql, params, Context());
  if (result.Rows() != 1 || result.Columns() != 1) {
    throw DatabaseError("the server answered a count without a number",
                        sqlstate::kProtocolViolation, Context());
  }
  return std::stoll(std::string(result.Value(0, 0)));
}

// --- Find ---

const std::optional<Table::Row>* Table::Known(std::string_view value) {
  if (rangeActive_ || known_.empty()) return nullptr;
  const Session& session = LiveSession();
  if (!session.InTransaction() || session.TransactionSerial() != knownTransaction_) {
    known_.clear();
    return nullptr;
  }
  const auto index = known_.find(index_);
  if (index == known_.end()) return nullptr;
  const auto found = index->second.find(value);
  return found != index->second.end() ? &found->second : nullptr;
}

void Table::Prefetch(const std::vector<std::string>& values) {
  RequireBrowse();
  Session& session = LiveSession();
  if (!session.InTransaction()) {
    throw DatabaseError("prefetched records need a transaction to stay true", sqlstate::kWrongState,
                        Context());
  }
  const IndexInfo& index = meta_->indexes[static_cast<size_t>(index_)];
  if (rangeActive_ || !index.unique || index.fields.size() != 1) return;
  const ColumnInfo& column = meta_->columns[static_cast<size_t>(index.fields.front())];
  const bool integer = column.type == FieldType::kInteger;
  const bool text = column.typeName == "text" || column.typeName.starts_with("character varying");
  if (!integer && !text) return;
  if (knownTransaction_ != session.TransactionSerial()) known_.clear();
  knownTransaction_ = session.TransactionSerial();
  auto& known = known_[index_];
  // An array literal of the values the server would compare exactly as FindKey's parameter.
  std::string array = "{";
  std::vector<std::string> asked;
  for (const std::string& value : values) {
    if (known.contains(value) || value.find('\0') != std::string::npos) continue;
    if (integer) {
      int64_t number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (error != std::errc() || end != value.data() + value.size() ||
          std::to_string(number) != value || number < column.minimum || number > column.maximum) {
        continue;
      }
    }
    if (!asked.empty()) array += ',';
    array += '"';
    for (const char c : value) {
      if (c == '"' || c == '\\') array += '\\';
      array += c;
    }
    array += '"';
    asked.push_back(value);
    known.emplace(value, std::nullopt);
  }
  array += '}';
  if (asked.empty()) return;
  const std::string field = QuoteIdentifier(column.name);
  const std::string sql = "SELECT " + SelectList("t") + " FROM " + meta_->QualifiedName() +
                          " AS t WHERE t." + field + " = ANY($1::" + (integer ? "bigint" : "text") +
                          "[])";
  std::vector<Row> rows;
  try {
    rows = Query(sql, {array});
  } catch (...) {
    known_.erase(index_);
    throw;
  }
  const int position = index.fields.front();
  for (Row& row : rows) {
    const auto& key = row[static_cast<size_t>(position)];
    if (!key) continue;
    // The server writes an integer as its canonical text, which is how it was asked.
    known[*key] = std::move(row);
  }
}

const Table::KnownRange* Table::KnownRangeNow() {
  if (!rangeActive_ || knownRanges_.empty()) return nullptr;
  const Session& session = LiveSession();
  if (!session.InTransaction() || session.TransactionSerial() != knownTransaction_) {
    known_.clear();
    knownRanges_.clear();
    return nullptr;
  }
  const auto index = knownRanges_.find(index_);
  if (index == knownRanges_.end()) return nullptr;
  for (const KnownRange& range : index->second) {
    if (range.start == activeStart_ && range.end == activeEnd_) return &range;
  }
  return nullptr;
}

std::string Table::PrefetchKeyType(const IndexInfo& index) const {
  const ColumnInfo& column = meta_->columns[static_cast<size_t>(index.fields.front())];
  if (column.type == FieldType::kInteger) return "bigint";
  if (column.typeName == "text" || column.typeName.starts_with("character varying")) return "text";
  return "";
}

std::string Table::SqlName() const {
  RequireOpen();
  return meta_->QualifiedName();
}

std::string Table::SqlField(std::string_view field) const {
  RequireOpen();
  const int column = meta_->FindColumn(field);
  if (column < 0) {
    throw DatabaseError("field \"" + std::string(field) + "\" not found",
                        sqlstate::kUndefinedColumn, Context(std::string(field)));
  }
  return QuoteIdentifier(meta_->columns[static_cast<size_t>(column)].name);
}

bool Table::StartTaking() {
  const Session& session = LiveSession();
  if (!session.InTransaction()) {
    throw DatabaseError("prefetched records need a transaction to stay true", sqlstate::kWrongState,
                        Context());
  }
  if (state_ == State::kInactive) return false;
  if (knownTransaction_ != session.TransactionSerial()) {
    known_.clear();
    knownRanges_.clear();
  }
  knownTransaction_ = session.TransactionSerial();
  return true;
}

std::optional<std::string> Table::AskedValue(const QueryResult& result, size_t row, bool integer,
                                             int64_t minimum, int64_t maximum) {
  std::optional<std::string> asked = result.OptionalValue(static_cast<int>(row), 0);
  // A value the field cannot hold is refused by the server when FindKey asks it.
  if (asked && integer) {
    const int64_t number = std::stoll(*asked);
    if (number < minimum || number > maximum) return std::nullopt;
  }
  return asked;
}

PendingRead Table::PrefetchFrom(const std::string& askedSql, Params params) {
  RequireBrowse();
  const IndexInfo& index = meta_->indexes[static_cast<size_t>(index_)];
  const std::string type = PrefetchKeyType(index);
  if (!index.unique || index.fields.size() != 1 || type.empty()) {
    throw DatabaseError("index \"" + index.name +
                            "\" cannot be read ahead: it is not a unique "
                            "index of one integer or text field",
                        sqlstate::kWrongState, Context());
  }
  const int position = index.fields.front();
  const ColumnInfo& column = meta_->columns[static_cast<size_t>(position)];
  const std::string list = ", " + SelectList("t");
  PendingRead read;
  read.statement.sql = "SELECT a.v::text" + list + " FROM (SELECT DISTINCT s.x::" + type +
                       " FROM (" + askedSql + ") AS s(x)) AS a(v) LEFT JOIN " +
                       meta_->QualifiedName() + " AS t ON t." + QuoteIdentifier(column.name) +
                       " = a.v";
  read.statement.params = std::move(params);
  const bool integer = column.type == FieldType::kInteger;
  const int64_t minimum = column.minimum;
  const int64_t maximum = column.maximum;
  read.take = [this, position, index = index_, integer, minimum,
               maximum](const QueryResult& result) {
    if (!StartTaking()) return;
    auto& known = known_[index];
    std::vector<Row> rows = RowsOf(result, 1);
    for (size_t r = 0; r < rows.size(); ++r) {
      const std::optional<std::string> asked = AskedValue(result, r, integer, minimum, maximum);
      if (!asked) continue;
      if (rows[r][static_cast<size_t>(position)]) {
        known[*asked] = std::move(rows[r]);
      } else {
        known.emplace(*asked, std::nullopt);
      }
    }
  };
  return read;
}

PendingRead Table::PrefetchRangesFrom(const std::string& askedSql, Params params,
                                      const std::vector<std::string>& startTail,
                                      const std::vector<std::string>& endTail, bool lastOnly) {
  RequireBrowse();
  const IndexInfo& index = meta_->indexes[static_cast<size_t>(index_)];
  const std::string type = PrefetchKeyType(index);
  if (type.empty() || startTail.size() >= index.fields.size() ||
      endTail.size() >= index.fields.size()) {
    throw DatabaseError("a range on index \"" + index.name + "\" cannot be read ahead",
                        sqlstate::kWrongState, Context());
  }
  const ColumnInfo& first = meta_->columns[static_cast<size_t>(index.fields.front())];
  auto bound = [&](const std::vector<std::string>& tail, const char* op) {
    std::string columns = "t." + QuoteIdentifier(first.name);
    std::string values = "a.v";
    for (size_t i = 0; i < tail.size(); ++i) {
      params.emplace_back(tail[i]);
      columns +=
          ", t." + QuoteIdentifier(meta_->columns[static_cast<size_t>(index.fields[i + 1])].name);
      values += ", $" + std::to_string(params.size());
    }
    return "(" + columns + ") " + op + " (" + values + ")";
  };
  const std::string condition = bound(startTail, ">=") + " AND " + bound(endTail, "<=");
  const std::string list = ", " + SelectList("t");
  std::string order;
  for (int column : order_) {
    order += ", t." + QuoteIdentifier(meta_->columns[static_cast<size_t>(column)].name);
    if (lastOnly) order += " DESC";
  }
  PendingRead read;
  read.statement.sql = std::string("SELECT ") + (lastOnly ? "DISTINCT ON (a.v) " : "") +
                       "a.v::text" + list + " FROM (SELECT DISTINCT s.x::" + type + " FROM (" +
                       askedSql + ") AS s(x)) AS a(v) LEFT JOIN " + meta_->QualifiedName() +
                       " AS t ON " + condition + " ORDER BY a.v" + order;
  read.statement.params = std::move(params);
  const bool integer = first.type == FieldType::kInteger;
  const int64_t minimum = first.minimum;
  const int64_t maximum = first.maximum;
  const size_t fields = index.fields.size();
  const auto key = static_cast<size_t>(meta_->primaryKey.front());
  read.take = [this, index = index_, integer, minimum, maximum, fields, key, startTail, endTail,
               lastOnly](const QueryResult& result) {
    if (!StartTaking()) return;
    auto& ranges = knownRanges_[index];
    std::vector<Row> rows = RowsOf(result, 1);
    for (size_t r = 0; r < rows.size(); ++r) {
      const std::optional<std::string> asked = AskedValue(result, r, integer, minimum, maximum);
      if (!asked) continue;
      std::vector<std::optional<std::string>> start(fields);
      std::vector<std::optional<std::string>> end(fields);
      start[0] = *asked;
      end[0] = *asked;
      for (size_t i = 0; i < startTail.size(); ++i) start[i + 1] = startTail[i];
      for (size_t i = 0; i < endTail.size(); ++i) end[i + 1] = endTail[i];
      auto range = std::find_if(ranges.begin(), ranges.end(), [&](const KnownRange& known) {
        return known.start == start && known.end == end;
      });
      if (range == ranges.end()) {
        range = ranges.insert(ranges.end(), KnownRange{start, end, {}, lastOnly});
      }
      if (rows[r][key]) range->rows.push_back(std::move(rows[r]));
    }
  };
  return read;
}

bool Table::FindKey(std::string_view value) {
  RequireBrowse();
  if (const std::optional<Row>* known = Known(value)) {
    if (!*known) return false;
    TakeBatch({**known}, kFindBatch);
    hasMore_ = true;
    nextBatch_ = kFirstBatch * 2;
    return true;
  }
  const auto& fields = meta_->indexes[static_cast<size_t>(index_)].fields;
  const std::string& field = meta_->columns[static_cast<size_t>(fields.front())].name;
  Params params;
  std::string where = RangeCondition(params);
  if (!where.empty()) where += " AND ";
  params.emplace_back(std::string(value));
  where += QuoteIdentifier(field) + " = $" + std::to_string(params.size());
  params.push_back(std::to_string(kFindBatch));
  const std::string sql = "SELECT " + SelectList() + " FROM " + meta_->QualifiedName() + " WHERE " +
                          where + OrderBy(false) + " LIMIT $" + std::to_string(params.size());
  std::vector<Row> rows;
  try {
    rows = Query(sql, params);
  } catch (const DatabaseError& e) {
    if (e.SqlState() == sqlstate::kInvalidText || e.SqlState() == sqlstate::kOutOfRange) {
      throw DatabaseError("cannot look up \"" + std::string(value) + "\": " + e.what(),
                          e.SqlState(), Context(field));
    }
    throw;
  }
  if (rows.empty()) return false;
  TakeBatch(std::move(rows), kFindBatch);
  // Records after the batch lie beyond the key found, not beyond the range.
  hasMore_ = true;
  nextBatch_ = kFirstBatch * 2;
  return true;
}

bool Table::FindKey(int64_t value) {
  return FindKey(std::to_string(value));
}

// --- Ranges ---

std::vector<std::optional<std::string>> Table::Bounds(const std::vector<KeyValue>& values) const {
  RequireOpen();
  const auto& fields = meta_->indexes[static_cast<size_t>(index_)].fields;
  std::vector<std::optional<std::string>> bounds(fields.size());
  for (const auto& value : values) {
    size_t position = fields.size();
    for (size_t i = 0; i < fields.size(); ++i) {
      if (SameName(meta_->columns[static_cast<size_t>(fields[i])].name, value.field)) {
        position = i;
      }
    }
    if (position == fields.size()) {
      throw DatabaseError(
          "\"" + value.field + "\" is not a field of the current index \"" + IndexName() + "\"",
          sqlstate::kUndefinedColumn, Context(value.field));
    }
    bounds[position] = value.value;
  }
  // A bound covers leading fields only: (a) or (a, b), never (b) alone.
  for (size_t i = 1; i < bounds.size(); ++i) {
    if (bounds[i] && !bounds[i - 1]) {
      throw DatabaseError(
          "a range bound for \"" + meta_->columns[static_cast<size_t>(fields[i])].name +
              "\" needs one for \"" + meta_->columns[static_cast<size_t>(fields[i - 1])].name +
              "\" too",
          sqlstate::kUndefinedColumn, Context(meta_->columns[static_cast<size_t>(fields[i])].name));
    }
  }
  return bounds;
}

void Table::SetRangeStart(const std::vector<KeyValue>& values) {
  rangeStart_ = Bounds(values);
}

void Table::SetRangeEnd(const std::vector<KeyValue>& values) {
  rangeEnd_ = Bounds(values);
}

void Table::ApplyRange() {
  RequireBrowse();
  activeStart_ = rangeStart_;
  activeEnd_ = rangeEnd_;
  rangeActive_ = true;
  PositionBeforeFirst();
}

void Table::CancelRange() {
  RequireBrowse();
  rangeActive_ = false;
  activeStart_.clear();
  activeEnd_.clear();
  PositionBeforeFirst();
}

// --- Changes ---

void Table::Append() {
  RequireBrowse();
  editRow_.assign(meta_->columns.size(), std::nullopt);
  changed_.assign(meta_->columns.size(), false);
  state_ = State::kInsert;
}

void Table::Edit() {
  RequireBrowse();
  Resolve();
  if (rows_.empty()) {
    throw DatabaseError("there is no current record to edit", sqlstate::kWrongState, Context());
  }
  editRow_ = rows_[position_];
  changed_.assign(meta_->columns.size(), false);
  state_ = State::kEdit;
}

void Table::Cancel() {
  if (state_ != State::kEdit && state_ != State::kInsert) return;
  editRow_.clear();
  changed_.clear();
  state_ = State::kBrowse;
}

Statement Table::InsertStatement() const {
  Statement insert;
  std::string columns;
  std::string values;
  for (size_t c = 0; c < changed_.size(); ++c) {
    if (!changed_[c]) continue;
    insert.params.push_back(editRow_[c]);
    if (!columns.empty()) {
      columns += ", ";
      values += ", ";
    }
    columns += QuoteIdentifier(meta_->columns[c].name);
    values += "$" + std::to_string(insert.params.size());
  }
  insert.sql =
      "INSERT INTO " + meta_->QualifiedName() +
      (columns.empty() ? " DEFAULT VALUES" : " (" + columns + ") VALUES (" + values + ")") +
      " RETURNING " + SelectList();
  return insert;
}

void Table::QueueInsert() {
  RequireOpen();
  if (state_ != State::kInsert) {
    throw DatabaseError("no record is being inserted", sqlstate::kWrongState, Context());
  }
  queued_.push_back(InsertStatement());
  editRow_.clear();
  changed_.clear();
  state_ = State::kBrowse;
}

std::vector<Statement> Table::TakeQueued() {
  std::vector<Statement> queued = std::move(queued_);
  queued_.clear();
  return queued;
}

std::vector<Table::Row> Table::AcceptWritten(const QueryResult* results, size_t count) {
  RequireBrowse();
  known_.clear();
  knownRanges_.clear();
  const int columns = static_cast<int>(meta_->columns.size());
  std::vector<Row> written;
  written.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    const QueryResult& result = results[i];
    if (result.Rows() != 1 || result.Columns() != columns) {
      throw DatabaseError("the server did not answer a written record with the record",
                          sqlstate::kProtocolViolation, Context());
    }
    Row& row = written.emplace_back();
    row.reserve(static_cast<size_t>(columns));
    for (int c = 0; c < columns; ++c) row.push_back(result.OptionalValue(0, c));
  }
  if (written.empty()) return written;
  TakeBatch({written.back()}, 1);
  hasMore_ = true;
  nextBatch_ = kFirstBatch * 2;
  return written;
}

std::vector<Table::Row> Table::WriteQueued(size_t* failedAt) {
  const std::vector<Statement> queued = TakeQueued();
  if (failedAt != nullptr) *failedAt = queued.size();
  RequireBrowse();
  known_.clear();
  knownRanges_.clear();
  if (queued.empty()) return {};
  ++queries_;
  const std::vector<QueryResult> results = LiveSession().RunPipeline(queued, Context(), failedAt);
  return AcceptWritten(results.data(), results.size());
}

Statement Table::LockStatement() const {
  RequireOpen();
  return {"LOCK TABLE " + meta_->QualifiedName() + " IN SHARE ROW EXCLUSIVE MODE", {}};
}

Statement Table::PostStatement() {
  RequireOpen();
  if (state_ != State::kEdit && state_ != State::kInsert) {
    throw DatabaseError("no record is being edited or inserted", sqlstate::kWrongState, Context());
  }
  if (state_ == State::kInsert) return InsertStatement();
  Statement update;
  std::string assignments;
  for (size_t c = 0; c < changed_.size(); ++c) {
    if (!changed_[c]) continue;
    update.params.push_back(editRow_[c]);
    if (!assignments.empty()) assignments += ", ";
    assignments +=
        QuoteIdentifier(meta_->columns[c].name) + " = $" + std::to_string(update.params.size());
  }
  if (assignments.empty()) return {};
  const std::string condition = PrimaryKeyCondition(update.params, rows_[position_]);
  update.sql = "UPDATE " + meta_->QualifiedName() + " SET " + assignments + " WHERE " + condition +
               " RETURNING " + SelectList();
  return update;
}

void Table::Post() {
  Statement statement = PostStatement();
  known_.clear();
  knownRanges_.clear();
  if (statement.sql.empty()) {
    Cancel();
    return;
  }
  TakePosted(Query(statement.sql, statement.params));
}

void Table::AcceptPosted(const QueryResult& result) {
  if (state_ != State::kEdit && state_ != State::kInsert) {
    throw DatabaseError("no record is being edited or inserted", sqlstate::kWrongState, Context());
  }
  known_.clear();
  knownRanges_.clear();
  TakePosted(RowsOf(result));
}

void Table::TakePosted(std::vector<Row> rows) {
  if (rows.empty()) {
    throw DatabaseError("the record no longer exists; another user removed it or changed its key",
                        "02000", Context());
  }
  editRow_.clear();
  changed_.clear();
  state_ = State::kBrowse;
  TakeBatch(std::move(rows), 1);
  hasMore_ = true;
  nextBatch_ = kFirstBatch * 2;
}

void Table::Refresh() {
  RequireBrowse();
  if (pendingFirst_ || rows_.empty()) {
    First();
    return;
  }
  const Row current = rows_[position_];
  Params params;
  const std::string condition = PrimaryKeyCondition(params, current);
  std::vector<Row> rows = Query(
      "SELECT " + SelectList() + " FROM " + meta_->QualifiedName() + " WHERE " + condition, params);
  if (!rows.empty()) {
    TakeBatch(std::move(rows), 1);
    hasMore_ = true;
    nextBatch_ = kFirstBatch * 2;
    return;
  }
  // The record is gone: continue with the one after it.
  rows_ = {current};
  position_ = 0;
  hasMore_ = true;
  eof_ = false;
  Next();
  if (eof_) {
    rows_.clear();
    eof_ = true;
  }
}

// --- Locks ---

void Table::LockTable() {
  RequireOpen();
  Session& session = LiveSession();
  if (!session.InTransaction()) {
    throw DatabaseError("a table lock needs a transaction; it would end at once without one",
                        sqlstate::kWrongState, Context());
  }
  ++queries_;
  session.RunOnce(LockStatement().sql, Context());
}

// --- Fields ---

Field Table::FieldByName(std::string_view name) {
  RequireOpen();
  if (const int column = meta_->FindColumn(name); column >= 0) return Field(this, column);
  for (size_t i = 0; i < calculated_.size(); ++i) {
    if (SameName(calculated_[i].name, name)) {
      return Field(this, static_cast<int>(meta_->columns.size() + i));
    }
  }
  throw DatabaseError("field \"" + std::string(name) + "\" not found", sqlstate::kUndefinedColumn,
                      Context(std::string(name)));
}

std::vector<std::string> Table::FieldNames() const {
  std::vector<std::string> names;
  if (meta_ != nullptr) {
    for (const auto& column : meta_->columns) names.push_back(column.name);
  }
  for (const auto& calculated : calculated_) names.push_back(calculated.name);
  return names;
}

}  // namespace kessmar::dbclient
