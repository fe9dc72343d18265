// A table cursor of a session: the table-component of the back office (a table name and the
// database alias it lives in, like tblARTK: table "artk", database "DATA").
//
// Cursors never load a whole table. The current index orders the records (a non-unique one
// completed by the primary key, so the order is total); First, Last, Next, FindKey and ranges run
// as keyed queries that fetch a small batch from the current position (a keyset: ORDER BY the index
// columns, WHERE (columns) > (the current record's), LIMIT a few), through statements prepared
// once per connection. A catalogue of 100,000 articles costs what one of 100 does.
//
// Positioning: Open, ApplyRange, CancelRange and changing the index put the cursor before the
// first record of the range without asking the server; the first record is fetched when it is
// first needed (a field read, Eof, Next, Edit, Refresh). First, Last and FindKey ask at once.
//
// Every failure throws DatabaseError naming server, table and field (KeyViolation for a post
// that a unique index refuses). The table keeps its state after a failed call: a failed Post
// leaves the record in edit or insert mode, for Cancel.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/Connection.h"
#include "dbclient/Field.h"
#include "dbclient/TableMetadata.h"

namespace kessmar::dbclient {

class Session;

// A range bound: a value, as text, for a field of the current index.
struct KeyValue {
  std::string field;
  std::string value;
};

// A read to run together with others in one round trip (a pipeline, see Session): its
// statement, and what to do with its answer.
struct PendingRead {
  Statement statement;
  std::function<void(const QueryResult&)> take;
};

class Table {
 public:
  enum class State { kInactive, kBrowse, kEdit, kInsert };
  // Computes a calculated field from the current record (read through the table's fields).
  using Calculation = std::function<std::string(Table&)>;

  // The table belongs to session (which must outlive it, or the table becomes unusable).
  // name is the component's name, for messages ("tblARTK").
  Table(Session& session, std::string tableName, std::string databaseName, std::string name = "");
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;
  ~Table();

  const std::string& TableName() const { return tableName_; }
  const std::string& DatabaseName() const { return databaseName_; }
  const std::string& Name() const { return name_; }

  // --- Index (3) ---
  // Selects the index whose fields are exactly the ";"-separated field list (names compared
  // without regard to case). Throws DatabaseError 42704 when no index has exactly those fields,
  // so that callers can fall back to selecting by name; the current index is kept then. Before
  // Open the choice is only remembered (and checked by Open).
  void SetIndexFieldNames(std::string_view fieldList);
  // Selects the index by name (without regard to case). Throws DatabaseError 42704 when the
  // table has no index of that name; the current index is kept then.
  void SetIndexName(std::string_view indexName);
  // The current index's name and fields ("BEST_type;BEST_verstuurd"); the primary key's when
  // none was chosen. Empty while closed unless chosen.
  std::string IndexName() const;
  std::string IndexFieldNames() const;

  // A calculated text field of at most size characters, recomputed from the current record each
  // time it is read; read-only. Define it before Open.
  void AddCalculatedField(std::string name, size_t size, Calculation compute);

  // --- Open and close (1) ---
  // Opens the table: connects the session when needed, reads the table's catalog entry once per
  // session, and selects the chosen index. No effect when open. Throws DatabaseError: the
  // session's errors, 3F000 / 42P01 for a missing database alias or table, 42704 for an unknown
  // index, 55000 for a table without primary key or an index with a field that may be null.
  void Open();
  // Discards a record being edited or inserted and the range. Never throws.
  void Close() noexcept;
  bool IsOpen() const { return state_ != State::kInactive; }
  State GetState() const { return state_; }

  // --- Navigation (2) ---
  // Every call throws DatabaseError 55000 when the table is not open or a record is being
  // edited or inserted, and the server's errors.
  void First();
  void Last();
  // Moves to the next record; at the last one, sets Eof and stays there.
  void Next();
  // True when the range holds no record, or Next went past the last one.
  bool Eof();
  // Records within the active range (the whole table without one); one count on the server.
  int64_t RecordCount();

