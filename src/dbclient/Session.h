// A database session: one libpq connection to a server, reached through its client, with every
// database alias of that server (they are schemas of one database, so one session reaches every
// table and one transaction can span all of them). Tables belong to a session.
//
// The session connects when it is opened, or on its own when one of its tables is opened. Every
// request waits at most Timeout() (2000 ms unless set). When the connection is lost or given up,
// the session is no longer open; opening it (or one of its closed tables) connects again, unless
// a transaction was running: then every request fails until Rollback (or Commit, which reports
// the loss) ends it, so writes meant for that transaction never land outside it.
#pragma once

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/Connection.h"
#include "dbclient/TableMetadata.h"

namespace kessmar::dbclient {

class Client;
class NetworkTransport;
class Table;

// How a transaction sees the changes of other sessions. kReadCommitted: each statement sees what
// was committed before it began. kRepeatableRead: every statement sees one snapshot, taken at the
// first statement that reads or writes data (Table::LockTable does not take it, so a transaction
// that locks first sees everything committed before it got the lock); a change to a record that
// another session changed after the snapshot fails with SQLSTATE 40001.
enum class Isolation { kReadCommitted, kRepeatableRead };

class Session {
 public:
  explicit Session(std::string name, Client* client = nullptr);
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  // Closes the session; its tables become unusable (every call on them throws).
  ~Session();

  const std::string& Name() const { return name_; }

  // The client it connects through (not owned). Changing it closes the session.
  void SetClient(Client* client);
  Client* GetClient() const { return client_; }
  // The client's name, empty without one.
  std::string ClientName() const;

  std::chrono::milliseconds Timeout() const { return timeout_; }
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

  // Credentials for the next connection; empty members leave them to libpq's environment.
  void SetCredentials(Credentials credentials) { credentials_ = std::move(credentials); }

  // Connects when not connected. Throws DatabaseError (08001 and the client's errors).
  void Open();
  // Closes its tables and the connection (the server rolls back a running transaction). Never
  // throws.
  void Close() noexcept;
  // Connected, and the connection not lost.
  bool IsOpen() const;

  // Transactions. StartTransaction throws DatabaseError (55000) when one is running. Commit
  // throws when none is running, and 40000 when the server rolled it back (a statement in it
  // failed: the message names the first failure) or the connection was lost meanwhile; the
  // transaction has ended either way. Within a transaction, every request after a failed one
  // throws with the SQLSTATE and text of that first failure, not the server's "current
  // transaction is aborted".
  // Rollback ends a running transaction and never fails for a lost connection (the server has
  // rolled it back already).
  void StartTransaction(Isolation isolation = Isolation::kReadCommitted);
  // Starts the transaction and runs first in the same round trip (a pipeline after BEGIN);
  // returns their answers in order. When one of them fails, the transaction is rolled back
  // (none runs) and the failure is thrown with *failedAt (when given) its position in first
  // (first.size() for a failure of BEGIN or of the connection). Waits at most twice Timeout():
  // a lock among first may take most of one (the server ends its wait before that).
  std::vector<QueryResult> StartTransaction(Isolation isolation,
                                            const std::vector<Statement>& first,
                                            size_t* failedAt = nullptr);
  void Commit();
  // Runs last and then COMMIT in one round trip; returns the answers to last. When one of them
  // fails, the transaction is rolled back and the failure thrown with *failedAt its position in
  // last; otherwise as Commit (*failedAt last.size()). A lost connection may have committed or
  // not: the caller settles that. The transaction has ended either way.
  std::vector<QueryResult> Commit(const std::vector<Statement>& last, size_t* failedAt = nullptr);
  void Rollback();
  bool InTransaction() const { return transaction_ != TransactionState::kNone; }
  // Grows with every transaction started: tells one transaction from the next.
  uint64_t TransactionSerial() const { return transactionSerial_; }

  // The database aliases the server offers (the schemas of its database), sorted. Opens the
  // session when needed. Throws DatabaseError.
  std::vector<std::string> DatabaseAliases();

  // Round trips over the life of this session: every connection's opening and requests
  // (Connection::RoundTrips).
  uint64_t RoundTrips() const;
  // The server process of the current connection; 0 when not connected.
  int ServerProcessId() const;
  // The server address of the current (or last) connection.
  const std::string& ServerLabel() const { return serverLabel_; }

