#include "dbclient/QueryResult.h"

#include <libpq-fe.h>

namespace kessmar::dbclient {

QueryResult::QueryResult(pg_result* result) : result_(result) {}

void QueryResult::Deleter::operator()(pg_result* result) const {
  PQclear(result);
}

int QueryResult::Rows() const {
  return result_ ? PQntuples(result_.get()) : 0;
}

int QueryResult::Columns() const {
  return result_ ? PQnfields(result_.get()) : 0;
}

bool QueryResult::IsNull(int row, int column) const {
  return PQgetisnull(result_.get(), row, column) != 0;
}

std::string_view QueryResult::Value(int row, int column) const {
  return std::string_view(PQgetvalue(result_.get(), row, column),
                          static_cast<size_t>(PQgetlength(result_.get(), row, column)));
}

std::optional<std::string> QueryResult::OptionalValue(int row, int column) const {
  if (IsNull(row, column)) return std::nullopt;
  return std::string(Value(row, column));
}

std::string QueryResult::CommandStatus() const {
  return result_ ? PQcmdStatus(result_.get()) : "";
}

}  // namespace kessmar::dbclient
