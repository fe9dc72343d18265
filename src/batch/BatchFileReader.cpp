// MemTable::LoadBatchFile: a batch file of any version into the table (docs/batch-file.md).
#include <memory>

#include "BatchFormat.h"
#include "BatchStream.h"
#include "FileStreams.h"
#include "MemTable.h"

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

  void ReadRows() {
    in_->ReadStartList();
    const bool wrapped = version_ >= kFirstWithRowLists;
    while (!in_->AtEndOfList()) {
      Row row;
      if (wrapped) {
        in_->ReadStartList();
        row.status = in_->ReadInteger();
      }
      ReadValues(row.values);
      if (wrapped) {
        // Further status-and-values groups are earlier versions of this row.
        while (!in_->AtEndOfList()) {
          auto& earlier = row.earlierVersions.emplace_back();
          earlier.first = in_->ReadInteger();
          ReadValues(earlier.second);
        }
        in_->ReadEndList();
      }
      table_.rows_.push_back(std::move(row));
    }
    in_->ReadEndList();
  }

  MemTable& table_;
  std::unique_ptr<BatchReader> in_;  // 16 KiB: keep it off the stack
  int32_t version_ = kWrittenVersion;
};

void MemTable::LoadBatchStream(ByteSource& source) {
  // The cursor stands on the first row throughout, also after an error while reading rows:
  // Open put it there and rows are only ever appended.
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
