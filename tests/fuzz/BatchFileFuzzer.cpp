// libFuzzer entry: any bytes as a batch file. Loading must return or throw TableError; a loaded
// table must read back through its public interface.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "batch/BatchStream.h"
#include "batch/MemTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kessmar::MemTable table(kessmar::MemTable::ScanRecordFields());
  kessmar::MemorySource source(std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    table.LoadBatchStream(source);
  } catch (const kessmar::TableError&) {
  }
  if (!table.IsOpen()) return 0;
  for (table.First(); !table.Eof(); table.Next()) {
    for (const kessmar::FieldDef& def : table.Fields()) {
      (void)table.AsText(def.name);
      (void)table.IsNull(def.name);
    }
  }
  return 0;
}
