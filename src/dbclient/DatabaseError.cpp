#include "dbclient/DatabaseError.h"

#include <utility>

namespace kessmar::dbclient {
namespace {

std::string Compose(const std::string& text, const ErrorContext& context) {
  std::string where;
  auto add = [&where](const char* label, const std::string& value) {
    if (value.empty()) return;
    where += where.empty() ? " (" : ", ";
    where += label;
    where += value;
  };
  add("server ", context.server);
  add("table ", context.table);
  add("field ", context.field);
  if (!where.empty()) where += ")";
  return text + where;
}

}  // namespace

DatabaseError::DatabaseError(const std::string& text, std::string sqlState, ErrorContext context,
                             bool timedOut)
    : std::runtime_error(Compose(text, context)),
      sqlState_(std::move(sqlState)),
      context_(std::move(context)),
      timedOut_(timedOut) {}

bool DatabaseError::IsUnreachable() const {
  return IsConnectionFailure() || sqlState_ == sqlstate::kTransactionRolledBack ||
         sqlState_.rfind("57P0", 0) == 0;
}

bool DatabaseError::IsBusy() const {
  return sqlState_ == sqlstate::kQueryCanceled || sqlState_ == "55P03" || sqlState_ == "40001" ||
         sqlState_ == "40P01";
}

bool DatabaseError::IsAccessDenied() const {
  return sqlState_.rfind("28", 0) == 0 || sqlState_ == sqlstate::kInsufficientPrivilege;
}

bool DatabaseError::IsMissingObject() const {
  return sqlState_ == sqlstate::kUndefinedTable || sqlState_ == sqlstate::kUndefinedColumn ||
         sqlState_ == sqlstate::kUndefinedObject || sqlState_ == sqlstate::kUndefinedSchema;
}

KeyViolation::KeyViolation(const std::string& text, std::string index, ErrorContext context)
    : DatabaseError("key violation on index \"" + index + "\": " + text, sqlstate::kUniqueViolation,
                    std::move(context)),
      index_(std::move(index)) {}

}  // namespace kessmar::dbclient
