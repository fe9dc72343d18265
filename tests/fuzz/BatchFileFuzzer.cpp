// Fuzz target: any bytes as a batch file. Loading must return or throw TableError; a loaded table
// must read back through its public interface, and saved and loaded again it must hold the same
// fields and values.
#include <filesystem>
#include <string_view>

#include "batch/BatchStream.h"
#include "batch/MemTable.h"
#include "fuzz/FuzzTarget.h"
#include "support/TempDir.h"

using namespace kessmar;

namespace {

bool SameFields(const std::vector<FieldDef>& a, const std::vector<FieldDef>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](const FieldDef& x, const FieldDef& y) {
                      // An Integer field's size means nothing; the writer stores 0.
                      return x.name == y.name && x.type == y.type &&
                             (x.type == FieldType::Integer || x.size == y.size);
                    });
}

bool SameValues(const std::vector<Row>& a, const std::vector<Row>& b) {
  auto same = [](const FieldValue& x, const FieldValue& y) {
    return x.isNull == y.isNull && x.text == y.text && x.integer == y.integer;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [&](const Row& x, const Row& y) {
    return std::equal(x.values.begin(), x.values.end(), y.values.begin(), y.values.end(), same);
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const testing::TempDir folder;
  MemTable table(MemTable::ScanRecordFields());
  MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    table.LoadBatchStream(source);
  } catch (const TableError&) {
  }
  if (!table.IsOpen()) return 0;
  for (table.First(); !table.Eof(); table.Next()) {
    for (const FieldDef& def : table.Fields()) {
      (void)table.AsText(def.name);
      (void)table.IsNull(def.name);
    }
  }

  table.SaveBatchFile(folder / "saved.dat");
  MemTable again;
  again.LoadBatchFile(folder / "saved.dat");
  FUZZ_CHECK(SameFields(again.Fields(), table.Fields()));
  FUZZ_CHECK(SameValues(again.Rows(), table.Rows()));
  return 0;
}