  // --- Find (4) ---
  // Looks for the first record whose first index field equals value (compared by the server in
  // the field's type; "12" finds the integer 12), within the active range. Found: it becomes
  // the current record. Not found: the current record does not change. Throws DatabaseError
  // 22P02 when value is not of the field's type.
  bool FindKey(std::string_view value);
  bool FindKey(int64_t value);
  // Reads at once (one request) the records FindKey would find for each of values on the
  // current index, so that FindKey then answers them without asking the server, exactly as the
  // server would within the session's running transaction's snapshot. Only for a unique index
  // of one text or integer field, without an active range; values an integer field cannot hold,
  // and texts with a zero byte, are left to the server (as is any other index). The answers hold
  // until this table posts a record, is closed, or the transaction ends; meant for a
  // repeatable-read transaction, in which no other session's change can show. Throws
  // DatabaseError 55000 without a transaction, and the server's errors.
  void Prefetch(const std::vector<std::string>& values);
  // The same read for the values that askedSql (a query of one integer or text column, with
  // params $1...) yields on the server, to be run in a pipeline with other reads; its take()
  // remembers, for exactly the values the server was asked, the record or none, as Prefetch
  // does. So one read can ask for values that an earlier read of the same pipeline finds. Only
  // for the indexes Prefetch serves. Throws DatabaseError 55000 for another index or a closed
  // table; take() throws 55000 outside a transaction.
  PendingRead PrefetchFrom(const std::string& askedSql, Params params);
  // For each value v that askedSql yields: the records of the range from (v, startTail...) to
  // (v, endTail...) on the current index, as First and Next would walk it (lastOnly: only what
  // Last would find). While that range is the active one (the same bounds, as text), First,
  // Next and Last answer from them in the transaction of the read, until the table posts a
  // record or is closed. The first index field must be an integer or text. Throws as
  // PrefetchFrom.
  PendingRead PrefetchRangesFrom(const std::string& askedSql, Params params,
                                 const std::vector<std::string>& startTail,
                                 const std::vector<std::string>& endTail, bool lastOnly);
  // The table and a field as SQL names ("schema"."table", "field"), for queries built around
  // the table. Throws DatabaseError 55000 when closed, 42703 for an unknown field.
  std::string SqlName() const;
  std::string SqlField(std::string_view field) const;

  // --- Ranges (5) ---
  // Bounds for the leading fields of the current index, by field name, as text (an index of
  // fields a;b takes a, or a and b). Both bounds are inclusive and compare the fields together
  // (from (1, 0) to (1, 30000)). A bound may be left unset. Throws DatabaseError 42703 for a
  // field that is not a leading field of the current index.
  void SetRangeStart(const std::vector<KeyValue>& values);
  void SetRangeEnd(const std::vector<KeyValue>& values);
  // Makes the bounds the active range; the cursor goes before its first record.
  void ApplyRange();
  void CancelRange();

  // --- Changes (6) ---
  // Append: a new, empty record (fields null; the server fills its defaults when posted).
  // Edit: the current record becomes editable (throws 55000 when there is none).
  // Post: writes the record (INSERT or UPDATE of the changed fields) and makes the record as
  // the server now holds it the current record, also when it lies outside the range. Throws
  // KeyViolation when a unique index refuses it, 02000 when an edited record no longer exists.
  // Cancel: discards the changes. Refresh: reads the current record again (by primary key) and
  // forgets fetched batches.
  void Append();
  void Edit();
  void Post();
  void Cancel();
  void Refresh();
  // Keeps the record being inserted to be written by WriteQueued instead of writing it now (the
  // statement Post would send); the current record stays what it was before Append. Throws
  // DatabaseError 55000 when no record is being inserted.
  void QueueInsert();
  size_t QueuedInserts() const { return queued_.size(); }
  // Writes the queued records in order in one round trip and returns each record as the server
  // now holds it, in the same order; the last becomes the current record. The queue is emptied
  // either way. Throws what Post throws for the first record the server refused, with
  // *failedAt (when given) its position in the queue (the queue's size for any other failure).
  std::vector<std::vector<std::optional<std::string>>> WriteQueued(size_t* failedAt = nullptr);
  // Forgets the queued records without writing them. Never throws.
  void DiscardQueued() noexcept { queued_.clear(); }
  // WriteQueued in two halves, for a pipeline with other statements: TakeQueued empties the
  // queue and returns its statements; AcceptWritten takes their answers (count of them from
  // results on) and does what WriteQueued does with them.
  std::vector<Statement> TakeQueued();
  std::vector<std::vector<std::optional<std::string>>> AcceptWritten(const QueryResult* results,
                                                                     size_t count);
  // Post in two halves, for a pipeline: PostStatement is the statement Post would send for the
  // record being edited or inserted (which stays so; an empty statement when an edit changed
  // nothing); AcceptPosted takes its answer and does
  // what Post does with it. Throw what Post throws.
  Statement PostStatement();
  void AcceptPosted(const QueryResult& result);
  // The statement LockTable sends. Throws DatabaseError 55000 when the table is not open.
  Statement LockStatement() const;

