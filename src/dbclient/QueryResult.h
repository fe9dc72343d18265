// The rows of one statement's answer, as text. Owns the libpq result.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct pg_result;

namespace kessmar::dbclient {

class QueryResult {
 public:
  QueryResult() = default;
  explicit QueryResult(pg_result* result);

  int Rows() const;
  int Columns() const;
  bool IsNull(int row, int column) const;
  // The value as the server wrote it; empty for null. row and column must be in range.
  std::string_view Value(int row, int column) const;
  std::optional<std::string> OptionalValue(int row, int column) const;
  // The command tag ("INSERT 0 1", "ROLLBACK").
  std::string CommandStatus() const;

 private:
  struct Deleter {
    void operator()(pg_result* result) const;
  };
  std::unique_ptr<pg_result, Deleter> result_;
};

}  // namespace kessmar::dbclient
