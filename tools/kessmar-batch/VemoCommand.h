// kessmar-batch vemo: hands a batch file to the Vemo back office, with the code of the tool's
// action "Stuur naar Vemo" and without its windows.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace kessmar {

struct VemoOptions {
  std::string file;
  std::string server;  // NAME@ADDRESS, the only server used; empty: found as the tool finds it
  bool merge = true;   // identical barcodes as one line, as the tool does by default
  bool again = false;  // add a batch the back office holds already once more
};

// The exit status when the back office holds the batch already and --again was not given.
inline constexpr int kAlreadyHandedOn = 3;

// Whether value can name the server of --server: NAME@ADDRESS, at most 63 characters.
bool IsServerOption(std::string_view value);

// Loads options.file, builds the batch to process and transfers it. Prints to out the server,
// the order number, one line per order line ("Line: CODE  QUANTITY x UNIT PRICE = TOTAL") and
// one per scan not found ("Not found: BARCODE x QUANTITY"); on failure the reason to err.
// A batch the back office's record shows handed on already is not added again unless
// options.again: it prints where it is to err and returns kAlreadyHandedOn. Returns 0 when the
// batch was handed on, 1 otherwise. Never throws.
int RunVemoCommand(const VemoOptions& options, std::ostream& out, std::ostream& err);

}  // namespace kessmar
