#include "dbclient/Field.h"

#include <charconv>
#include <cmath>
#include <stdexcept>

#include "dbclient/Table.h"

namespace kessmar::dbclient {
namespace {

std::optional<int64_t> ParseInteger(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> ParseDouble(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::string DoubleText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  char buffer[64];
  const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, end);
}

// text cut to at most limit characters of UTF-8.
std::string CutToCharacters(std::string_view text, size_t limit) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
      if (characters == limit) return std::string(text.substr(0, i));
      ++characters;
    }
  }
  return std::string(text);
}

// A number as the server writes numeric values: optional sign, digits, optional fraction.
bool IsDecimalText(std::string_view text) {
  size_t pos = 0;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) ++pos;
  bool digits = false;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) digits = true;
  if (pos < text.size() && text[pos] == '.') {
    ++pos;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) digits = true;
  }
  return digits && pos == text.size();
}

}  // namespace

bool Field::Calculated() const {
  return index_ >= static_cast<int>(table_->meta_->columns.size());
}

const std::string& Field::Name() const {
  if (Calculated()) {
    return table_->calculated_[static_cast<size_t>(index_) - table_->meta_->columns.size()].name;
  }
  return table_->meta_->columns[static_cast<size_t>(index_)].name;
}

void Field::Fail(const std::string& why, const char* state) const {
  throw DatabaseError(why, state, table_->Context(Name()));
}

bool Field::IsNull() const {
  if (Calculated()) return false;
  const auto* row = table_->CurrentRow();
  return row == nullptr || !(*row)[static_cast<size_t>(index_)];
}

std::string Field::AsString() const {
  table_->RequireOpen();
  if (Calculated()) {
    const auto& calculated =
        table_->calculated_[static_cast<size_t>(index_) - table_->meta_->columns.size()];
    if (table_->CurrentRow() == nullptr) return "";
    return CutToCharacters(calculated.compute(*table_), calculated.size);
  }
  const auto* row = table_->CurrentRow();
  if (row == nullptr || !(*row)[static_cast<size_t>(index_)]) return "";
  return *(*row)[static_cast<size_t>(index_)];
}

int64_t Field::AsInteger() const {
  const std::string text = AsString();
  if (text.empty()) return 0;
  if (const auto value = ParseInteger(text)) return *value;
  if (text == "t" || text == "true") return 1;
  if (text == "f" || text == "false") return 0;
  // An integral numeric value ("12.0000") reads as that integer.
  if (IsDecimalText(text)) {
    const size_t dot = text.find('.');
    if (dot != std::string::npos && text.find_first_not_of('0', dot + 1) == std::string::npos) {
      if (const auto value = ParseInteger(text.substr(0, dot))) return *value;
    }
  }
  Fail("\"" + text + "\" is not an integer", sqlstate::kInvalidText);
}

Currency Field::AsCurrency() const {
  const std::string text = AsString();
  if (text.empty()) return Currency();
  try {
    if (!Calculated() &&
        table_->meta_->columns[static_cast<size_t>(index_)].type == FieldType::kFloat) {
      const auto value = ParseDouble(text);
      if (!value) Fail("\"" + text + "\" is not a number", sqlstate::kInvalidText);
      return Currency::FromDouble(*value);
    }
    return Currency::FromText(text);
  } catch (const std::invalid_argument& e) {
    Fail(e.what(), sqlstate::kInvalidText);
  } catch (const std::out_of_range& e) {
    Fail(e.what(), sqlstate::kOutOfRange);
  }
}

double Field::AsFloat() const {
  const std::string text = AsString();
  if (text.empty()) return 0.0;
  if (const auto value = ParseDouble(text)) return *value;
  Fail("\"" + text + "\" is not a number", sqlstate::kInvalidText);
}

DateTime Field::AsDateTime() const {
  const std::string text = AsString();
  if (text.empty()) return DateTime();
  try {
    return DateTime::FromText(text);
  } catch (const std::invalid_argument& e) {
    Fail(e.what(), sqlstate::kInvalidText);
  }
}

