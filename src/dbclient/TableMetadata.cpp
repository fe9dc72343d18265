#include "dbclient/TableMetadata.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <map>

#include "common/Text.h"
#include "dbclient/Connection.h"

namespace kessmar::dbclient {
namespace {

// One request: a 't' row for each matching table, then its columns ('c') and indexes ('i').
constexpr const char* kCatalogQuery = R"SQL(
WITH t AS (
  SELECT c.oid, n.nspname, c.relname FROM pg_catalog.pg_class c
  JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace
  WHERE lower(n.nspname) = lower($1) AND lower(c.relname) = lower($2) AND c.relkind IN ('r', 'p'))
SELECT 't', t.oid::text, t.nspname::text, t.relname::text, NULL, NULL, NULL, NULL FROM t
UNION ALL
SELECT 'c', t.oid::text, a.attname::text, pg_catalog.format_type(a.atttypid, a.atttypmod),
       a.atttypid::text, a.atttypmod::text, a.attnotnull::text, a.attnum::text || ' ' || a.attidentity::text
  FROM t JOIN pg_catalog.pg_attribute a ON a.attrelid = t.oid
  WHERE a.attnum > 0 AND NOT a.attisdropped
UNION ALL
SELECT 'i', t.oid::text, ic.relname::text, i.indkey::text, i.indisunique::text,
       i.indisprimary::text, (i.indexprs IS NULL AND i.indpred IS NULL)::text, NULL
  FROM t JOIN pg_catalog.pg_index i ON i.indrelid = t.oid
  JOIN pg_catalog.pg_class ic ON ic.oid = i.indexrelid
)SQL";

constexpr const char* kSchemaQuery =
    "SELECT count(*) FROM pg_catalog.pg_namespace WHERE lower(nspname) = lower($1)";

int ToInt(std::string_view text) {
  int value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

void Classify(ColumnInfo& column, int typeOid, int typmod) {
  switch (typeOid) {
    case 21:  // smallint
      column.type = FieldType::kInteger;
      column.minimum = std::numeric_limits<int16_t>::min();
      column.maximum = std::numeric_limits<int16_t>::max();
      break;
    case 23:  // integer
      column.type = FieldType::kInteger;
      column.minimum = std::numeric_limits<int32_t>::min();
      column.maximum = std::numeric_limits<int32_t>::max();
      break;
    case 20:  // bigint
      column.type = FieldType::kInteger;
      column.minimum = std::numeric_limits<int64_t>::min();
      column.maximum = std::numeric_limits<int64_t>::max();
      break;
    case 1700:
      column.type = FieldType::kNumeric;
      break;
    case 700:
    case 701:
      column.type = FieldType::kFloat;
      break;
    case 25:
    case 19:
      column.type = FieldType::kText;
      break;
    case 1042:  // character(n)
    case 1043:  // character varying(n)
      column.type = FieldType::kText;
      if (typmod >= 4) column.maxLength = typmod - 4;
      break;
    case 1082:
      column.type = FieldType::kDate;
      break;
    case 1114:
      column.type = FieldType::kTimestamp;
      break;
    case 16:
      column.type = FieldType::kBoolean;
      break;
    default:
      column.type = FieldType::kOther;
  }
}

std::string ClientIndexName(const std::string& serverName, const std::string& table) {
  if (serverName.size() > table.size() + 1 && serverName[table.size()] == '.' &&
      SameName(std::string_view(serverName).substr(0, table.size()), table)) {
    return serverName.substr(table.size() + 1);
  }
  return serverName;
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return EqualsIgnoringCase(a, b);
}

std::string QuoteIdentifier(std::string_view name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

int TableMetadata::FindColumn(std::string_view name) const {
  for (size_t i = 0; i < columns.size(); ++i) {
    if (SameName(columns[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::string TableMetadata::QualifiedName() const {
  return QuoteIdentifier(schema) + "." + QuoteIdentifier(table);
}

TableMetadata LoadTableMetadata(Connection& connection, const std::string& databaseAlias,
                                const std::string& table, std::chrono::milliseconds timeout,
                                const ErrorContext& context) {
  const QueryResult rows =
      connection.ExecutePrepared(kCatalogQuery, {databaseAlias, table}, timeout, context);
  return ParseTableMetadata(rows, connection, databaseAlias, table, timeout, context);
}

std::vector<std::optional<TableMetadata>> LoadTablesMetadata(
    Connection& connection, const std::vector<std::pair<std::string, std::string>>& tables,
    std::chrono::milliseconds timeout, const ErrorContext& context) {
  std::vector<Statement> queries;
  queries.reserve(tables.size());
  for (const auto& [alias, table] : tables) queries.push_back({kCatalogQuery, {alias, table}});
  const std::vector<QueryResult> answers = connection.ExecutePipeline(queries, timeout, context);
  std::vector<std::optional<TableMetadata>> entries(tables.size());
  for (size_t i = 0; i < tables.size(); ++i) {
    try {
      entries[i] = ParseTableMetadata(answers[i], connection, tables[i].first, tables[i].second,
                                      timeout, context);
    } catch (const DatabaseError& e) {
      if (e.IsConnectionFailure()) throw;
      // Left to LoadTableMetadata, which names the failure when the table is opened.
    }
  }
  return entries;
}

TableMetadata ParseTableMetadata(const QueryResult& rows, Connection& connection,
                                 const std::string& databaseAlias, const std::string& table,
                                 std::chrono::milliseconds timeout, const ErrorContext& context) {
  if (rows.Columns() != 8) {
    throw DatabaseError("unexpected catalog answer", sqlstate::kProtocolViolation, context);
  }
  TableMetadata meta;
  int tables = 0;
  struct RawIndex {
    std::string name;
    std::vector<int> attnums;
    bool unique;
    bool primary;
  };
  std::vector<std::pair<int, ColumnInfo>> columns;  // attnum, column
  std::vector<RawIndex> rawIndexes;
  for (int r = 0; r < rows.Rows(); ++r) {
    const std::string_view kind = rows.Value(r, 0);
    if (kind == "t") {
      ++tables;
      meta.schema = rows.Value(r, 2);
      meta.table = rows.Value(r, 3);
    } else if (kind == "c") {
      ColumnInfo column;
      column.name = rows.Value(r, 2);
      column.typeName = rows.Value(r, 3);
      Classify(column, ToInt(rows.Value(r, 4)), ToInt(rows.Value(r, 5)));
      column.notNull = rows.Value(r, 6) == "true";
      const std::string_view attnumIdentity = rows.Value(r, 7);
      const size_t space = attnumIdentity.find(' ');
      column.assignedByTable =
          space != std::string_view::npos && attnumIdentity.substr(space + 1) == "a";
      columns.emplace_back(ToInt(attnumIdentity.substr(0, space)), std::move(column));
    } else if (kind == "i") {
      if (rows.Value(r, 6) != "true") continue;  // expression or partial index
      RawIndex index{std::string(rows.Value(r, 2)),
                     {},
                     rows.Value(r, 4) == "true",
                     rows.Value(r, 5) == "true"};
      std::string_view keys = rows.Value(r, 3);
      while (!keys.empty()) {
        const size_t space = keys.find(' ');
        index.attnums.push_back(ToInt(keys.substr(0, space)));
        keys = space == std::string_view::npos ? std::string_view() : keys.substr(space + 1);
      }
      rawIndexes.push_back(std::move(index));
    }
  }
  if (tables == 0) {
    const QueryResult schemas =
        connection.ExecutePrepared(kSchemaQuery, {databaseAlias}, timeout, context);
    if (schemas.Rows() == 1 && schemas.Value(0, 0) == "0") {
      throw DatabaseError("database alias \"" + databaseAlias + "\" not found",
                          sqlstate::kUndefinedSchema, context);
    }
    throw DatabaseError("table \"" + table + "\" not found in database \"" + databaseAlias + "\"",
                        sqlstate::kUndefinedTable, context);
  }
  if (tables > 1) {
    throw DatabaseError("more than one table matches \"" + table + "\" in \"" + databaseAlias +
                            "\" when case is ignored",
                        sqlstate::kWrongState, context);
  }
  std::sort(columns.begin(), columns.end(),
            [](const auto& a, const auto& b) { return a.first < b.first; });
  std::map<int, int> positionOf;  // attnum -> position
  for (auto& [attnum, column] : columns) {
    if (meta.FindColumn(column.name) >= 0) {
      throw DatabaseError("fields \"" + meta.columns[meta.FindColumn(column.name)].name +
                              "\" and \"" + column.name + "\" differ only in case",
                          sqlstate::kWrongState, context);
    }
    positionOf[attnum] = static_cast<int>(meta.columns.size());
    meta.columns.push_back(std::move(column));
  }
  for (const auto& raw : rawIndexes) {
    IndexInfo index;
    index.serverName = raw.name;
    index.name = ClientIndexName(raw.name, meta.table);
    index.unique = raw.unique;
    index.primary = raw.primary;
    bool usable = true;
    for (int attnum : raw.attnums) {
      const auto found = positionOf.find(attnum);
      if (found == positionOf.end()) {
        usable = false;
        break;
      }
      index.columns.push_back(found->second);
    }
    if (!usable || index.columns.empty()) continue;
    if (index.primary) meta.primaryKey = index.columns;
    meta.indexes.push_back(std::move(index));
  }
  // The offered fields of every index: its columns without trailing primary-key columns (which
  // the schema appends to non-unique indexes), unless nothing else is left.
  for (auto& index : meta.indexes) {
    index.fields = index.columns;
    if (index.primary || meta.primaryKey.empty()) continue;
    const auto& pk = meta.primaryKey;
    if (index.fields.size() > pk.size() &&
        std::equal(pk.begin(), pk.end(), index.fields.end() - static_cast<long>(pk.size()))) {
      index.fields.resize(index.fields.size() - pk.size());
    }
  }
  std::sort(meta.indexes.begin(), meta.indexes.end(),
            [](const IndexInfo& a, const IndexInfo& b) { return a.name < b.name; });
  return meta;
}

}  // namespace kessmar::dbclient
