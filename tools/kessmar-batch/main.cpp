// kessmar-batch: prints a batch file's fields and rows, or its rows as CSV.
#include <cstring>
#include <iostream>
#include <string_view>

#include "BatchText.h"
#include "MemTable.h"

namespace {

constexpr const char* kUsage =
    "Usage: kessmar-batch dump FILE   show the fields and every row of a batch file\n"
    "       kessmar-batch csv FILE    write the rows as CSV (UTF-8, RFC 4180) to stdout\n"
    "       kessmar-batch --help      show this text\n"
    "\n"
    "dump shows a null field as <null> and a text between double quotes, so an empty\n"
    "text shows as \"\". In CSV both are empty cells.\n"
    "Exit status: 0 done, 1 the file could not be read or output failed, 2 wrong usage.\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::cout << kUsage;
    return 0;
  }
  const std::string_view command = argc > 1 ? argv[1] : "";
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
