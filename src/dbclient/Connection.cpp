#include "dbclient/Connection.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cstdlib>
#include <deque>
#include <utility>

#include "platform/net/SocketWait.h"

namespace kessmar::dbclient {
namespace {

using Clock = std::chrono::steady_clock;

// libpq's messages end in a line break and may span lines; make them one line.
std::string OneLine(const char* message) {
  std::string text = message != nullptr ? message : "";
  std::string result;
  bool space = false;
  for (char c : text) {
    if (c == '\n' || c == '\r' || c == '\t') {
      space = true;
      continue;
    }
    if (space && !result.empty()) result += ' ';
    space = false;
    result += c;
  }
  return result;
}

std::string DefaultDatabase() {
  const char* database = std::getenv("PGDATABASE");
  return database != nullptr && *database != '\0' ? database : "vemo";
}

// The index a unique-constraint error is about, as the client names it: the server's name
// without the "table." prefix that the schema gives index names.
std::string ClientIndexName(const char* constraint) {
  std::string name = constraint != nullptr ? constraint : "";
  if (const size_t dot = name.find('.'); dot != std::string::npos) name.erase(0, dot + 1);
  return name;
}

// Owners of libpq's objects, so that every way out of a function frees them.
struct ResultFree {
  void operator()(PGresult* result) const { PQclear(result); }
};
using ResultPtr = std::unique_ptr<PGresult, ResultFree>;
using ConnPtr = std::unique_ptr<pg_conn, Connection::Finish>;

// The SQLSTATE of a failed login, from the server's message (libpq gives no code for it): a
// refusal is no unreachable server, and its message should say what to create.
const char* LoginFailureState(const std::string& message) {
  if (message.find("password authentication failed") != std::string::npos ||
      message.find("fe_sendauth: no password supplied") != std::string::npos) {
    return sqlstate::kInvalidPassword;
  }
  if ((message.find("role \"") != std::string::npos &&
       message.find("does not exist") != std::string::npos) ||
      message.find("no pg_hba.conf entry") != std::string::npos) {
    return sqlstate::kInvalidAuthorization;
  }
  if (message.find("permission denied for database") != std::string::npos ||
      message.find("not permitted to log in") != std::string::npos) {
    return sqlstate::kInsufficientPrivilege;
  }
  if (message.find("database \"") != std::string::npos &&
      message.find("does not exist") != std::string::npos) {
    return "3D000";
  }
  return sqlstate::kCannotConnect;
}

}  // namespace

Connection::Connection(pg_conn* conn, std::string label)
    : conn_(conn), label_(std::move(label)), serverPid_(PQbackendPID(conn)) {}

Connection::~Connection() {
  Close();
}

void Connection::Finish::operator()(pg_conn* conn) const {
  PQfinish(conn);
}

void Connection::Close() noexcept {
  conn_.reset();
}

bool Connection::IsOpen() const {
  return conn_ != nullptr && PQstatus(conn_.get()) == CONNECTION_OK;
}

int Connection::ServerProcessId() const {
  return conn_ != nullptr ? serverPid_ : 0;
}

std::unique_ptr<Connection> Connection::Open(const ConnectTarget& target,
                                             std::chrono::milliseconds timeout) {
  const ErrorContext context{target.serverLabel, "", ""};
  if (target.host.empty()) {
    throw DatabaseError("no server address to connect to", sqlstate::kCannotConnect, context);
  }
  // The server ends a statement a little before the client would give up on it.
  const auto serverLimit = std::max<long long>(timeout.count() - 500, timeout.count() / 2);
  const std::string options =
      "-c statement_timeout=" + std::to_string(std::max<long long>(serverLimit, 1)) +
      " -c DateStyle=ISO,YMD";
  // libpq's own connect_timeout (whole seconds) only backs up our deadline.
  const std::string backstop =
      std::to_string(std::max<long long>(2, (timeout.count() + 999) / 1000 + 1));
  const std::string port = target.port ? std::to_string(*target.port) : "";
  const std::string database = target.database ? *target.database : DefaultDatabase();

  std::vector<const char*> keys;
  std::vector<const char*> values;
  std::deque<std::string> storage;  // keeps every value alive until the connection starts
  auto add = [&](const char* key, std::string value) {
    if (value.empty()) return;
    keys.push_back(key);
    values.push_back(storage.emplace_back(std::move(value)).c_str());
  };
  add("host", target.host);
  add("port", port);
  add("dbname", database);
  add("user", target.credentials.user);
  add("password", target.credentials.password);
  add("client_encoding", "UTF8");
  add("application_name", "kessmar-scanner-tool");
  add("connect_timeout", backstop);
  add("options", options);
  keys.push_back(nullptr);
  values.push_back(nullptr);

  const auto deadline = Clock::now() + timeout;
  ConnPtr owner(PQconnectStartParams(keys.data(), values.data(), 0));
  pg_conn* conn = owner.get();
  if (conn == nullptr) throw std::bad_alloc();
  auto fail = [&](const std::string& why, bool timedOut) {
    throw DatabaseError(why, timedOut ? sqlstate::kCannotConnect : LoginFailureState(why), context,
                        timedOut);
  };
  if (PQstatus(conn) == CONNECTION_BAD) {
    fail("cannot connect: " + OneLine(PQerrorMessage(conn)), false);
  }
  // The connection's own round trips: TCP's handshake (the wait for the socket to become
  // writable), then every wait for the server's answer (TLS or GSS negotiation, the start-up
  // and each step of authentication).
  uint64_t trips = 0;
  const bool socketFolder = !target.host.empty() && target.host.front() == '/';
  PostgresPollingStatusType status = PGRES_POLLING_WRITING;
  bool connecting = true;
  while (status != PGRES_POLLING_OK) {
    if (status == PGRES_POLLING_FAILED) {
      fail("cannot connect: " + OneLine(PQerrorMessage(conn)), false);
    }
    if (status == PGRES_POLLING_READING || (connecting && !socketFolder)) {
      ++trips;
      connecting = false;
    }
    const auto waited = platform::WaitForSocket(PQsocket(conn), status == PGRES_POLLING_READING,
                                                status == PGRES_POLLING_WRITING, deadline);
    if (waited == platform::SocketWaitResult::kTimedOut) {
      fail("cannot connect: no answer within " + std::to_string(timeout.count()) + " ms", true);
    }
    if (waited == platform::SocketWaitResult::kFailed) {
      fail("cannot connect: waiting for the server failed", false);
    }
    status = PQconnectPoll(conn);
  }
  // Notices and warnings of the server are nobody's business here; never print them.
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  if (PQsetnonblocking(conn, 1) != 0) {
    fail("cannot connect: " + OneLine(PQerrorMessage(conn)), false);
  }
  auto connection = std::unique_ptr<Connection>(new Connection(conn, target.serverLabel));
  connection->roundTrips_ = trips;
  static_cast<void>(owner.release());  // the connection finishes it now
  return connection;
}

void Connection::Lost(const std::string& why, ErrorContext& context, bool timedOut) {
  Close();
  context.server = label_;
  throw DatabaseError(why, sqlstate::kConnectionFailure, std::move(context), timedOut);
}

void Connection::FlushAll(Clock::time_point deadline, ErrorContext& context) {
  pg_conn* const conn = conn_.get();
  // Send everything, reading meanwhile so that a server that answers early is not blocked.
  for (;;) {
    const int flushed = PQflush(conn);
    if (flushed == 0) break;
    if (flushed < 0) {
      Lost("connection to the server lost: " + OneLine(PQerrorMessage(conn)), context, false);
    }
    const auto waited = platform::WaitForSocket(PQsocket(conn), true, true, deadline);
    if (waited == platform::SocketWaitResult::kTimedOut) Lost(NoAnswer(deadline), context, true);
    if (waited == platform::SocketWaitResult::kFailed || PQconsumeInput(conn) == 0) {
      Lost("connection to the server lost: " + OneLine(PQerrorMessage(conn)), context, false);
    }
  }
}

void Connection::AwaitResult(Clock::time_point deadline, ErrorContext& context) {
  pg_conn* const conn = conn_.get();
  while (PQisBusy(conn) != 0) {
    const auto waited = platform::WaitForSocket(PQsocket(conn), true, false, deadline);
    if (waited == platform::SocketWaitResult::kTimedOut) Lost(NoAnswer(deadline), context, true);
    if (waited == platform::SocketWaitResult::kFailed || PQconsumeInput(conn) == 0) {
      Lost("connection to the server lost: " + OneLine(PQerrorMessage(conn)), context, false);
    }
  }
}

std::string Connection::NoAnswer(Clock::time_point) const {
  return "no answer from the server within " + std::to_string(timeout_.count()) + " ms";
}

void Connection::ThrowResultError(const pg_result* failed, ErrorContext& context) {
  const char* state = PQresultErrorField(failed, PG_DIAG_SQLSTATE);
  std::string text = OneLine(PQresultErrorField(failed, PG_DIAG_MESSAGE_PRIMARY));
  if (text.empty()) text = OneLine(PQresultErrorMessage(failed));
  if (const char* detail = PQresultErrorField(failed, PG_DIAG_MESSAGE_DETAIL)) {
    text += " (" + OneLine(detail) + ")";
  }
  const std::string code = state != nullptr ? state : sqlstate::kProtocolViolation;
  if (code == sqlstate::kUniqueViolation) {
    throw KeyViolation(text, ClientIndexName(PQresultErrorField(failed, PG_DIAG_CONSTRAINT_NAME)),
                       std::move(context));
  }
  throw DatabaseError(text, code, std::move(context));
}

template <typename Send>
QueryResult Connection::Run(Send send, std::chrono::milliseconds timeout, ErrorContext& context) {
  context.server = label_;
  if (conn_ == nullptr) {
    throw DatabaseError("the connection to the server is closed", sqlstate::kConnectionFailure,
                        std::move(context));
  }
  pg_conn* const conn = conn_.get();
  const auto deadline = Clock::now() + timeout;
  timeout_ = timeout;
  if (!send(conn)) {
    if (PQstatus(conn) == CONNECTION_BAD) {
      Lost("connection to the server lost: " + OneLine(PQerrorMessage(conn)), context, false);
    }
    throw DatabaseError(OneLine(PQerrorMessage(conn)), sqlstate::kProtocolViolation,
                        std::move(context));
  }
  ++roundTrips_;
  FlushAll(deadline, context);
  // Collect every result of the request; the first error wins, otherwise the last result.
  ResultPtr kept;
  ResultPtr error;
  for (;;) {
    AwaitResult(deadline, context);
    ResultPtr result(PQgetResult(conn));
    if (result == nullptr) break;
    switch (KindOf(result.get(), context)) {
      case ResultKind::kError:
        if (error == nullptr) error = std::move(result);
        break;
      case ResultKind::kPassOver:
        break;
      case ResultKind::kAnswer:
        kept = std::move(result);
        break;
    }
  }
  if (PQstatus(conn) == CONNECTION_BAD) {
    const std::string why = error != nullptr ? OneLine(PQresultErrorMessage(error.get()))
                                             : OneLine(PQerrorMessage(conn));
    Lost("connection to the server lost: " + why, context, false);
  }
  if (error != nullptr) ThrowResultError(error.get(), context);
  return QueryResult(kept.release());
}

Connection::ResultKind Connection::KindOf(const PGresult* result, ErrorContext& context) {
  switch (PQresultStatus(result)) {
    case PGRES_FATAL_ERROR:
    case PGRES_BAD_RESPONSE:
      return ResultKind::kError;
    case PGRES_NONFATAL_ERROR:
    case PGRES_PIPELINE_ABORTED:
      return ResultKind::kPassOver;
    case PGRES_COPY_IN:
    case PGRES_COPY_OUT:
    case PGRES_COPY_BOTH:
      Lost("the server started a copy that the client never asked for", context, false);
    default:
      return ResultKind::kAnswer;
  }
}

std::vector<QueryResult> Connection::ExecutePipeline(const std::vector<Statement>& statements,
                                                     std::chrono::milliseconds timeout,
                                                     ErrorContext context, size_t* failedAt) {
  context.server = label_;
  if (failedAt != nullptr) *failedAt = statements.size();
  if (conn_ == nullptr) {
    throw DatabaseError("the connection to the server is closed", sqlstate::kConnectionFailure,
                        std::move(context));
  }
  std::vector<QueryResult> results;
  if (statements.empty()) return results;
  pg_conn* const conn = conn_.get();
  const auto deadline = Clock::now() + timeout;
  timeout_ = timeout;
  auto sendFailed = [&]() {
    if (PQstatus(conn) == CONNECTION_BAD) {
      Lost("connection to the server lost: " + OneLine(PQerrorMessage(conn)), context, false);
    }
    const std::string why = OneLine(PQerrorMessage(conn));
    Close();  // a pipeline left half sent cannot be used again
    throw DatabaseError(why, sqlstate::kProtocolViolation, std::move(context));
  };
  if (PQenterPipelineMode(conn) == 0) sendFailed();
  // What was sent, in order: a statement's preparation (its new name) or its execution.
  struct Sent {
    size_t statement;
    std::string prepared;  // non-empty: the preparation of this name
  };
  std::vector<Sent> sent;
  std::unordered_map<std::string, std::string> preparing;  // statement text -> name
  for (size_t i = 0; i < statements.size(); ++i) {
    const Statement& statement = statements[i];
    std::string name;
    if (auto known = prepared_.find(statement.sql); known != prepared_.end()) {
      name = known->second;
    } else if (auto pending = preparing.find(statement.sql); pending != preparing.end()) {
      name = pending->second;
    } else {
      name = "k" + std::to_string(prepared_.size() + preparing.size() + 1);
      if (PQsendPrepare(conn, name.c_str(), statement.sql.c_str(), 0, nullptr) == 0) sendFailed();
      preparing.emplace(statement.sql, name);
      sent.push_back({i, name});
    }
    std::vector<const char*> values;
    values.reserve(statement.params.size());
    for (const auto& p : statement.params) values.push_back(p ? p->c_str() : nullptr);
    if (PQsendQueryPrepared(conn, name.c_str(), static_cast<int>(values.size()), values.data(),
                            nullptr, nullptr, 0) == 0) {
      sendFailed();
    }
    sent.push_back({i, ""});
    // Keep the output moving so that a long pipeline never waits on a full buffer.
    if (sent.size() % 64 == 0) FlushAll(deadline, context);
  }
  if (PQpipelineSync(conn) == 0) sendFailed();
  ++roundTrips_;
  FlushAll(deadline, context);

  ResultPtr error;
  size_t errorAt = statements.size();
  results.resize(statements.size());
  for (const Sent& item : sent) {
    for (;;) {
      AwaitResult(deadline, context);
      ResultPtr result(PQgetResult(conn));
      if (result == nullptr) break;
      switch (KindOf(result.get(), context)) {
        case ResultKind::kError:
          if (error == nullptr) {
            error = std::move(result);
            errorAt = item.statement;
          }
          break;
        case ResultKind::kPassOver:
          break;
        case ResultKind::kAnswer:
          if (!item.prepared.empty()) {
            prepared_.emplace(statements[item.statement].sql, item.prepared);
          } else {
            results[item.statement] = QueryResult(result.release());
          }
          break;
      }
    }
    if (PQstatus(conn) == CONNECTION_BAD) break;
  }
  // The end of the pipeline.
  if (PQstatus(conn) != CONNECTION_BAD) {
    AwaitResult(deadline, context);
    ResultPtr sync(PQgetResult(conn));
    if (sync == nullptr || PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC) {
      Lost("the server's answer to a pipeline ended out of order", context, false);
    }
    if (PQexitPipelineMode(conn) == 0) {
      Lost("the pipeline could not be left: " + OneLine(PQerrorMessage(conn)), context, false);
    }
  }
  if (PQstatus(conn) == CONNECTION_BAD) {
    const std::string why = error != nullptr ? OneLine(PQresultErrorMessage(error.get()))
                                             : OneLine(PQerrorMessage(conn));
    Lost("connection to the server lost: " + why, context, false);
  }
  if (error != nullptr) {
    if (failedAt != nullptr) *failedAt = errorAt;
    ThrowResultError(error.get(), context);
  }
  return results;
}

QueryResult Connection::Execute(const std::string& sql, const Params& params,
                                std::chrono::milliseconds timeout, ErrorContext context) {
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  return Run(
      [&](pg_conn* conn) {
        return PQsendQueryParams(conn, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                 values.data(), nullptr, nullptr, 0);
      },
      timeout, context);
}

QueryResult Connection::ExecutePrepared(const std::string& sql, const Params& params,
                                        std::chrono::milliseconds timeout, ErrorContext context) {
  auto found = prepared_.find(sql);
  if (found == prepared_.end()) {
    // Prepared and run in one round trip.
    std::vector<QueryResult> results = ExecutePipeline({{sql, params}}, timeout, context);
    return std::move(results.front());
  }
  std::vector<const char*> values;
  values.reserve(params.size());
  for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
  const std::string& name = found->second;
  return Run(
      [&](pg_conn* conn) {
        return PQsendQueryPrepared(conn, name.c_str(), static_cast<int>(values.size()),
                                   values.data(), nullptr, nullptr, 0);
      },
      timeout, context);
}

void Connection::ExecuteScript(const std::string& sql, std::chrono::milliseconds timeout,
                               ErrorContext context) {
  Run([&](pg_conn* conn) { return PQsendQuery(conn, sql.c_str()); }, timeout, context);
}

}  // namespace kessmar::dbclient
