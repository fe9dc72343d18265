#include "MemTable.h"

#include <charconv>
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

void MemTable::Open() {
  if (open_) return;
  open_ = true;
  rows_.clear();
  cursor_ = 0;
  state_ = EditState::None;
}

void MemTable::Close() {
  open_ = false;
  rows_.clear();
  rows_.shrink_to_fit();
  cursor_ = 0;
  state_ = EditState::None;
  pending_ = Row{};
}

void MemTable::Empty() {
  rows_.clear();
  cursor_ = 0;
  state_ = EditState::None;
  pending_ = Row{};
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
  pending_ = rows_[cursor_];
  state_ = EditState::Edit;
  modified_ = false;
}

void MemTable::Post() {
  RequireOpen();
  if (state_ == EditState::Append) {
    rows_.push_back(std::move(pending_));
    cursor_ = RowCount() - 1;
  } else if (state_ == EditState::Edit) {
    rows_[cursor_] = std::move(pending_);
  } else {
    throw TableError("Dataset not in edit or insert mode");
  }
  pending_ = Row{};
  state_ = EditState::None;
  modified_ = false;
}

void MemTable::Cancel() {
  pending_ = Row{};
  state_ = EditState::None;
  modified_ = false;
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

const FieldValue& MemTable::CurrentValue(std::string_view field) const {
  RequireOpen();
  const size_t index = RequireField(field);
  if (state_ != EditState::None) return pending_.values[index];
  if (cursor_ >= RowCount()) throw TableError("Cannot perform this operation on an empty dataset");
  return rows_[cursor_].values[index];
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
  const FieldValue& value = CurrentValue(field);
  if (value.isNull) return {};
  if (fields_[RequireField(field)].type == FieldType::Integer) return std::to_string(value.integer);
  return value.text;
}

int32_t MemTable::AsInteger(std::string_view field) const {
  const FieldValue& value = CurrentValue(field);
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
  for (size_t r = 0; r < rows_.size(); ++r) {
    const FieldValue& value = rows_[r].values[index];
    if (value.isNull) continue;
    if (isInteger ? std::to_string(value.integer) == text : value.text == text) {
      cursor_ = static_cast<int>(r);
      return true;
    }
  }
  return false;
}

}  // namespace kessmar
