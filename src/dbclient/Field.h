// One field of a table's current record (or of the record being edited or inserted), read and
// written as text, integer, currency, floating point or date-time. A null value reads as "",
// 0, 0.0000, 0.0 or DateTime{}; so does every field while the range holds no record.
//
// Reads convert the server's text: an integer field read as currency is exact, a numeric one
// too (numeric(19,4) never passes through floating point), a floating-point one is rounded to
// 1/10000 (halves to even). Writes are allowed in edit and insert mode only; a text longer than
// the field's size is cut to it (in characters), as the back office's tables expect; an empty
// text makes a non-text field null. Every failure throws DatabaseError naming table and field:
// 22P02 for a value the field's type cannot hold (the text "abc" for an integer, a fraction for
// an integer field, a currency value with more than four decimals), 22003 for an integer out of
// the field's range, 55000 for a write outside edit or insert mode or to a calculated field or
// one the table assigns itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "dbclient/Currency.h"
#include "dbclient/DateTime.h"

namespace kessmar::dbclient {

class Table;

class Field {
 public:
  const std::string& Name() const;
  bool IsNull() const;

  std::string AsString() const;
  int64_t AsInteger() const;
  Currency AsCurrency() const;
  double AsFloat() const;
  DateTime AsDateTime() const;

  void SetString(std::string_view value);
  void SetInteger(int64_t value);
  void SetCurrency(Currency value);
  void SetFloat(double value);
  void SetDateTime(const DateTime& value);
  void Clear();

 private:
  friend class Table;
  Field(Table* table, int index) : table_(table), index_(index) {}
  [[noreturn]] void Fail(const std::string& why, const char* state) const;
  void Write(std::optional<std::string> text);
  bool Calculated() const;

  Table* table_;
  int index_;  // a column of the table, or (from the column count on) a calculated field
};

}  // namespace kessmar::dbclient
