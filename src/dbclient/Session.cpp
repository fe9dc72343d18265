#include "dbclient/Session.h"

#include <algorithm>
#include <cctype>
#include <thread>

#include "common/Text.h"
#include "dbclient/Client.h"
#include "dbclient/NetworkTransport.h"
#include "dbclient/Table.h"

namespace kessmar::dbclient {

Session::Session(std::string name, Client* client) : name_(std::move(name)) {
  SetClient(client);
}

Session::~Session() {
  Close();
  if (client_ != nullptr) client_->Detach(this);
  for (Table* table : std::vector<Table*>(tables_)) table->DetachSession();
}

void Session::SetClient(Client* client) {
  if (client == client_) return;
  Close();
  if (client_ != nullptr) client_->Detach(this);
  client_ = client;
  if (client_ != nullptr) client_->Attach(this);
}

std::string Session::ClientName() const {
  return client_ != nullptr ? client_->Name() : "";
}

bool Session::IsOpen() const {
  return connection_ != nullptr && connection_->IsOpen();
}

void Session::Open() {
  EnsureOpen(false);
}

void Session::EnsureOpen(bool automatic) {
  if (IsOpen()) return;
  const ErrorContext context{serverLabel_, "", ""};
  if (transaction_ == TransactionState::kLost) {
    throw DatabaseError("the transaction of session " + name_ +
                            " was rolled back when the connection was lost; roll it back first",
                        sqlstate::kTransactionRolledBack, context);
  }
  DropConnection();
  if (client_ == nullptr) {
    throw DatabaseError("session " + name_ + " has no client", sqlstate::kCannotConnect, context);
  }
  NetworkTransport& transport = client_->Transport();
  connection_ = transport.Connect(credentials_, client_->Timeout(), automatic);
  serverLabel_ = connection_->ServerLabel();
  transport_ = &transport;
  transport_->AddDependent(this, [this] { Close(); });
  client_->SetActive(true);
}

void Session::DropConnection() noexcept {
  if (transport_ != nullptr) {
    transport_->RemoveDependent(this);
    transport_ = nullptr;
  }
  if (connection_ != nullptr) {
    pastRoundTrips_ += connection_->RoundTrips();
    connection_.reset();
  }
}

void Session::Close() noexcept {
  for (Table* table : std::vector<Table*>(tables_)) table->Close();
  DropConnection();
  transaction_ = TransactionState::kNone;
  metadata_.clear();
}

Connection& Session::Live(const ErrorContext& context) {
  if (transaction_ == TransactionState::kLost) {
    throw DatabaseError(
        "the transaction of session " + name_ + " was rolled back when the connection was lost",
        sqlstate::kTransactionRolledBack, context);
  }
  if (connection_ == nullptr) {
    throw DatabaseError("session " + name_ + " is not connected", sqlstate::kConnectionFailure,
                        context);
  }
  if (!connection_->IsOpen()) {
    throw DatabaseError("the connection of session " + name_ + " to the server was lost",
                        sqlstate::kConnectionFailure, context);
  }
  return *connection_;
}

QueryResult Session::Run(const std::string& sql, const Params& params,
                         const ErrorContext& context) {
  Connection& connection = Live(context);
  try {
    return connection.ExecutePrepared(sql, params, timeout_, context);
  } catch (const DatabaseError& e) {
    Failed(e, connection);
  }
}

std::vector<QueryResult> Session::RunPipeline(const std::vector<Statement>& statements,
                                              const ErrorContext& context, size_t* failedAt) {
  if (failedAt != nullptr) *failedAt = statements.size();
  Connection& connection = Live(context);
  try {
    return connection.ExecutePipeline(statements, timeout_, context, failedAt);
  } catch (const DatabaseError& e) {
    Failed(e, connection);
  }
}

void Session::Failed(const DatabaseError& e, const Connection& connection) {
  if (transaction_ != TransactionState::kActive) throw;
  if (!connection.IsOpen()) {
    transaction_ = TransactionState::kLost;
    throw;
  }
  // The server refuses every further statement of the transaction; a caller that went on after
  // a failure it took for harmless learns here what really ended the transaction.
  if (e.SqlState() == sqlstate::kInFailedTransaction && firstFailure_) {
    throw DatabaseError(
        "the transaction was aborted by an earlier failure: " + std::string(firstFailure_->what()),
        firstFailure_->SqlState(), e.Context(), firstFailure_->TimedOut());
  }
  if (!firstFailure_) firstFailure_ = e;
  throw;
}

QueryResult Session::RunOnce(const std::string& sql, const ErrorContext& context) {
  return RunPlain(sql, context);
}

QueryResult Session::RunOnce(const std::string& sql, const Params& params,
                             const ErrorContext& context) {
  return RunPlain(sql, context, params);
}

bool Session::EndServerProcess(int pid, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  const ErrorContext context{serverLabel_, "", ""};
  EnsureOpen(false);
  const Params process{std::to_string(pid)};
  // Allowed for a process of the same login role; false (with a notice) when it is gone.
  RunPlain("SELECT pg_catalog.pg_terminate_backend($1::integer)", context, process);
  for (;;) {
    const QueryResult running = RunPlain(
        "SELECT 1 FROM pg_catalog.pg_stat_activity WHERE pid = $1::integer", context, process);
    if (running.Rows() == 0) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

QueryResult Session::RunPlain(const std::string& sql, const ErrorContext& context,
                              const Params& params) {
  Connection& connection = Live(context);
  try {
    return connection.Execute(sql, params, timeout_, context);
  } catch (const DatabaseError& e) {
    Failed(e, connection);
  }
}

void Session::StartTransaction(Isolation isolation) {
  const ErrorContext context{serverLabel_, "", ""};
  if (transaction_ != TransactionState::kNone) {
    throw DatabaseError("session " + name_ + " already runs a transaction", sqlstate::kWrongState,
                        context);
  }
  EnsureOpen(false);
  RunPlain(
      isolation == Isolation::kRepeatableRead ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "BEGIN",
      context);
  transaction_ = TransactionState::kActive;
  ++transactionSerial_;
  firstFailure_.reset();
}

std::vector<QueryResult> Session::StartTransaction(Isolation isolation,
                                                   const std::vector<Statement>& first,
                                                   size_t* failedAt) {
  const ErrorContext context{serverLabel_, "", ""};
  if (failedAt != nullptr) *failedAt = first.size();
  if (transaction_ != TransactionState::kNone) {
    throw DatabaseError("session " + name_ + " already runs a transaction", sqlstate::kWrongState,
                        context);
  }
  EnsureOpen(false);
  std::vector<Statement> all;
  all.reserve(first.size() + 1);
  all.push_back(
      {isolation == Isolation::kRepeatableRead ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "BEGIN",
       {}});
  all.insert(all.end(), first.begin(), first.end());
  Connection& connection = Live(context);
  size_t failed = all.size();
  std::vector<QueryResult> results;
  try {
    // A lock among first may wait for most of one time-out before the rest can run.
    results = connection.ExecutePipeline(all, 2 * timeout_, context, &failed);
  } catch (const DatabaseError&) {
    // BEGIN went through: the transaction it opened is aborted and must end here.
    if (failed > 0 && failed < all.size() && connection.IsOpen()) {
      if (failedAt != nullptr) *failedAt = failed - 1;
      try {
        connection.Execute("ROLLBACK", {}, timeout_, context);
      } catch (const DatabaseError&) {
        // Unanswered, the server rolls back when the connection closes.
        connection.Close();
      }
    }
    throw;
  }
  transaction_ = TransactionState::kActive;
  ++transactionSerial_;
  firstFailure_.reset();
  results.erase(results.begin());
  return results;
}

std::vector<QueryResult> Session::Commit(const std::vector<Statement>& last, size_t* failedAt) {
  const ErrorContext context{serverLabel_, "", ""};
  if (failedAt != nullptr) *failedAt = last.size();
  if (transaction_ == TransactionState::kNone) {
    throw DatabaseError("session " + name_ + " runs no transaction to commit",
                        sqlstate::kWrongState, context);
  }
  if (transaction_ == TransactionState::kLost || firstFailure_) {
    Commit();  // reports the loss or the earlier failure, and ends the transaction
    return {};
  }
  std::vector<Statement> all(last);
  all.push_back({"COMMIT", {}});
  size_t failed = all.size();
  std::vector<QueryResult> results;
  try {
    results = RunPipeline(all, context, &failed);
  } catch (const DatabaseError&) {
    if (failedAt != nullptr && failed < last.size()) *failedAt = failed;
    try {
      Rollback();
    } catch (const DatabaseError&) {
      // Unanswered, the server rolls back when the connection closes.
      DropConnection();
    }
    transaction_ = TransactionState::kNone;
    firstFailure_.reset();
    throw;
  }
  transaction_ = TransactionState::kNone;
  const QueryResult& commit = results.back();
  if (commit.CommandStatus() == "ROLLBACK") {
    firstFailure_.reset();
    throw DatabaseError("the transaction was rolled back by the server at its commit",
                        sqlstate::kTransactionRolledBack, context);
  }
  firstFailure_.reset();
  results.pop_back();
  return results;
}

void Session::Commit() {
  const ErrorContext context{serverLabel_, "", ""};
  if (transaction_ == TransactionState::kNone) {
    throw DatabaseError("session " + name_ + " runs no transaction to commit",
                        sqlstate::kWrongState, context);
  }
  if (transaction_ == TransactionState::kLost) {
    transaction_ = TransactionState::kNone;
    throw DatabaseError("the transaction was rolled back: the connection to the server was lost",
                        sqlstate::kTransactionRolledBack, context);
  }
  QueryResult result;
  try {
    result = RunPlain("COMMIT", context);
  } catch (...) {
    transaction_ = TransactionState::kNone;
    throw;
  }
  transaction_ = TransactionState::kNone;
  // A transaction in which a statement failed ends in a rollback even when asked to commit.
  if (result.CommandStatus() == "ROLLBACK") {
    std::string why = "a statement in it failed";
    if (firstFailure_) why += ": " + std::string(firstFailure_->what());
    firstFailure_.reset();
    throw DatabaseError("the transaction was rolled back by the server: " + why,
                        sqlstate::kTransactionRolledBack, context);
  }
  firstFailure_.reset();
}

void Session::Rollback() {
  if (transaction_ == TransactionState::kNone) return;
  const bool lost = transaction_ == TransactionState::kLost;
  transaction_ = TransactionState::kNone;
  if (lost || !IsOpen()) return;
  try {
    RunPlain("ROLLBACK", {serverLabel_, "", ""});
  } catch (const DatabaseError& e) {
    if (!e.IsConnectionFailure()) throw;
  }
}

std::vector<std::string> Session::DatabaseAliases() {
  EnsureOpen(false);
  const QueryResult rows =
      Run("SELECT nspname::text FROM pg_catalog.pg_namespace WHERE nspname NOT LIKE 'pg\\_%' "
          "AND nspname <> 'information_schema' ORDER BY 1",
          {}, {serverLabel_, "", ""});
  std::vector<std::string> aliases;
  for (int r = 0; r < rows.Rows(); ++r) aliases.emplace_back(rows.Value(r, 0));
  return aliases;
}

uint64_t Session::RoundTrips() const {
  return pastRoundTrips_ + (connection_ != nullptr ? connection_->RoundTrips() : 0);
}

int Session::ServerProcessId() const {
  return connection_ != nullptr ? connection_->ServerProcessId() : 0;
}

const TableMetadata& Session::Metadata(const std::string& databaseAlias, const std::string& table,
                                       const ErrorContext& context) {
  const std::string key = ToLowerAscii(databaseAlias + "\n" + table);
  if (auto found = metadata_.find(key); found != metadata_.end()) return *found->second;
  Connection& connection = Live(context);
  std::unique_ptr<TableMetadata> meta;
  try {
    meta = std::make_unique<TableMetadata>(
        LoadTableMetadata(connection, databaseAlias, table, timeout_, context));
  } catch (const DatabaseError& e) {
    Failed(e, connection);
  }
  return *metadata_.emplace(key, std::move(meta)).first->second;
}

void Session::LoadCatalog() {
  const ErrorContext context{serverLabel_, "", ""};
  EnsureOpen(false);
  std::vector<std::pair<std::string, std::string>> wanted;
  std::vector<std::string> keys;
  for (const Table* table : tables_) {
    std::string key = ToLowerAscii(table->DatabaseName() + "\n" + table->TableName());
    if (metadata_.contains(key) || std::find(keys.begin(), keys.end(), key) != keys.end()) {
      continue;
    }
    wanted.emplace_back(table->DatabaseName(), table->TableName());
    keys.push_back(std::move(key));
  }
  if (wanted.empty()) return;
  Connection& connection = Live(context);
  std::vector<std::optional<TableMetadata>> entries;
  try {
    entries = LoadTablesMetadata(connection, wanted, timeout_, context);
  } catch (const DatabaseError& e) {
    Failed(e, connection);
  }
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i]) metadata_.emplace(keys[i], std::make_unique<TableMetadata>(*entries[i]));
  }
}

void Session::Register(Table* table) {
  if (std::find(tables_.begin(), tables_.end(), table) == tables_.end()) tables_.push_back(table);
}

void Session::Unregister(Table* table) {
  std::erase(tables_, table);
}

}  // namespace kessmar::dbclient
