// kessmar-batch vemo: hands a batch file to the Vemo back office, with the code of the tool's
// action "Stuur naar Vemo" and without its windows.
#pragma once

#include <ostream>
#include <string>

namespace kessmar {

struct VemoOptions {
  std::string file;
  std::string server;  // NAME@ADDRESS; empty: found as the tool finds it
  bool merge = true;   // identical barcodes as one line, as the tool does by default
};

// Loads options.file, builds the batch to process and transfers it. Prints to out the server,
// the order number, one line per order line ("Line: CODE  QUANTITY x UNIT PRICE = TOTAL") and
// one per scan not found ("Not found: BARCODE x QUANTITY"); on failure the reason to err.
// Returns 0 when the batch was handed on, 1 otherwise. Never throws.
int RunVemoCommand(const VemoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kessmar
