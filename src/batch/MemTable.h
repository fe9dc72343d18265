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

namespace kessmar {

// Raised for misuse of a table (unknown field, no current row, table closed) and by the batch
// file reader and writer; what() carries the message shown to the user.
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
  int32_t size = 0;  // characters for String, 0 for Integer
  std::string displayLabel;  // empty: the field name is the label
  std::string editMask;
  int32_t displayWidth = 0;
  bool required = false;
  bool readOnly = false;
  int kind = 0;  // 0 Data, 1 Calculated, 2 Lookup, 3 InternalCalc, 4 Aggregate
  std::string defaultExpression;

  static FieldDef Text(std::string name, int32_t size);
  static FieldDef Int(std::string name);
};

// A field's value in one row: nullopt is null (never set); a String field holds its text, an
// Integer field its decimal value in `integer`.
struct FieldValue {
  bool isNull = true;
  std::string text;     // String fields
  int32_t integer = 0;  // Integer fields
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

  // Open: no effect when open already. Close: discards all rows; the table is unusable until
  // opened again. Empty: discards all rows.
  void Open();
  void Close();
  void Empty();
  bool IsOpen() const { return open_; }

  int RowCount() const { return static_cast<int>(rows_.size()); }
  const std::vector<Row>& Rows() const { return rows_; }

  // Cursor. First on an empty table and Next past the last row set the end flag.
  void First();
  void Next();
  bool Eof() const;

  // Append starts a new row with every field null; Edit starts changing the current row. Post
  // stores the row: an appended row after the last row, where it becomes the current row; an
  // edited row in its place. Throws TableError when the table is closed or has no current row.
  void Append();
  void Edit();
  void Post();

  // Store into the row being appended or edited. A text longer than a String field's size is
  // cut to that size; an Integer field given text stores its decimal value (throws TableError
  // when it does not parse). Throws TableError for an unknown field or when no row is being
  // appended or edited.
  void SetText(std::string_view field, std::string_view text);
  void SetInteger(std::string_view field, int32_t value);

  // Read from the current row (or the row being appended or edited). Null text reads as "",
  // null integer as 0 (as text ""). Integers read as text give their decimal digits with a
  // leading "-" when negative. Throws TableError for an unknown field or no current row.
  std::string AsText(std::string_view field) const;
  int32_t AsInteger(std::string_view field) const;
  bool IsNull(std::string_view field) const;

  // Moves to the first row, in row order, whose field equals text exactly (case-sensitive,
  // whole value); returns false and leaves the cursor where it was when there is none.
  bool Find(std::string_view field, std::string_view text);

  // Writes the whole table (which must be open) to path as a batch file. The file is written
  // beside path under a temporary name and renamed over path only when complete, so a failed
  // save leaves an existing file intact. Throws TableError "Cannot create file "%s". %s".
  void SaveBatchFile(const std::filesystem::path& path) const;

  // Replaces fields and rows with those stored in the batch file at path and leaves the table
  // open on the first row. Throws TableError with the batch file messages ("Invalid stream
  // format", "Stream read error", ...). A wrong signature changes nothing; an error while
  // reading rows leaves the rows read before it in the (open) table.
  void LoadBatchFile(const std::filesystem::path& path);

 private:
  // implementation-defined members
  std::vector<FieldDef> fields_;
  std::vector<Row> rows_;
  bool open_ = false;
  int cursor_ = 0;  // index into rows_; == rows_.size() at the end
  enum class EditState { None, Append, Edit } state_ = EditState::None;
  Row pending_;
};

}  // namespace kessmar