  // --- Locks ---
  // Locks the table against changes by other sessions until the session's transaction ends:
  // they can still read it, but their writes, and their own LockTable, wait until then. Waits
  // while another session holds such a lock; a wait longer than the session's time-out allows
  // is ended by the server (SQLSTATE 57014) and the transaction can then only be rolled back.
  // Takes no snapshot: as the first statement of a repeatable-read transaction, it lets that
  // transaction see everything the previous holder committed. Throws DatabaseError 55000 when
  // the table is not open or the session runs no transaction, and the server's errors.
  void LockTable();

  // --- Fields (7) ---
  // The field of that name, without regard to case; valid while the table stays open. Throws
  // DatabaseError 42703 when there is none, 55000 when the table is not open.
  Field FieldByName(std::string_view name);
  std::vector<std::string> FieldNames() const;

  // Requests this table asked of the server since it was created (for benchmarks).
  uint64_t Queries() const { return queries_; }

  // --- for Session ---
  void DetachSession() noexcept;

 private:
  friend class Field;
  using Row = std::vector<std::optional<std::string>>;
  struct CalculatedField {
    std::string name;
    size_t size;
    Calculation compute;
  };

  ErrorContext Context(std::string field = "") const;
  Session& LiveSession() const;
  void RequireOpen() const;
  void RequireBrowse() const;
  int FindIndexByFields(std::string_view fieldList) const;
  int FindIndexByName(std::string_view name) const;
  void SelectIndex(int index);
  void PositionBeforeFirst();
  void Resolve();
  const Row* CurrentRow();

  std::vector<Row> Query(const std::string& sql, const Params& params);
  // Every column, comma-separated; each prefixed with "alias." when alias is given.
  std::string SelectList(std::string_view alias = {}) const;
  std::string OrderBy(bool descending) const;
  std::string RangeCondition(Params& params) const;
  std::string KeyColumns() const;
  std::string KeyPlaceholders(Params& params, const Row& row) const;
  std::string PrimaryKeyCondition(Params& params, const Row& row) const;
  Statement InsertStatement() const;
  const std::optional<Row>* Known(std::string_view value);
  struct KnownRange {
    std::vector<std::optional<std::string>> start;
    std::vector<std::optional<std::string>> end;
    std::vector<std::vector<std::optional<std::string>>> rows;
    bool lastOnly = false;
  };
  const KnownRange* KnownRangeNow();
  std::string PrefetchKeyType(const IndexInfo& index) const;
  // For a read ahead's answer: false when the table has closed meanwhile; forgets what an
  // earlier transaction read. Throws DatabaseError 55000 outside a transaction.
  bool StartTaking();
  // The value asked in row of a read ahead's answer; nullopt for none, or for a number the
  // field cannot hold.
  static std::optional<std::string> AskedValue(const QueryResult& result, size_t row, bool integer,
                                               int64_t minimum, int64_t maximum);
  std::vector<Row> RowsOf(const QueryResult& result, int skip = 0) const;
  void TakePosted(std::vector<Row> rows);
  void TakeBatch(std::vector<Row> rows, int64_t limit);
  std::vector<std::optional<std::string>> Bounds(const std::vector<KeyValue>& values) const;

  Session* session_;
  std::string tableName_;
  std::string databaseName_;
  std::string name_;
  std::string wantedIndexName_;
  std::string wantedIndexFields_;
  std::vector<CalculatedField> calculated_;

  const TableMetadata* meta_ = nullptr;
  int index_ = -1;          // position in meta_->indexes
  std::vector<int> order_;  // ordering columns: the index's, then the rest of the primary key
  State state_ = State::kInactive;

  std::vector<std::optional<std::string>> rangeStart_;  // bounds being set
  std::vector<std::optional<std::string>> rangeEnd_;
  std::vector<std::optional<std::string>> activeStart_;  // the applied range
  std::vector<std::optional<std::string>> activeEnd_;
  bool rangeActive_ = false;

  std::vector<Row> rows_;  // the fetched batch
  size_t position_ = 0;
  bool hasMore_ = false;  // the server may hold more records after the batch
  bool eof_ = false;
  bool pendingFirst_ = false;
  int64_t nextBatch_ = 8;

  Row editRow_;
  std::vector<bool> changed_;
  uint64_t queries_ = 0;

  // Prefetch's answers: index -> value -> the record (none: no record), valid in transaction
  // knownTransaction_ of the session.
  std::map<int, std::map<std::string, std::optional<Row>, std::less<>>> known_;
  uint64_t knownTransaction_ = 0;
  std::map<int, std::vector<KnownRange>> knownRanges_;  // by index, same transaction
  std::vector<Statement> queued_;
};

}  // namespace kessmar::dbclient
