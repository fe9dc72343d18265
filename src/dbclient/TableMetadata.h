// What the client knows of one table, read from the server's catalog when the table is first
// opened in a session: its fields with their types and sizes, its primary key and its indexes.
//
// Index names as the client sees them: the server's index name without a leading "<table>."
// (index names must be unique per schema on the server, so the schema prefixes them with their
// table: "artk.ARTK_nummer"). An index's fields are its columns without the primary-key columns
// that the schema appends to non-unique indexes so that keyed navigation stays an index scan.
// Expression and partial indexes are not offered.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dbclient/DatabaseError.h"

namespace kessmar::dbclient {

class Connection;
class QueryResult;

enum class FieldType { kInteger, kNumeric, kFloat, kText, kDate, kTimestamp, kBoolean, kOther };

struct ColumnInfo {
  std::string name;      // as the catalog spells it
  std::string typeName;  // "integer", "character varying(20)", "numeric(19,4)"
  FieldType type = FieldType::kOther;
  int maxLength = -1;   // characters, for character varying(n) and character(n)
  int64_t minimum = 0;  // integer range, for kInteger
  int64_t maximum = 0;
  bool notNull = false;
  bool assignedByTable = false;  // GENERATED ALWAYS: the table assigns it, nobody writes it
};

struct IndexInfo {
  std::string name;          // as the client names it (see above)
  std::string serverName;    // the server's name
  std::vector<int> columns;  // every column of the index, positions in TableMetadata::columns
  std::vector<int> fields;   // the index's fields as offered to callers (see above)
  bool unique = false;
  bool primary = false;
};

struct TableMetadata {
  std::string schema;  // exact catalog names
  std::string table;
  std::vector<ColumnInfo> columns;
  std::vector<IndexInfo> indexes;
  std::vector<int> primaryKey;  // column positions; empty when the table has none

  // Position of a column, names compared without regard to case; -1 when there is none.
  int FindColumn(std::string_view name) const;
  // "schema"."table", quoted for SQL.
  std::string QualifiedName() const;
};

// Reads the catalog entry of table in the schema named databaseAlias (both compared without
// regard to case) in one request. Throws DatabaseError: 3F000 when there is no such schema, 42P01
// when it has no such table, 55000 when the names match more than one schema or table (they
// differ only in case) or two fields differ only in case; and the connection's errors.
TableMetadata LoadTableMetadata(Connection& connection, const std::string& databaseAlias,
                                const std::string& table, std::chrono::milliseconds timeout,
                                const ErrorContext& context);

// The catalog entries of several tables (pairs of database alias and table) in one request; an
// entry LoadTableMetadata would refuse (a missing table, ...) is left empty. Throws
// DatabaseError for a failure of the connection.
std::vector<std::optional<TableMetadata>> LoadTablesMetadata(
    Connection& connection, const std::vector<std::pair<std::string, std::string>>& tables,
    std::chrono::milliseconds timeout, const ErrorContext& context);

// The catalog entry of table from the answer to the catalog query; asks the connection which
// name is missing when the answer holds no table. Throws as LoadTableMetadata.
TableMetadata ParseTableMetadata(const QueryResult& rows, Connection& connection,
                                 const std::string& databaseAlias, const std::string& table,
                                 std::chrono::milliseconds timeout, const ErrorContext& context);

// An identifier quoted for SQL: "name" with inner quotes doubled.
std::string QuoteIdentifier(std::string_view name);

// Whether two names are equal without regard to (ASCII) case.
bool SameName(std::string_view a, std::string_view b);

}  // namespace kessmar::dbclient
