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

KeyViolation::KeyViolation(const std::string& text, std::string index, ErrorContext context)
    : DatabaseError("key violation on index \"" + index + "\": " + text, sqlstate::kUniqueViolation,
                    std::move(context)),
      index_(std::move(index)) {}

}  // namespace kessmar::dbclient
