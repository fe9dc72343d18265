// A scan batch built by hand, as a read from the scanner leaves it in the scan table.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "batch/MemTable.h"

namespace kessmar::testing {

// An open scan table holding the two leading rows and one item row per code (BarcodeType "",
// Aantal 1, a fixed time stamp).
inline MemTable ScanBatch(std::string_view scannerId, std::string_view batchId,
                          const std::vector<std::string>& codes) {
  MemTable table(MemTable::ScanRecordFields());
  table.Open();
  for (std::string_view id : {scannerId, batchId}) {
    table.Append();
    table.SetText("Barcode", id);
    table.Post();
  }
  for (const std::string& code : codes) {
    table.Append();
    table.SetText("BarcodeType", "");
    table.SetText("Barcode", code);
    table.SetText("DateTime", "2026/12/08 14:31:07");
    table.SetInteger("Aantal", 1);
    table.Post();
  }
  return table;
}

}  // namespace kessmar::testing
