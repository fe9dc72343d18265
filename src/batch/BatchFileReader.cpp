// MemTable::LoadBatchFile: a batch file of any version into the table (docs/batch-file.md).
#include <algorithm>
#include <limits>
#include <memory>

#include "batch/BatchFormat.h"
#include "batch/BatchStream.h"
#include "batch/FileStreams.h"
#include "batch/MemTable.h"

namespace kessmar {

using namespace batchfile;

// Reads one file into a table; has the table's private access for speed (values are decoded
// straight into the rows).
class MemTable::Loader {
 public:
  Loader(MemTable& table, ByteSource& source)
      : table_(table), in_(std::make_unique<BatchReader>(source)) {}

  void Run() {
    char signature[4];
    in_->ReadRaw(signature, sizeof signature);
    if (std::string_view(signature, sizeof signature) != kSignature) {
      throw TableError(kInvalidStreamFormat);
    }
    version_ = in_->PeekTag() == kStartOfList ? kVersionWithoutValue : in_->ReadInteger();
    ReadFieldDefinitions();
    if (version_ >= kFirstWithIndexes) SkipIndexDefinitions();
    SkipDataTypeHeader();
    ReadRows();
  }

 private:
  void ReadFieldDefinitions() {
    in_->ReadStartList();
    bool first = true;
    std::string typeName;
    std::string kindName;
    while (!in_->AtEndOfList()) {
      FieldDef def;
      in_->ReadText(def.name);
      in_->ReadText(typeName);
      def.size = in_->ReadInteger();
      in_->ReadText(def.displayLabel);
      in_->ReadText(def.editMask);
      def.displayWidth = in_->ReadInteger();
      def.required = in_->ReadBool();
      def.readOnly = in_->ReadBool();
      kindName = kKindNames[0];
      if (version_ >= kFirstWithKind) in_->ReadText(kindName);
      if (version_ >= kFirstWithDefaultExpr) in_->ReadText(def.defaultExpression);

      if (typeName == kStringTypeName) {
        def.type = FieldType::String;
      } else if (typeName == kIntegerTypeName) {
        def.type = FieldType::Integer;
      } else {
        throw TableError("Unknown field type (" + typeName + ")");
      }
      def.kind = 0;  // an unknown kind counts as data
      for (size_t k = 0; k < kKindNames.size(); ++k) {
        if (kindName == kKindNames[k]) def.kind = static_cast<int>(k);
      }
      if (first) {
        table_.Close();
        table_.fields_.clear();
        first = false;
      }
      table_.fields_.push_back(std::move(def));
    }
    in_->ReadEndList();

    if (table_.fields_.empty()) throw TableError(kNoFieldCount);
    // A file without field definitions keeps the table's fields but, like any load, replaces
    // its rows.
    table_.Open();
    table_.Empty();
  }

  void SkipIndexDefinitions() {
    in_->ReadStartList();
    std::string text;
    while (!in_->AtEndOfList()) {
      for (int i = 0; i < 3; ++i) in_->ReadText(text);  // name, fields, display name
      for (int i = 0; i < 4; ++i) in_->ReadBool();      // descending .. unique
    }
    in_->ReadEndList();
  }

  void SkipDataTypeHeader() {
    in_->ReadStartList();
    const int32_t count = in_->ReadInteger();
    for (int32_t i = 0; i < count; ++i) in_->ReadInteger();
    in_->ReadEndList();
  }

  // One status-and-values group as values (earlier versions of a row).
  void ReadValues(std::vector<FieldValue>& values) {
    const std::vector<FieldDef>& fields = table_.fields_;
    values.resize(fields.size());
    const bool hasNullFlags = version_ >= kFirstWithNullFlags;
    for (size_t i = 0; i < fields.size(); ++i) {
      FieldValue& value = values[i];
      if (hasNullFlags && in_->ReadBool()) continue;  // null
      value.isNull = false;
      const FieldDef& def = fields[i];
      if (def.type == FieldType::Integer) {
        value.integer = in_->ReadInteger();
      } else {
        in_->ReadText(value.text);
        if (def.size > 0 && value.text.size() > static_cast<size_t>(def.size)) {
          value.text.resize(static_cast<size_t>(def.size));
        }
      }
    }
  }