  // --- for tables ---
  // Connects when needed (automatic: on behalf of a table). Throws DatabaseError.
  void EnsureOpen(bool automatic);
  // Runs a prepared statement on the connection, within Timeout(). Throws DatabaseError; a lost
  // connection during a transaction marks the transaction lost.
  QueryResult Run(const std::string& sql, const Params& params, const ErrorContext& context);
  // Runs statements in one round trip (Connection::ExecutePipeline), with Run's handling of the
  // transaction. *failedAt: the position of the statement that failed (statements.size() when
  // none did, or the connection failed).
  std::vector<QueryResult> RunPipeline(const std::vector<Statement>& statements,
                                       const ErrorContext& context, size_t* failedAt = nullptr);
  // The same without preparing the statement (for statements run once in a while: one round
  // trip where a prepared statement's first use takes two).
  QueryResult RunOnce(const std::string& sql, const ErrorContext& context);
  QueryResult RunOnce(const std::string& sql, const Params& params, const ErrorContext& context);

  // Ends the server process pid (one of this session's earlier connections, whose answer was
  // lost) and waits at most bound until it is gone, on this session's connection (opened when
  // needed, outside any transaction). True once the process is gone: from then on whatever it
  // did is settled (committed or rolled back) and visible. False when it still runs at the
  // bound. Throws DatabaseError when the server cannot be asked.
  bool EndServerProcess(int pid, std::chrono::milliseconds bound);
  // Reads the catalog entries of every table of the session not read yet, in one request (so
  // that opening them costs no round trip each). A table whose entry cannot be read is left to
  // its Open, which names the failure. Connects when needed. Throws DatabaseError for a failure
  // of the connection.
  void LoadCatalog();
  // The catalog entry of a table, read once per session. Throws DatabaseError.
  const TableMetadata& Metadata(const std::string& databaseAlias, const std::string& table,
                                const ErrorContext& context);
  void Register(Table* table);
  void Unregister(Table* table);

 private:
  enum class TransactionState { kNone, kActive, kLost };
  Connection& Live(const ErrorContext& context);
  void DropConnection() noexcept;
  QueryResult RunPlain(const std::string& sql, const ErrorContext& context,
                       const Params& params = {});
  // Rethrows e, a failure of a request on connection: marks a running transaction lost with the
  // connection, remembers its first failure, and names that failure instead of the server's
  // "current transaction is aborted" for every later request of the transaction.
  [[noreturn]] void Failed(const DatabaseError& e, const Connection& connection);

  std::string name_;
  Client* client_ = nullptr;
  NetworkTransport* transport_ = nullptr;  // the transport of the current connection
  std::chrono::milliseconds timeout_{2000};
  Credentials credentials_;
  std::unique_ptr<Connection> connection_;
  std::string serverLabel_;
  uint64_t pastRoundTrips_ = 0;
  TransactionState transaction_ = TransactionState::kNone;
  uint64_t transactionSerial_ = 0;
  std::optional<DatabaseError> firstFailure_;  // of the running transaction
  std::map<std::string, std::unique_ptr<TableMetadata>> metadata_;
  std::vector<Table*> tables_;
};

// Holds a transaction of a session for a scope: started on construction, rolled back on
// destruction unless Commit was called (libpqxx style).
class Transaction {
 public:
  // Throws what Session::StartTransaction throws.
  explicit Transaction(Session& session, Isolation isolation = Isolation::kReadCommitted)
      : session_(session) {
    session_.StartTransaction(isolation);
  }
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;
  ~Transaction() {
    if (!done_) {
      try {
        session_.Rollback();
      } catch (...) {
        // The server rolls back on its own when it cannot be told.
      }
    }
  }
  // Starts it together with first (Session::StartTransaction); *results gets their answers.
  Transaction(Session& session, Isolation isolation, const std::vector<Statement>& first,
              std::vector<QueryResult>& results, size_t* failedAt = nullptr)
      : session_(session) {
    results = session_.StartTransaction(isolation, first, failedAt);
  }
  // Throws what Session::Commit throws; the transaction has ended either way.
  void Commit() {
    done_ = true;
    session_.Commit();
  }
  std::vector<QueryResult> Commit(const std::vector<Statement>& last, size_t* failedAt = nullptr) {
    done_ = true;
    return session_.Commit(last, failedAt);
  }
  void Rollback() {
    done_ = true;
    session_.Rollback();
  }

 private:
  Session& session_;
  bool done_ = false;
};

}  // namespace kessmar::dbclient
