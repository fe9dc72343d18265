// The look-up of a scanned barcode in the back office: through the package barcodes (arvp) to
// an article (artk), or straight to an article by its code. TransferBatch runs it for every
// scan of a batch; PrefetchScans reads what a whole batch's look-ups and lines need in a few
// requests first, so that the look-ups themselves no longer ask the server.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "backoffice/TunDB.h"

namespace kessmar {

// What a scan resolves to: the article code (UTF-8, as in artk; empty when none) and the
// quantity (the package's count times the scanned quantity for a package barcode).
struct ResolvedScan {
  std::string code;
  int64_t quantity = 0;
};

// For a scan of barcode `scanned` (Windows-1252) with scannedQuantity:
//  1. found in arvp: quantity := ARVP_aantal x scannedQuantity, and the code of the package's
//     article (artk by ARTK_nummer), when artk holds it;
//  2. still no code and 8 characters: the barcode in artk by ARTK_fullcod;
//  3. still no code and 11 characters: its first 8 characters the same way.
// Every look-up matches the whole value, as scanned; a barcode with a zero byte finds nothing.
// Leaves artk on the record of the code found. Throws dbclient::DatabaseError.
ResolvedScan LookUpScan(TunDB& db, const std::string& scanned, int32_t scannedQuantity);

// Reads, within the session's running (repeatable-read) transaction, every record the
// look-ups of scans (Windows-1252 barcodes) can find: the package barcodes, then the articles
// by number, then the articles by code (three requests). LookUpScan, and the look-up of each
// code by OrderCreation, then answer from them. Returns the article numbers the scans resolve
// to, in scan order, without repeats. Throws dbclient::DatabaseError.
std::vector<int64_t> PrefetchScans(TunDB& db, const std::vector<std::string>& scanned);

// The same reads, and those of the prices of the articles they can find (ARPZ, VALU), as
// statements for one round trip: each asks the server for the values the earlier ones find
// there, so that none waits for another's answer. Throws dbclient::DatabaseError when arvp or
// artk cannot be opened or lack a field (nothing is added to reads then).
void PlanScanReads(TunDB& db, const std::vector<std::string>& scanned,
                   std::vector<dbclient::PendingRead>& reads);

}  // namespace kessmar