  // The current values of a row, straight into the table's cells and text arena.
  void ReadCells(Cell* cells) {
    const std::vector<FieldDef>& fields = table_.fields_;
    TextArena& arena = table_.arena_;
    const bool hasNullFlags = version_ >= kFirstWithNullFlags;
    for (size_t i = 0; i < fields.size(); ++i) {
      if (hasNullFlags && in_->ReadBool()) continue;  // null
      Cell& cell = cells[i];
      cell.isNull = false;
      const FieldDef& def = fields[i];
      if (def.type == FieldType::Integer) {
        cell.integer = in_->ReadInteger();
        continue;
      }
      const size_t offset = arena.Size();
      size_t size = in_->AppendText(arena);
      if (def.size > 0 && size > static_cast<size_t>(def.size)) {
        size = static_cast<size_t>(def.size);
        arena.Truncate(offset + size);
      }
      if (arena.Size() > std::numeric_limits<uint32_t>::max()) {
        throw TableError("Table too large: more than 4 GB of text");
      }
      cell.offset = static_cast<uint32_t>(offset);
      cell.size = static_cast<uint32_t>(size);
    }
  }

  void ReadRows() {
    in_->ReadStartList();
    const bool wrapped = version_ >= kFirstWithRowLists;
    const uint64_t rowsStart = in_->Remaining();
    const size_t fieldCount = table_.fields_.size();
    std::vector<Cell>& cells = table_.cells_;
    std::vector<int32_t>& status = table_.status_;
    table_.rowsViewStale_ = true;
    while (!in_->AtEndOfList()) {
      if (status.size() == status.capacity()) ReserveForRemainingRows(rowsStart);
      const size_t arenaMark = table_.arena_.Size();
      cells.resize(cells.size() + fieldCount);
      try {
        int32_t rowStatus = 0;
        if (wrapped) {
          in_->ReadStartList();
          rowStatus = in_->ReadInteger();
        }
        ReadCells(cells.data() + status.size() * fieldCount);
        EarlierVersions earlier;
        if (wrapped) {
          // Further status-and-values groups are earlier versions of this row.
          while (!in_->AtEndOfList()) {
            auto& version = earlier.emplace_back();
            version.first = in_->ReadInteger();
            ReadValues(version.second);
          }
          in_->ReadEndList();
        }
        if (!earlier.empty()) table_.earlier_.emplace_back(status.size(), std::move(earlier));
        status.push_back(rowStatus);
      } catch (...) {
        // Only whole rows stay.
        cells.resize(status.size() * fieldCount);
        table_.arena_.Truncate(arenaMark);
        throw;
      }
    }
    in_->ReadEndList();
  }

  // Room for the rows the rest of the file holds, judged by the rows read so far, instead of
  // doubling: fewer copies and less memory touched. Never more than the bytes left justify.
  void ReserveForRemainingRows(uint64_t rowsStart) {
    const size_t rows = table_.status_.size();
    if (rows < 64) return;  // too few to judge; let the vectors grow
    const uint64_t consumed = std::max<uint64_t>(1, rowsStart - in_->Remaining());
    const uint64_t left = in_->Remaining();
    const double share = static_cast<double>(left) / static_cast<double>(consumed);
    const auto expected = static_cast<size_t>(static_cast<double>(rows) * (1 + share));
    const size_t rowsRoom = expected + expected / 32 + 16;
    table_.status_.reserve(rowsRoom);
    table_.cells_.reserve(rowsRoom * table_.fields_.size());
    const size_t arena = table_.arena_.Size();
    table_.arena_.Reserve(arena + static_cast<size_t>(static_cast<double>(arena) * share) + 1024);
  }

  MemTable& table_;
  std::unique_ptr<BatchReader> in_;  // 16 KiB: keep it off the stack
  int32_t version_ = kWrittenVersion;
};

void MemTable::LoadBatchStream(ByteSource& source) {
  // The cursor stands on the first row throughout, also after an error while reading rows:
  // Open or Empty put it there and rows are only ever appended.
  try {
    Loader(*this, source).Run();
  } catch (const IoError&) {
    throw TableError(kStreamReadError);
  }
}

void MemTable::LoadBatchFile(const std::filesystem::path& path) {
  std::unique_ptr<FileSource> file;
  try {
    file = std::make_unique<FileSource>(path);
  } catch (const IoError& e) {
    throw TableError("Cannot open file \"" + path.string() + "\". " + e.what());
  }
  LoadBatchStream(*file);
}

}  // namespace kessmar
