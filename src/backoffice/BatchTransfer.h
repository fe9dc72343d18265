// The back-office transfer of a batch without its windows: the look-up of every scanned
// barcode through the package barcodes (arvp) and the articles (artk), and an order line for
// every article found. The tool's TransferBatchToVemo and `kessmar-batch vemo` both run it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/HandedOnRecord.h"
#include "backoffice/OrderCreation.h"
#include "batch/MemTable.h"

namespace kessmar {

struct TransferOutcome {
  // True when the batch was handed on: every scan looked up, every article's line added and
  // the whole batch committed (also for a batch without scans), or the record of handed-on
  // batches shows it handed on already (see `already`). False: nothing was written, or, with
  // commitUnknown, whether it was cannot be known (the record guards the next attempt).
  bool handedOn = false;
  // The record's entry when the batch was handed on before and was not added again: nothing
  // was written now.
  std::optional<HandedOn> already;
  bool commitUnknown = false;
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

struct TransferOptions {
  // Add the batch even when the record shows it handed on already (a user's "add it again").
  bool again = false;
  // Use vemoServer only: no search, no other server (kessmar-batch vemo --server).
  ServerChoice serverChoice = ServerChoice::kFallBack;
  // Called after each line was added and written, and just before the commit (tests stop the
  // server here). With lineAdded set, each line is written on its own (a round trip per line),
  // so that the hook sees the batch as a transfer line by line would.
  std::function<void(const OrderLine&)> lineAdded;
  std::function<void(dbclient::Session&)> beforeCommit;
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
// without connecting. The lines land in one transaction, together with the batch's entry in the
// record of handed-on batches (HandedOnRecord.h), which is looked up first under the order lock:
// a batch found there is not added again unless options.again. Before the walk, what its
// look-ups and prices can read is read at once (ScanLookup.h, TPrices::Prefetch), and its lines
// are written together after it, so a batch costs a fixed number of round trips whatever its
// size. An error, or a line that could not be added, ends the walk and rolls everything back. Never
// throws (an allocation failure aside).
TransferOutcome TransferBatch(MemTable& dataToProcess, const std::string& vemoServer,
                              OrderCreation& orders, const TransferOptions& options = {});

// The user's text for a batch the record shows handed on already (Dutch, UTF-8).
std::string AlreadyHandedOnText(const HandedOn& entry);

}  // namespace kessmar
