#include "batch/MemTable.h"

#include <algorithm>
#include <charconv>
#include <limits>
#include <utility>

namespace kessmar {
namespace {

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Quoted(std::string_view s) {
  return "'" + std::string(s) + "'";
}

}  // namespace

FieldDef FieldDef::Text(std::string name, int32_t size) {
  FieldDef def;
  def.name = std::move(name);
  def.type = FieldType::String;
  def.size = size;
  def.displayWidth = size;
  return def;
}

FieldDef FieldDef::Int(std::string name) {
  FieldDef def;
  def.name = std::move(name);
  def.type = FieldType::Integer;
  def.size = 0;
  def.displayWidth = 10;
  return def;
}

MemTable::MemTable(std::vector<FieldDef> fields) : fields_(std::move(fields)) {}

std::vector<FieldDef> MemTable::ScanRecordFields() {
  return {FieldDef::Text("BarcodeType", 12), FieldDef::Text("Barcode", 26),
          FieldDef::Text("DateTime", 26), FieldDef::Int("Aantal")};
}

void MemTable::SetFields(std::vector<FieldDef> fields) {
  Close();
  fields_ = std::move(fields);
}

int MemTable::FieldIndex(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (EqualsIgnoringAsciiCase(fields_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

const std::vector<Row>& MemTable::Rows() const {
  if (!rowsViewStale_) return rowsView_;
  rowsView_.clear();
  rowsView_.resize(status_.size());
  auto earlier = earlier_.begin();
  for (size_t r = 0; r < rowsView_.size(); ++r) {
    Row& row = rowsView_[r];
    row.status = status_[r];
    row.values.reserve(fields_.size());
    for (size_t f = 0; f < fields_.size(); ++f) {
      row.values.push_back(ValueOf(CellAt(r, f), fields_[f].type));
    }
    if (earlier != earlier_.end() && earlier->first == r) row.earlierVersions = (earlier++)->second;
  }
  rowsViewStale_ = false;
  return rowsView_;
}

void MemTable::DropRows() {
  // The storage is kept for the next rows: a scan table is refilled again and again.
  cells_.clear();
  arena_.Clear();
  status_.clear();
  earlier_ = {};
  rowsView_ = {};
  rowsViewStale_ = true;
  cursor_ = 0;
  Cancel();
}

void MemTable::Open() {
  if (open_) return;
  DropRows();
  open_ = true;
}

void MemTable::Close() {
  DropRows();
  open_ = false;
}

void MemTable::Empty() {
  DropRows();
}

void MemTable::RequireOpen() const {
  if (!open_) throw TableError("Cannot perform this operation on a closed dataset");
}

void MemTable::FinishPending() {
  if (state_ == EditState::None) return;
  if (modified_) {
    Post();
  } else {
    Cancel();
  }
}

void MemTable::First() {
  RequireOpen();
  FinishPending();
  cursor_ = 0;
}

void MemTable::Next() {
  RequireOpen();
  FinishPending();
  if (cursor_ < RowCount()) ++cursor_;
}

bool MemTable::Eof() const {
  return !open_ || cursor_ >= RowCount();
}

void MemTable::Append() {
  RequireOpen();
  FinishPending();
  pending_ = Row{};
  pending_.values.resize(fields_.size());
  state_ = EditState::Append;
  modified_ = false;
}

void MemTable::Edit() {
  RequireOpen();
  if (state_ != EditState::None) return;
  if (cursor_ >= RowCount()) throw TableError("Cannot perform this operation on an empty dataset");
  pending_ = Row{};
  pending_.status = status_[cursor_];
  for (size_t f = 0; f < fields_.size(); ++f) {
    pending_.values.push_back(ValueOf(CellAt(cursor_, f), fields_[f].type));
  }
  state_ = EditState::Edit;
  modified_ = false;
}

void MemTable::Post() {
  RequireOpen();
  if (state_ == EditState::None) throw TableError("Dataset not in edit or insert mode");
  size_t row = static_cast<size_t>(cursor_);
  if (state_ == EditState::Append) {
    row = status_.size();
    cells_.resize(cells_.size() + fields_.size());
    status_.push_back(pending_.status);
  }
  for (size_t f = 0; f < fields_.size(); ++f) {
    StoreCell(cells_[row * fields_.size() + f], fields_[f], pending_.values[f]);
  }
  cursor_ = static_cast<int>(row);
  rowsViewStale_ = true;
  Cancel();
}

void MemTable::Cancel() {
  pending_ = Row{};
  state_ = EditState::None;
  modified_ = false;
}

FieldValue MemTable::ValueOf(const Cell& cell, FieldType type) const {
  FieldValue value;
  if (cell.isNull) return value;
  value.isNull = false;
  if (type == FieldType::Integer) {
    value.integer = cell.integer;
  } else {
    value.text.assign(TextOf(cell));
  }
  return value;
}

void MemTable::StoreCellText(Cell& cell, std::string_view text) {
  if (text.size() <= cell.size) {
    // Over the old text; also keeps a merged row's unchanged texts in place.
    std::copy(text.begin(), text.end(), arena_.MutableData() + cell.offset);
  } else {
    if (arena_.Size() + text.size() > std::numeric_limits<uint32_t>::max()) {
      throw TableError("Table too large: more than 4 GB of text");
    }
    cell.offset = static_cast<uint32_t>(arena_.Size());
    arena_.Append(text.data(), text.size());
  }
  cell.size = static_cast<uint32_t>(text.size());
}

void MemTable::StoreCell(Cell& cell, const FieldDef& def, const FieldValue& value) {
  if (value.isNull) {
    cell.isNull = true;
    cell.size = 0;
    cell.integer = 0;
    return;
  }
  if (def.type == FieldType::Integer) {
    cell.integer = value.integer;
  } else {
    StoreCellText(cell, value.text);
  }
  cell.isNull = false;
}

size_t MemTable::RequireField(std::string_view field) const {
  const int index = FieldIndex(field);
  if (index < 0) throw TableError("Field " + Quoted(field) + " not found");
  return static_cast<size_t>(index);
}

FieldValue& MemTable::PendingValue(std::string_view field) {
  RequireOpen();
  const size_t index = RequireField(field);
  if (state_ == EditState::None) throw TableError("Dataset not in edit or insert mode");
  modified_ = true;
  return pending_.values[index];
}

FieldValue MemTable::CurrentValue(std::string_view field) const {
  RequireOpen();
  const size_t index = RequireField(field);
  if (state_ != EditState::None) return pending_.values[index];
  if (cursor_ >= RowCount()) throw TableError("Cannot perform this operation on an empty dataset");
  return ValueOf(CellAt(cursor_, index), fields_[index].type);
}

void MemTable::StoreText(const FieldDef& def, FieldValue& value, std::string_view text) {
  if (def.type == FieldType::Integer) {
    if (text.empty()) {
      value = FieldValue{};
      return;
    }
    int32_t parsed = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (text.size() > 1 && text[0] == '+') ++begin;
    const auto [ptr, ec] = std::from_chars(begin, end, parsed);
    if (ec != std::errc() || ptr != end) {
      throw TableError(Quoted(text) + " is not a valid integer value for field " +
                       Quoted(def.name));
    }
    value.isNull = false;
    value.integer = parsed;
    value.text.clear();
    return;
  }
  if (def.size > 0 && text.size() > static_cast<size_t>(def.size)) text = text.substr(0, def.size);
  value.isNull = false;
  value.text.assign(text);
  value.integer = 0;
}

void MemTable::SetText(std::string_view field, std::string_view text) {
  FieldValue& value = PendingValue(field);
  StoreText(fields_[RequireField(field)], value, text);
}

void MemTable::SetInteger(std::string_view field, int32_t value) {
  FieldValue& target = PendingValue(field);
  const FieldDef& def = fields_[RequireField(field)];
  if (def.type == FieldType::Integer) {
    target.isNull = false;
    target.integer = value;
    target.text.clear();
  } else {
    StoreText(def, target, std::to_string(value));
  }
}

void MemTable::SetNull(std::string_view field) {
  PendingValue(field) = FieldValue{};
}

std::string MemTable::AsText(std::string_view field) const {
  const FieldValue value = CurrentValue(field);
  if (value.isNull) return {};
  if (fields_[RequireField(field)].type == FieldType::Integer) return std::to_string(value.integer);
  return value.text;
}

int32_t MemTable::AsInteger(std::string_view field) const {
  const FieldValue value = CurrentValue(field);
  if (value.isNull) return 0;
  const FieldDef& def = fields_[RequireField(field)];
  if (def.type == FieldType::Integer) return value.integer;
  int32_t parsed = 0;
  const char* end = value.text.data() + value.text.size();
  const auto [ptr, ec] = std::from_chars(value.text.data(), end, parsed);
  if (ec != std::errc() || ptr != end || value.text.empty()) {
    throw TableError(Quoted(value.text) + " is not a valid integer value for field " +
                     Quoted(def.name));
  }
  return parsed;
}

bool MemTable::IsNull(std::string_view field) const {
  return CurrentValue(field).isNull;
}

bool MemTable::Find(std::string_view field, std::string_view text) {
  RequireOpen();
  const size_t index = RequireField(field);
  FinishPending();
  const bool isInteger = fields_[index].type == FieldType::Integer;
  for (size_t r = 0; r < status_.size(); ++r) {
    const Cell& cell = CellAt(r, index);
    if (cell.isNull) continue;
    if (isInteger ? std::to_string(cell.integer) == text : TextOf(cell) == text) {
      cursor_ = static_cast<int>(r);
      return true;
    }
  }
  return false;
}

}  // namespace kessmar
