// In-memory table of scan records: ordered fields, rows in append order, a cursor, and the
// batch file format for saving and loading.
//
// Texts are single-byte texts in the Windows-1252 code page, whatever platform we run on, so
// that batch files written by a Windows copy of the tool read back identically here.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "batch/TextArena.h"

namespace kessmar {

class ByteSource;

// Raised for misuse of a table (unknown field, no current row, table closed, no row being
// appended or edited) and by the batch file reader and writer; what() carries the message shown
// to the user.
class TableError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class FieldType { String, Integer };

// Field definition as stored in a batch file. Only name, type and size matter to the program;
// the rest is kept so that a loaded file can be written back unchanged.
struct FieldDef {
  std::string name;
  FieldType type = FieldType::String;
  int32_t size = 0;          // characters for String (0 or less: no limit), 0 for Integer
  std::string displayLabel;  // empty: the field name is the label
  // Width written to a batch file; 0 writes the usual one (the size for String, 10 for Integer).
  std::string editMask;
  int32_t displayWidth = 0;
  bool required = false;
  bool readOnly = false;
  int kind = 0;  // 0 Data, 1 Calculated, 2 Lookup, 3 InternalCalc, 4 Aggregate
  std::string defaultExpression;

  static FieldDef Text(std::string name, int32_t size);
  static FieldDef Int(std::string name);
};

// A field's value in one row: isNull is true until a value is stored. A String field holds its
// text (Windows-1252, at most the field's size) in `text`, an Integer field its value in
// `integer`; the other member stays empty / 0. (Members ordered for a 40-byte value.)
struct FieldValue {
  std::string text;     // String fields
  int32_t integer = 0;  // Integer fields
  bool isNull = true;
};

struct Row {
  std::vector<FieldValue> values;  // one per field, in field order
  int32_t status = 0;
  // Earlier versions of this row found in a loaded file; kept, never shown as rows.
  std::vector<std::pair<int32_t, std::vector<FieldValue>>> earlierVersions;
};

class MemTable {
 public:
  // A closed table without fields.
  MemTable() = default;
  // A closed table with these fields.
  explicit MemTable(std::vector<FieldDef> fields);

  // The four fields of a scan record: BarcodeType (12), Barcode (26), DateTime (26), Aantal.
  static std::vector<FieldDef> ScanRecordFields();

  const std::vector<FieldDef>& Fields() const { return fields_; }
  // Replaces the field list; the table is closed and its rows discarded.
  void SetFields(std::vector<FieldDef> fields);
  // Index of the field whose name matches ignoring ASCII letter case, or -1.
  int FieldIndex(std::string_view name) const;

  // Open: no effect when open already; a closed table opens empty. Close: discards all rows; the
  // table is unusable until opened again (operations other than Open, Close, Empty, SetFields,
  // the field list and LoadBatchFile throw TableError). Empty: discards all rows. A row being
  // appended or edited is dropped by all three.
  void Open();
  void Close();
  void Empty();
  bool IsOpen() const { return open_; }

  int RowCount() const { return static_cast<int>(status_.size()); }
  // All rows as values, for listing and tests. A snapshot built on the first call after a
  // change (it copies every value: the cursor interface is the cheap way to read); the
  // reference stays valid while the table lives, its contents until the table next changes.
  const std::vector<Row>& Rows() const;

  // Cursor. First on an empty table and Next past the last row set the end flag (there is no
  // current row then). Eof is true for a closed table. First, Next, Append and Find first finish
  // a row being appended or edited: posted when a field was set, dropped otherwise.
  void First();
  void Next();
  bool Eof() const;

  // Append starts a new row with every field null; Edit starts changing the current row. Post
  // stores the row: an appended row after the last row, where it becomes the current row; an
  // edited row in its place. Throws TableError when the table is closed or has no current row.
  // Edit while a row is being appended or edited has no effect. Post throws TableError when no
  // row is being appended or edited. Cancel drops the row being appended or edited, if any.
  void Append();
  void Edit();
  void Post();
  void Cancel();

