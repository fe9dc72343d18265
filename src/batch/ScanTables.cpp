#include "batch/ScanTables.h"

#include <cstdint>
#include <limits>

namespace kessmar {

void BuildBatchToProcess(MemTable& scannerData, MemTable& dataToProcess, bool merge,
                         const std::filesystem::path& lastReadFile) {
  if (dataToProcess.Fields().empty()) dataToProcess.SetFields(MemTable::ScanRecordFields());
  dataToProcess.Close();
  dataToProcess.Empty();
  dataToProcess.Open();

  scannerData.Open();
  if (scannerData.RowCount() < kLeadingRows) {
    // No batch in memory (start-up, or a failed load): work on the last batch read.
    scannerData.Close();
    scannerData.LoadBatchFile(lastReadFile);
    scannerData.Open();
  }

  scannerData.First();
  while (!scannerData.Eof()) {
    const std::string barcode = scannerData.AsText("Barcode");
    if (merge && dataToProcess.Find("Barcode", barcode)) {
      dataToProcess.Edit();
    } else {
      dataToProcess.Append();
      dataToProcess.SetText("BarcodeType", scannerData.AsText("BarcodeType"));
      dataToProcess.SetText("Barcode", barcode);
      dataToProcess.SetInteger("Aantal", 0);
    }
    const int64_t sum =
        int64_t{dataToProcess.AsInteger("Aantal")} + int64_t{scannerData.AsInteger("Aantal")};
    if (sum < std::numeric_limits<int32_t>::min() || sum > std::numeric_limits<int32_t>::max()) {
      dataToProcess.Cancel();
      throw TableError("Aantal of barcode '" + barcode + "' out of range");
    }
    dataToProcess.SetInteger("Aantal", static_cast<int32_t>(sum));
    dataToProcess.Post();
    scannerData.Next();
  }
}

}  // namespace kessmar
