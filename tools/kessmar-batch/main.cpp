// kessmar-batch: prints a batch file's fields and rows, or its rows as CSV.
#include <cstring>
#include <iostream>
#include <string_view>

#include "batch/MemTable.h"
#include "kessmar-batch/BatchText.h"
#include "kessmar-batch/VemoCommand.h"
#include "platform/StandardStreams.h"

namespace {

constexpr const char* kUsage =
    "Usage: kessmar-batch dump FILE   show the fields and every row of a batch file\n"
    "       kessmar-batch csv FILE    write the rows as CSV (UTF-8, RFC 4180) to stdout\n"
    "       kessmar-batch vemo FILE [--server NAME@ADDRESS] [--no-merge] [--again]\n"
    "                                 hand a batch file to the Vemo back office\n"
    "       kessmar-batch --help      show this text\n"
    "\n"
    "dump shows a null field as <null> and a text between double quotes, so an empty\n"
    "text shows as \"\". In CSV both are empty cells.\n"
    "\n"
    "vemo does what the tool's action \"Stuur naar Vemo\" does, with the same code and no\n"
    "windows: every scan is looked up in the back office's articles and package barcodes,\n"
    "priced and added to the open order, all in one go or not at all. An administrator can\n"
    "re-send a batch from the history with it: the dated files in the tool's Data folder\n"
    "(last_read.dat is the latest). The server is found as the tool finds it (on the\n"
    "network and on this machine), or named with --server, e.g. VEMOPRO@192.168.1.10: then\n"
    "only that server is used, and the run fails when it cannot be reached. Port, user and\n"
    "password come from PGPORT, PGUSER and ~/.pgpass. Identical barcodes become one line\n"
    "unless --no-merge. It prints the server, the order number, one line per order line\n"
    "(Line: CODE  QUANTITY x UNIT PRICE = TOTAL) and one per scan that was not found\n"
    "(Not found: BARCODE x QUANTITY).\n"
    "\n"
    "The back office records every batch handed on. A batch it holds already (the same\n"
    "scanner, batch id and scans) is refused, with the order it is in, unless --again is\n"
    "given: --again adds it once more, on purpose.\n"
    "\n"
    "Exit status: 0 done (vemo: the batch was handed on), 1 the file could not be read,\n"
    "output failed, or (vemo) the batch was not handed on, with the reason; 2 wrong usage;\n"
    "3 (vemo) the back office holds the batch already and --again was not given.\n";

}  // namespace

int main(int argc, char** argv) {
  kessmar::platform::UseBinaryStandardStreams();
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage;
    return 0;
  }
  const std::string_view command = argc > 1 ? argv[1] : "";
  if (command == "vemo") {
    kessmar::VemoOptions options;
    for (int i = 2; i < argc; ++i) {
      const std::string_view arg = argv[i];
      if (arg == "--server" && i + 1 < argc) {
        options.server = argv[++i];
        // Checked before anything is connected: a bad value must not end in a search.
        if (!kessmar::IsServerOption(options.server)) {
          std::cerr << "kessmar-batch: --server " << options.server
                    << " is not a server address NAME@ADDRESS (at most 63 characters)\n";
          return 2;
        }
      } else if (arg == "--no-merge") {
        options.merge = false;
      } else if (arg == "--again") {
        options.again = true;
      } else if (options.file.empty() && !arg.starts_with("--")) {
        options.file = arg;
      } else {
        options.file.clear();
        break;
      }
    }
    if (!options.file.empty()) return kessmar::RunVemoCommand(options, std::cout, std::cerr);
    std::cerr << "kessmar-batch: wrong arguments\n" << kUsage;
    return 2;
  }
  if (argc != 3 || (command != "dump" && command != "csv")) {
    std::cerr << "kessmar-batch: wrong arguments\n" << kUsage;
    return 2;
  }

  kessmar::MemTable table;
  try {
    table.LoadBatchFile(argv[2]);
  } catch (const kessmar::TableError& e) {
    std::cerr << "kessmar-batch: " << e.what() << '\n';
    return 1;
  }
  if (command == "dump") {
    kessmar::DumpTable(table, std::cout);
  } else {
    kessmar::WriteCsv(table, std::cout);
  }
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "kessmar-batch: writing the output failed\n";
    return 1;
  }
  return 0;
}
