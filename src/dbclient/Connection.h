// One libpq connection to a back-office server, used without ever blocking past a deadline:
// every request is sent and answered through libpq's non-blocking calls and poll() deadlines, so
// a server that stops answering (stopped, unreachable) gives a DatabaseError within the time-out
// and one that vanishes gives it at once. A connection given up for lack of an answer is closed;
// the server rolls back whatever transaction it held.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "dbclient/DatabaseError.h"
#include "dbclient/QueryResult.h"

struct pg_conn;
struct pg_result;

namespace kessmar::dbclient {

// Who connects. Empty members leave the choice to libpq's environment and files (PGUSER,
// PGPASSWORD, ~/.pgpass).
struct Credentials {
  std::string user;
  std::string password;
};

// Where a connection goes.
struct ConnectTarget {
  std::string serverLabel;       // the server address as messages name it
  std::string host;              // IPv4 address, host name, or a socket folder ("/...")
  std::optional<uint16_t> port;  // none: PGPORT, else 5432
  Credentials credentials;
  // The database: none means PGDATABASE, else "vemo".
  std::optional<std::string> database;
};

// Text parameters of a statement; nullopt is SQL null.
using Params = std::vector<std::optional<std::string>>;

// One statement of a pipeline.
struct Statement {
  std::string sql;
  Params params;
};

class Connection {
 public:
  // Connects within timeout. The session runs with DateStyle ISO, client encoding UTF-8, and a
  // server-side statement time-out a little below timeout, so that a statement waiting on a lock
  // is ended by the server (and so never half done) before the client gives up. Throws
  // DatabaseError (08001) naming the server when it cannot connect, TimedOut() when the server
  // did not complete the handshake in time.
  static std::unique_ptr<Connection> Open(const ConnectTarget& target,
                                          std::chrono::milliseconds timeout);
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;
  ~Connection();

  // Runs one statement with parameters ($1, $2, ...) through a statement prepared once per
  // connection under a name of its own (first use: prepared and run in one round trip). Throws
  // DatabaseError: the server's error with its SQLSTATE (KeyViolation for 23505), or 08006 when the
  // connection is lost or no answer came within timeout (then the connection is closed). context
  // names the table and field for the message; its server is filled in here.
  QueryResult ExecutePrepared(const std::string& sql, const Params& params,
                              std::chrono::milliseconds timeout, ErrorContext context = {});
  // The same without preparing (for statements run once).
  QueryResult Execute(const std::string& sql, const Params& params,
                      std::chrono::milliseconds timeout, ErrorContext context = {});
  // Runs statements in order in one round trip (libpq's pipeline mode), each through a statement
  // prepared once per connection; returns their results in order. The first failure ends the
  // pipeline (the server skips what follows) and is thrown as ExecutePrepared throws it, with
  // *failedAt (when given) set to its statement's position; statements.size() otherwise.
  std::vector<QueryResult> ExecutePipeline(const std::vector<Statement>& statements,
                                           std::chrono::milliseconds timeout,
                                           ErrorContext context = {}, size_t* failedAt = nullptr);
  // Several statements separated by ";" without parameters, in one request (schema scripts).
  void ExecuteScript(const std::string& sql, std::chrono::milliseconds timeout,
                     ErrorContext context = {});

  // False once the connection was lost, given up or closed.
  bool IsOpen() const;
  // Closes the connection (the server rolls back an open transaction). Never throws.
  void Close() noexcept;

  // Round trips since the connection was opened, its opening included: TCP's handshake (not
  // for a Unix socket), each wait for the server during the start-up (a TLS request, the
  // start-up message, each step of authentication), and each request.
  uint64_t RoundTrips() const { return roundTrips_; }
  // The server process serving this connection (for tests that stop or kill it); 0 when closed.
  int ServerProcessId() const;
  const std::string& ServerLabel() const { return label_; }

  // Ends a libpq connection (PQfinish): the deleter of every owner of one.
  struct Finish {
    void operator()(pg_conn* conn) const;
  };

 private:
  Connection(pg_conn* conn, std::string label);
  template <typename Send>
  QueryResult Run(Send send, std::chrono::milliseconds timeout, ErrorContext& context);
  [[noreturn]] void Lost(const std::string& why, ErrorContext& context, bool timedOut);
  // What a request does with one of its results: an error (the first one wins), one to pass
  // over (a notice; a statement skipped after an error in a pipeline), or an answer. A copy
  // the client never asked for loses the connection (Lost).
  enum class ResultKind { kError, kPassOver, kAnswer };
  ResultKind KindOf(const pg_result* result, ErrorContext& context);
  void FlushAll(std::chrono::steady_clock::time_point deadline, ErrorContext& context);
  void AwaitResult(std::chrono::steady_clock::time_point deadline, ErrorContext& context);
  std::string NoAnswer(std::chrono::steady_clock::time_point deadline) const;
  [[noreturn]] static void ThrowResultError(const pg_result* failed, ErrorContext& context);

  std::unique_ptr<pg_conn, Finish> conn_;
  std::string label_;
  uint64_t roundTrips_ = 0;
  std::chrono::milliseconds timeout_{0};  // of the request running
  int serverPid_ = 0;
  std::unordered_map<std::string, std::string> prepared_;  // statement text -> name
};

}  // namespace kessmar::dbclient