void Field::Write(std::optional<std::string> text) {
  table_->RequireOpen();
  if (table_->state_ != Table::State::kEdit && table_->state_ != Table::State::kInsert) {
    Fail("the table is not in edit or insert mode", sqlstate::kWrongState);
  }
  if (Calculated()) Fail("a calculated field cannot be written", sqlstate::kWrongState);
  const ColumnInfo& column = table_->meta_->columns[static_cast<size_t>(index_)];
  if (column.assignedByTable) Fail("the table assigns this field itself", sqlstate::kWrongState);
  if (text && text->empty() && column.type != FieldType::kText) text.reset();
  if (text) {
    switch (column.type) {
      case FieldType::kText:
        if (column.maxLength >= 0)
          *text = CutToCharacters(*text, static_cast<size_t>(column.maxLength));
        break;
      case FieldType::kInteger: {
        const auto value = ParseInteger(*text);
        if (!value) Fail("\"" + *text + "\" is not an integer", sqlstate::kInvalidText);
        if (*value < column.minimum || *value > column.maximum) {
          Fail(*text + " is out of the field's range", sqlstate::kOutOfRange);
        }
        break;
      }
      case FieldType::kNumeric:
        if (!IsDecimalText(*text))
          Fail("\"" + *text + "\" is not a number", sqlstate::kInvalidText);
        break;
      case FieldType::kFloat:
        if (!ParseDouble(*text) && *text != "NaN" && *text != "Infinity" && *text != "-Infinity") {
          Fail("\"" + *text + "\" is not a number", sqlstate::kInvalidText);
        }
        break;
      case FieldType::kDate:
      case FieldType::kTimestamp:
        try {
          (void)DateTime::FromText(*text);
        } catch (const std::invalid_argument& e) {
          Fail(e.what(), sqlstate::kInvalidText);
        }
        break;
      case FieldType::kBoolean:
      case FieldType::kOther:
        break;
    }
  }
  table_->editRow_[static_cast<size_t>(index_)] = std::move(text);
  table_->changed_[static_cast<size_t>(index_)] = true;
}

void Field::SetString(std::string_view value) {
  Write(std::string(value));
}

void Field::SetInteger(int64_t value) {
  if (!Calculated() &&
      table_->meta_->columns[static_cast<size_t>(index_)].type == FieldType::kTimestamp) {
    Fail("an integer cannot be written to a date-time field", sqlstate::kInvalidText);
  }
  Write(std::to_string(value));
}

void Field::SetCurrency(Currency value) {
  if (!Calculated() &&
      table_->meta_->columns[static_cast<size_t>(index_)].type == FieldType::kInteger) {
    if (value.Units() % Currency::kUnitsPerWhole != 0) {
      Fail(value.ToText() + " is not a whole number for an integer field", sqlstate::kInvalidText);
    }
    Write(std::to_string(value.Units() / Currency::kUnitsPerWhole));
    return;
  }
  Write(value.ToText());
}

void Field::SetFloat(double value) {
  if (!Calculated() &&
      table_->meta_->columns[static_cast<size_t>(index_)].type == FieldType::kInteger) {
    if (value != std::trunc(value) || !std::isfinite(value)) {
      Fail(DoubleText(value) + " is not a whole number for an integer field",
           sqlstate::kInvalidText);
    }
  }
  const bool integerField =
      !Calculated() &&
      table_->meta_->columns[static_cast<size_t>(index_)].type == FieldType::kInteger;
  if (integerField) {
    if (std::fabs(value) > 9.2e18)
      Fail(DoubleText(value) + " is out of range", sqlstate::kOutOfRange);
    Write(std::to_string(static_cast<int64_t>(value)));
    return;
  }
  Write(DoubleText(value));
}

void Field::SetDateTime(const DateTime& value) {
  Write(value.ToText());
}

void Field::Clear() {
  Write(std::nullopt);
}

}  // namespace kessmar::dbclient
