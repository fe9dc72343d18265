// MemTable::SaveBatchFile: the table as a batch file (docs/batch-file.md).
#include <memory>

#include "BatchFormat.h"
#include "BatchStream.h"
#include "FileStreams.h"
#include "MemTable.h"

namespace kessmar {
namespace {

using namespace batchfile;

std::string_view KindName(int kind) {
  if (kind < 0 || kind >= static_cast<int>(kKindNames.size())) return kKindNames[0];
  return kKindNames[kind];
}

void WriteFieldDefinition(BatchWriter& out, const FieldDef& def) {
  const bool isText = def.type == FieldType::String;
  int32_t width = def.displayWidth;
  if (width == 0) width = isText ? def.size : kIntegerDisplayWidth;
  out.WriteText(def.name);
  out.WriteText(isText ? kStringTypeName : kIntegerTypeName);
  out.WriteInteger(isText ? def.size : 0);
  out.WriteText(def.displayLabel.empty() ? def.name : def.displayLabel);
  out.WriteText(def.editMask);
  out.WriteInteger(width);
  out.WriteBool(def.required);
  out.WriteBool(def.readOnly);
  out.WriteText(KindName(def.kind));
  out.WriteText(def.defaultExpression);
}

void WriteTable(BatchWriter& out, const std::vector<FieldDef>& fields,
                const std::vector<Row>& rows) {
  out.WriteRaw(kSignature);
  out.WriteInteger(kWrittenVersion);

  out.WriteTag(kStartOfList);
  for (const FieldDef& def : fields) WriteFieldDefinition(out, def);
  out.WriteTag(kEndOfList);

  out.WriteTag(kStartOfList);  // no index definitions
  out.WriteTag(kEndOfList);

  out.WriteTag(kStartOfList);
  out.WriteInteger(static_cast<int32_t>(fields.size()));
  for (const FieldDef& def : fields) {
    out.WriteInteger(def.type == FieldType::String ? kStringTypeCode : kIntegerTypeCode);
  }
  out.WriteTag(kEndOfList);

  out.WriteTag(kStartOfList);
  for (const Row& row : rows) {
    out.WriteTag(kStartOfList);
    out.WriteInteger(0);
    for (size_t i = 0; i < fields.size(); ++i) {
      const FieldValue& value = row.values[i];
      out.WriteBool(value.isNull);
      if (value.isNull) continue;
      if (fields[i].type == FieldType::String) {
        out.WriteText(value.text);
      } else {
        out.WriteInteger(value.integer);
      }
    }
    out.WriteTag(kEndOfList);
  }
  out.WriteTag(kEndOfList);
  out.Flush();
}

}  // namespace

void MemTable::SaveBatchFile(const std::filesystem::path& path) const {
  RequireOpen();
  try {
    AtomicFileSink file(path);
    auto out = std::make_unique<BatchWriter>(file);  // 16 KiB: keep it off the stack
    WriteTable(*out, fields_, rows_);
    file.Commit();
  } catch (const IoError& e) {
    throw TableError("Cannot create file \"" + path.string() + "\". " + e.what());
  }
}

}  // namespace kessmar
