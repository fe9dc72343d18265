// The one error type of the back-office database client. Every failure (server unreachable or
// silent, table or field missing, key violation, bad value) is thrown as a DatabaseError whose
// message names the server, table and field involved, and which carries the SQLSTATE: the
// server's own, or one of the standard codes below for failures the client detects itself.
#pragma once

#include <stdexcept>
#include <string>

namespace kessmar::dbclient {

namespace sqlstate {
inline constexpr const char* kCannotConnect = "08001";      // no connection could be made
inline constexpr const char* kConnectionFailure = "08006";  // lost, or no answer in time
inline constexpr const char* kProtocolViolation = "08P01";  // a reply the client cannot use
inline constexpr const char* kUndefinedTable = "42P01";
inline constexpr const char* kUndefinedSchema = "3F000";  // database alias
inline constexpr const char* kUndefinedColumn = "42703";  // field
inline constexpr const char* kUndefinedObject = "42704";  // index
inline constexpr const char* kWrongState = "55000";       // not open, not in edit mode, no record
inline constexpr const char* kInvalidText = "22P02";      // a value that is not of the field's type
inline constexpr const char* kOutOfRange = "22003";
inline constexpr const char* kUniqueViolation = "23505";
inline constexpr const char* kTransactionRolledBack = "40000";
inline constexpr const char* kInFailedTransaction = "25P02";   // an earlier statement failed
inline constexpr const char* kQueryCanceled = "57014";         // statement time-out, lock wait
inline constexpr const char* kInvalidAuthorization = "28000";  // unknown role, no hba entry
inline constexpr const char* kInvalidPassword = "28P01";
inline constexpr const char* kInsufficientPrivilege = "42501";
}  // namespace sqlstate

// Where an error happened; empty members are left out of the message.
struct ErrorContext {
  std::string server;  // server address, "NAME@address"
  std::string table;   // table name, with its database alias: "BEST (SYSTEM)"
  std::string field;   // field name
};

class DatabaseError : public std::runtime_error {
 public:
  // what() is text followed by the context: "text (server S, table T, field F)".
  DatabaseError(const std::string& text, std::string sqlState, ErrorContext context,
                bool timedOut = false);

  const std::string& SqlState() const { return sqlState_; }
  const ErrorContext& Context() const { return context_; }
  // The request was given up because the server did not answer within the time-out.
  bool TimedOut() const { return timedOut_; }
  bool IsKeyViolation() const { return sqlState_ == sqlstate::kUniqueViolation; }
  // The connection is gone (SQLSTATE class 08): lost, refused, or no answer in time.
  bool IsConnectionFailure() const { return sqlState_.rfind("08", 0) == 0; }
  // The server cannot be reached or used now: no connection, lost, no answer in time (class
  // 08), the transaction went with the connection (40000), or the server is shutting down or
  // starting (57P0x).
  bool IsUnreachable() const;
  // The server is there but ended a wait: a lock or statement held longer than the time-out
  // allows (57014, 55P03), or two transactions crossed (40001, 40P01).
  bool IsBusy() const;
  // The server refused the login or a right: unknown role, wrong password, no entry for this
  // address (class 28), or a missing privilege (42501).
  bool IsAccessDenied() const;
  // The back office lacks a table, field, index or database alias (42P01, 42703, 42704, 3F000).
  bool IsMissingObject() const;

 private:
  std::string sqlState_;
  ErrorContext context_;
  bool timedOut_;
};

// A post that would give a unique index a second record with the same key (SQLSTATE 23505).
// Its message says "key violation" and names the index.
class KeyViolation : public DatabaseError {
 public:
  KeyViolation(const std::string& text, std::string index, ErrorContext context);
  const std::string& Index() const { return index_; }

 private:
  std::string index_;
};

}  // namespace kessmar::dbclient
