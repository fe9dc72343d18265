// The record of handed-on batches: a table of ours in the back office's SYSTEM schema,
// "SYSTEM"."kessmar_batches", written in the same transaction as a batch's order lines. It is
// what makes a batch land once: before a batch is transferred its identity is looked up, and a
// batch found there was handed on already (also when the answer to its commit was lost).
//
//   scanner_id text, batch_id text, rows_hash char(64), copy integer  -- primary key
//   order_number integer, line_count integer, handed_on timestamp
//
// copy is 1 for the first transfer and grows when a user adds the same batch once more on
// purpose. backoffice-server's schema and upgrade commands create the table.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "batch/MemTable.h"
#include "dbclient/Session.h"

namespace kessmar {

inline constexpr const char* kHandedOnTable = "kessmar_batches";

// Who a batch is: the scanner id (row 1), the batch id (row 2), and the SHA-256 of its scans as
// barcode and summed quantity, sorted by barcode, so that merging identical barcodes or not
// gives the same identity.
struct BatchIdentity {
  std::string scannerId;  // UTF-8
  std::string batchId;    // UTF-8
  std::string rowsHash;   // 64 lower-case hex digits
};

// What the record holds about a batch handed on.
struct HandedOn {
  int64_t order = 0;  // the order of its first line; 0 when it had no lines
  int64_t lines = 0;
  int copies = 0;          // how many times it was added (1 unless added again on purpose)
  std::string handedOnAt;  // "yyyy-mm-dd hh:mm:ss", local time of the server
};

// The back office lacks the record's table (a schema made by an older backoffice-server).
class RecordTableMissing : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The identity of dataToProcess (the batch to process). Throws TableError when it has fewer
// than two rows.
BatchIdentity IdentifyBatch(const MemTable& dataToProcess);

// The latest entry of identity, read within the session's running transaction (one round trip).
// Throws RecordTableMissing, dbclient::DatabaseError.
std::optional<HandedOn> LookUpHandedOn(dbclient::Session& session, const BatchIdentity& identity);

// The same look-up as a statement, to run with others in one round trip, and the reading of
// its answer.
dbclient::Statement LookUpHandedOnStatement(const BatchIdentity& identity);
std::optional<HandedOn> ReadHandedOn(const dbclient::QueryResult& rows);

// Adds the entry for copy `copy` of identity (one round trip), within the running transaction.
// Throws RecordTableMissing, dbclient::DatabaseError (KeyViolation when that copy is there).
void RecordHandedOn(dbclient::Session& session, const BatchIdentity& identity, int copy,
                    int64_t order, int64_t lines);
// The same entry as a statement, to run with others in one round trip.
dbclient::Statement RecordHandedOnStatement(const BatchIdentity& identity, int copy, int64_t order,
                                            int64_t lines);

// Rethrows failure, a failure of one of these statements, from within the handler that caught
// it: RecordTableMissing when the table is missing, else failure itself.
[[noreturn]] void ThrowRecordFailure(const dbclient::DatabaseError& failure);

}  // namespace kessmar
