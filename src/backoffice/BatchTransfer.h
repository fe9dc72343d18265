// The back-office transfer of a batch without its windows: the look-up of every scanned
// barcode through the package barcodes (arvp) and the articles (artk), and an order line for
// every article found. The tool's TransferBatchToVemo and `kessmar-batch vemo` both run it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "backoffice/OrderCreation.h"
#include "batch/MemTable.h"

namespace kessmar {

struct TransferOutcome {
  // True when the batch was handed on: every scan looked up, every article's line added and
  // the whole batch committed (also for a batch without scans). False: nothing was written.
  bool handedOn = false;
  // When not handed on: why, for the user (Dutch, UTF-8), and the technical cause (English).
  std::string reason;
  std::string detail;
  // The server the transfer reached, for the log ("" when it reached none).
  std::string server;
  // The address to remember (VEMOSERVER): the one AddOrderLine copied; empty when no line was
  // added.
  std::string vemoServer;
  std::string batchId;                // UTF-8
  std::vector<OrderLine> lines;       // as posted (when handed on)
  std::vector<std::string> notFound;  // "barcode x quantity", UTF-8, one per unresolved scan
  int scans = 0;                      // item rows looked up
};

struct TransferHooks {
  // Called after each line was added (tests stop the server here).
  std::function<void(const OrderLine&)> lineAdded;
};

// Transfers dataToProcess (the batch to process: row 1 the scanner id, row 2 the batch id, then
// one row per scan with Barcode and Aantal) to the back office reached through vemoServer (the
// remembered address; empty: the locator searches). For each scan B with quantity Q:
//  1. B found in arvp: Q := ARVP_aantal x Q, and the code of the package's article (artk by
//     ARTK_nummer), when artk holds it;
//  2. still no code and B has 8 characters: B in artk by ARTK_fullcod;
//  3. still no code and B has 11 characters: its first 8 characters the same way;
//  4. a code: OrderCreation::AddOrderLine(code, Q, batch id); none: the report line
//     "B x Aantal" (the scanned quantity).
// Every lookup matches the whole value, as scanned. A batch of two rows or fewer is handed on
// without connecting. The lines land in one transaction; an error, or a line that could not be
// added, ends the walk and rolls everything back. Never throws (an allocation failure aside).
TransferOutcome TransferBatch(MemTable& dataToProcess, const std::string& vemoServer,
                              OrderCreation& orders, const TransferHooks& hooks = {});

}  // namespace kessmar
