// The build step that turns the scan batch into the batch to process, merging identical
// barcodes when asked.
#pragma once

#include <filesystem>

#include "batch/MemTable.h"

namespace kessmar {

// A scan batch begins with two leading rows, the scanner id and then the batch id; one item row
// per scan follows.
inline constexpr int kLeadingRows = 2;

// The number of item rows of a scan batch (its scans, or its lines once merged).
inline int ItemCount(const MemTable& batch) {
  return batch.RowCount() - kLeadingRows;
}

// Refills dataToProcess from scannerData (both with the scan record fields; dataToProcess gets
// them when it has no fields at all):
// - dataToProcess is closed, emptied and opened again;
// - scannerData is opened; when it holds fewer than the leading rows it is closed and reloaded from
//   lastReadFile (the Data folder's "last_read.dat");
// - every scannerData row in order gives a dataToProcess row with BarcodeType and Barcode as
//   text, DateTime null and Aantal the row's Aantal (null counts as 0). With merge, a row whose
//   Barcode equals (exactly, case-sensitive) one already in dataToProcess adds its Aantal to
//   that row instead.
// Throws TableError: the reload's errors (missing or damaged file), a missing field, or an
// Aantal sum beyond the 32-bit range. dataToProcess then holds the rows built so far.
void BuildBatchToProcess(MemTable& scannerData, MemTable& dataToProcess, bool merge,
                         const std::filesystem::path& lastReadFile);

}  // namespace kessmar