  // Store into the row being appended or edited. A text longer than a String field's size is
  // cut to that size; an Integer field given text stores its decimal value (throws TableError
  // when it does not parse; the empty text makes it null). A String field given an integer
  // stores its decimal digits. Throws TableError for an unknown field or when no row is being
  // appended or edited. SetNull makes the field null again.
  void SetText(std::string_view field, std::string_view text);
  void SetInteger(std::string_view field, int32_t value);
  void SetNull(std::string_view field);

  // Read from the current row (or the row being appended or edited). Null text reads as "",
  // null integer as 0 (as text ""). Integers read as text give their decimal digits with a
  // leading "-" when negative. A String field read as integer must hold a decimal number (else
  // TableError). Throws TableError for an unknown field or no current row.
  std::string AsText(std::string_view field) const;
  int32_t AsInteger(std::string_view field) const;
  bool IsNull(std::string_view field) const;

  // Moves to the first row, in row order, whose field equals text exactly (case-sensitive,
  // whole value; an Integer field compares its decimal digits; a null field equals nothing);
  // returns false and leaves the cursor where it was when there is none. A sequential scan.
  bool Find(std::string_view field, std::string_view text);

  // Writes the whole table (which must be open) to path as a batch file. The file is written
  // beside path under a temporary name and renamed over path only when complete, so a failed
  // save leaves an existing file intact, and the temporary file is removed. Rows are written with
  // status 0 and their current values only. Throws TableError "Cannot create file "%s". %s" (also
  // when writing fails, e.g. a full disk) or, for a closed table, the closed-table error.
  void SaveBatchFile(const std::filesystem::path& path) const;

  // Replaces fields and rows with those stored in the batch file at path and leaves the table
  // open on the first row. Throws TableError with the batch file messages ("Invalid stream
  // format", "Stream read error", ...). A wrong signature changes nothing; an error while
  // reading rows leaves the rows read before it in the (open) table. A file whose field list is
  // empty keeps the table's fields but still replaces its rows. Never reads out of bounds or
  // allocates more than the file's contents justify, whatever the file holds.
  void LoadBatchFile(const std::filesystem::path& path);
  // LoadBatchFile from any source of bytes (BatchStream.h); a read failure of the source is
  // "Stream read error".
  void LoadBatchStream(ByteSource& source);

 private:
  class Loader;

  // One field of one stored row. Texts live in arena_, so that a row costs no allocation of
  // its own: loading a batch of 100,000 scans stays close to the speed of reading the file.
  struct Cell {
    uint32_t offset = 0;  // String: first byte in arena_
    uint32_t size = 0;    // String: length
    int32_t integer = 0;  // Integer
    bool isNull = true;
  };
  using EarlierVersions = decltype(Row::earlierVersions);

  void RequireOpen() const;
  size_t RequireField(std::string_view field) const;
  void FinishPending();
  // The value being appended or edited (marks the row modified).
  FieldValue& PendingValue(std::string_view field);
  // The current row's value: from pending_ while a row is appended or edited, else its cell.
  FieldValue CurrentValue(std::string_view field) const;
  const Cell& CellAt(size_t row, size_t field) const {
    return cells_[row * fields_.size() + field];
  }
  std::string_view TextOf(const Cell& cell) const { return arena_.View(cell.offset, cell.size); }
  FieldValue ValueOf(const Cell& cell, FieldType type) const;
  // Puts text into cell, over its old text when that is long enough, else at the arena's end.
  void StoreCellText(Cell& cell, std::string_view text);
  void StoreCell(Cell& cell, const FieldDef& def, const FieldValue& value);
  void DropRows();
  // Stores text into value by the rules of def (cut, or parsed for an Integer field).
  static void StoreText(const FieldDef& def, FieldValue& value, std::string_view text);

  std::vector<FieldDef> fields_;
  std::vector<Cell> cells_;      // row after row, fields_.size() cells each
  TextArena arena_;              // the bytes of every stored text
  std::vector<int32_t> status_;  // per row; its size is the row count
  std::vector<std::pair<size_t, EarlierVersions>> earlier_;  // by ascending row index
  mutable std::vector<Row> rowsView_;
  mutable bool rowsViewStale_ = true;
  bool open_ = false;
  int cursor_ = 0;  // row index; == RowCount() at the end
  enum class EditState { None, Append, Edit } state_ = EditState::None;
  Row pending_;
  bool modified_ = false;  // a field of pending_ was set
};

}  // namespace kessmar
