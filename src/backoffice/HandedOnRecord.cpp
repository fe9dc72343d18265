#include "backoffice/HandedOnRecord.h"

#include <map>

#include "common/CodePage.h"
#include "common/Sha256.h"
#include "dbclient/DatabaseError.h"

namespace kessmar {
namespace {

using dbclient::DatabaseError;

dbclient::ErrorContext Context(const dbclient::Session& session) {
  return {session.ServerLabel(), std::string(kHandedOnTable) + " (SYSTEM)", ""};
}

}  // namespace

void ThrowRecordFailure(const DatabaseError& e) {
  if (e.SqlState() == dbclient::sqlstate::kUndefinedTable) {
    throw RecordTableMissing(std::string("the back office has no table SYSTEM.") + kHandedOnTable +
                             " (" + e.what() + ")");
  }
  throw;
}

dbclient::Statement LookUpHandedOnStatement(const BatchIdentity& identity) {
  return {
      "SELECT order_number, line_count, copy, to_char(handed_on, 'YYYY-MM-DD HH24:MI:SS') "
      "FROM \"SYSTEM\".kessmar_batches WHERE scanner_id = $1 AND batch_id = $2 "
      "AND rows_hash = $3 ORDER BY copy DESC LIMIT 1",
      {identity.scannerId, identity.batchId, identity.rowsHash}};
}

std::optional<HandedOn> ReadHandedOn(const dbclient::QueryResult& rows) {
  if (rows.Rows() == 0) return std::nullopt;
  HandedOn found;
  found.order = std::stoll(std::string(rows.Value(0, 0)));
  found.lines = std::stoll(std::string(rows.Value(0, 1)));
  found.copies = std::stoi(std::string(rows.Value(0, 2)));
  found.handedOnAt = std::string(rows.Value(0, 3));
  return found;
}

dbclient::Statement RecordHandedOnStatement(const BatchIdentity& identity, int copy, int64_t order,
                                            int64_t lines) {
  return {
      "INSERT INTO \"SYSTEM\".kessmar_batches (scanner_id, batch_id, rows_hash, copy, "
      "order_number, line_count, handed_on) VALUES ($1, $2, $3, $4, $5, $6, "
      "localtimestamp(0))",
      {identity.scannerId, identity.batchId, identity.rowsHash, std::to_string(copy),
       std::to_string(order), std::to_string(lines)}};
}

BatchIdentity IdentifyBatch(const MemTable& dataToProcess) {
  const std::vector<Row>& rows = dataToProcess.Rows();
  if (rows.size() < 2) throw TableError("a batch needs its scanner id and batch id rows");
  const int barcode = dataToProcess.FieldIndex("Barcode");
  const int quantity = dataToProcess.FieldIndex("Aantal");
  if (barcode < 0 || quantity < 0) throw TableError("a batch needs the fields Barcode and Aantal");
  auto text = [&](const Row& row) { return row.values[static_cast<size_t>(barcode)].text; };

  std::map<std::string, int64_t> sums;
  for (size_t r = 2; r < rows.size(); ++r) {
    sums[text(rows[r])] += rows[r].values[static_cast<size_t>(quantity)].integer;
  }
  std::string canonical;
  for (const auto& [code, sum] : sums) {
    canonical += std::to_string(code.size()) + ':' + code + ' ' + std::to_string(sum) + '\n';
  }
  return {Cp1252ToUtf8(text(rows[0])), Cp1252ToUtf8(text(rows[1])), Sha256Hex(canonical)};
}

std::optional<HandedOn> LookUpHandedOn(dbclient::Session& session, const BatchIdentity& identity) {
  const dbclient::Statement lookUp = LookUpHandedOnStatement(identity);
  try {
    return ReadHandedOn(session.RunOnce(lookUp.sql, lookUp.params, Context(session)));
  } catch (const DatabaseError& e) {
    ThrowRecordFailure(e);
  }
}

void RecordHandedOn(dbclient::Session& session, const BatchIdentity& identity, int copy,
                    int64_t order, int64_t lines) {
  const dbclient::Statement record = RecordHandedOnStatement(identity, copy, order, lines);
  try {
    session.RunOnce(record.sql, record.params, Context(session));
  } catch (const DatabaseError& e) {
    ThrowRecordFailure(e);
  }
}

}  // namespace kessmar
