// MemTable::SaveBatchFile: the table as a batch file (docs/batch-file.md).
#include <memory>

#include "batch/BatchFormat.h"
#include "batch/BatchStream.h"
#include "batch/FileStreams.h"
#include "batch/MemTable.h"

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

}  // namespace

void MemTable::SaveBatchFile(const std::filesystem::path& path) const {
  RequireOpen();
  try {
    AtomicFileSink file(path);
    auto out = std::make_unique<BatchWriter>(file);  // 16 KiB: keep it off the stack
    out->WriteRaw(kSignature);
    out->WriteInteger(kWrittenVersion);

    out->WriteTag(kStartOfList);
    for (const FieldDef& def : fields_) WriteFieldDefinition(*out, def);
    out->WriteTag(kEndOfList);

    out->WriteTag(kStartOfList);  // no index definitions
    out->WriteTag(kEndOfList);

    out->WriteTag(kStartOfList);
    out->WriteInteger(static_cast<int32_t>(fields_.size()));
    for (const FieldDef& def : fields_) {
      out->WriteInteger(def.type == FieldType::String ? kStringTypeCode : kIntegerTypeCode);
    }
    out->WriteTag(kEndOfList);

    out->WriteTag(kStartOfList);
    for (size_t r = 0; r < status_.size(); ++r) {
      out->WriteTag(kStartOfList);
      out->WriteInteger(0);
      for (size_t f = 0; f < fields_.size(); ++f) {
        const Cell& cell = CellAt(r, f);
        out->WriteBool(cell.isNull);
        if (cell.isNull) continue;
        if (fields_[f].type == FieldType::String) {
          out->WriteText(TextOf(cell));
        } else {
          out->WriteInteger(cell.integer);
        }
      }
      out->WriteTag(kEndOfList);
    }
    out->WriteTag(kEndOfList);
    out->Flush();
    file.Commit();
  } catch (const IoError& e) {
    throw TableError("Cannot create file \"" + path.string() + "\". " + e.what());
  }
}

}  // namespace kessmar
