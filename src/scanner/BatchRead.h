// Reading the scans stored in the scanner as one scan batch, and the texts that identify it.
#pragma once

#include <chrono>
#include <ctime>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "batch/BatchHistory.h"
#include "batch/MemTable.h"
#include "platform/LocalTime.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

using platform::LocalTime;

// The 8 id bytes as 16 upper-case hexadecimal digits with the leading "0" characters removed;
// eight zero bytes give "".
std::string FormatScannerId(const unsigned char* idBytes);

// The scanner id from csp2GetDeviceId, or "" when that call returns 0 or less.
std::string GetScannerId(ScannerLibrary& scanner);

// "yyyymmddhhnnss" for a local time: the time part of a batch id.
std::string FormatBatchTime(const std::tm& time);

// Raised when a scan cannot be fetched completely; the scans then stay in the scanner.
class ScannerReadError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads every stored scan into a new scan batch: the scanner id row, the batch id row (scanner
// id and the local time that clock gives once every scan has been fetched), then one item row
// per scan in the scanner's order with BarcodeType "", the barcode, Aantal 1 and the time-stamp
// text. nullopt when the scanner reports no scans. Throws ScannerReadError when a packet cannot
// be fetched or is shorter than 6 bytes, so that a batch is never taken in part.
std::optional<MemTable> ReadScannerBatch(ScannerLibrary& scanner, const WallClock& clock);

// What a scan batch holds, apart from the moment it was read: equal keys mean the same scans
// (the scanner id and every item's barcode, time stamp and quantity, in order).
std::string ScanContentKey(const MemTable& batch);

}  // namespace kessmar
