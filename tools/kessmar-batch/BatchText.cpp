#include "kessmar-batch/BatchText.h"

#include <cstdio>
#include <string>

#include "common/CodePage.h"

namespace kessmar {
namespace {

const char* TypeName(FieldType type) {
  return type == FieldType::Integer ? "Integer" : "String";
}

std::string ValueText(const FieldDef& def, const FieldValue& value) {
  if (def.type == FieldType::Integer) return std::to_string(value.integer);
  return Cp1252ToUtf8(value.text);
}

std::string Quoted(std::string_view utf8) {
  std::string out = "\"";
  for (char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

void DumpValues(const std::vector<FieldDef>& fields, const std::vector<FieldValue>& values,
                std::ostream& out) {
  for (size_t i = 0; i < fields.size(); ++i) {
    const FieldValue& value = values[i];
    out << "  " << Cp1252ToUtf8(fields[i].name) << '=';
    if (value.isNull) {
      out << "<null>";
    } else if (fields[i].type == FieldType::Integer) {
      out << value.integer;
    } else {
      out << Quoted(ValueText(fields[i], value));
    }
  }
}

std::string CsvCell(std::string_view text) {
  if (text.find_first_of("\",\r\n") == std::string_view::npos) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

void DumpTable(const MemTable& table, std::ostream& out) {
  const std::vector<FieldDef>& fields = table.Fields();
  out << "Fields: " << fields.size() << '\n';
  for (size_t i = 0; i < fields.size(); ++i) {
    out << "  " << i + 1 << ". " << Cp1252ToUtf8(fields[i].name) << ' ' << TypeName(fields[i].type)
        << ' ' << fields[i].size << '\n';
  }
  out << "Rows: " << table.RowCount() << '\n';
  int number = 0;
  for (const Row& row : table.Rows()) {
    out << ++number << ':';
    DumpValues(fields, row.values, out);
    if (!row.earlierVersions.empty()) {
      out << "  (" << row.earlierVersions.size() << " earlier version"
          << (row.earlierVersions.size() == 1 ? "" : "s") << ')';
    }
    out << '\n';
  }
}

void WriteCsv(const MemTable& table, std::ostream& out) {
  const std::vector<FieldDef>& fields = table.Fields();
  for (size_t i = 0; i < fields.size(); ++i) {
    out << (i ? "," : "") << CsvCell(Cp1252ToUtf8(fields[i].name));
  }
  out << "\r\n";
  for (const Row& row : table.Rows()) {
    for (size_t i = 0; i < fields.size(); ++i) {
      if (i) out << ',';
      if (!row.values[i].isNull) out << CsvCell(ValueText(fields[i], row.values[i]));
    }
    out << "\r\n";
  }
}

}  // namespace kessmar
