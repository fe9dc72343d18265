// scanner-batch-reader: reads the scans waiting in the scanner on COM<port> through the scanner
// library (Csp2.dll on Windows, libcsp2 on Linux) and saves them as the tool does, with a fixed
// clock, so that the Linux and the Windows build can be compared byte for byte.
//   scanner-batch-reader PORT DATA_FOLDER EPOCH_SECONDS
// Exit status 0 when saved, 1 on failure (with the reason), 2 on wrong usage.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "scanner/BatchRead.h"
#include "scanner/ScannerLibrary.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: scanner-batch-reader PORT DATA_FOLDER EPOCH_SECONDS\n", stderr);
    return 2;
  }
  try {
    const int port = std::stoi(argv[1]);
    const std::string dataFolder = argv[2];
    const auto when = std::chrono::system_clock::from_time_t(std::stoll(argv[3]));
    kessmar::Csp2Library library;
    if (library.InitEx(port) != 0) {
      std::fprintf(stderr, "scanner-batch-reader: cannot open COM%d\n", port);
      return 1;
    }
    if (library.GetCTS() != 1) {
      std::fputs("scanner-batch-reader: no scanner with scans waiting\n", stderr);
      library.Restore();
      return 1;
    }
    const auto batch = kessmar::ReadScannerBatch(library, [when] { return when; });
    if (!batch) {
      std::fputs("scanner-batch-reader: no scans\n", stderr);
      library.Restore();
      return 1;
    }
    const auto history = kessmar::SaveBatchWithHistory(*batch, dataFolder, [when] { return when; });
    library.Restore();
    std::printf("%d scans; %s\n", batch->RowCount() - 2,
                history ? history->filename().string().c_str() : "no history copy");
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scanner-batch-reader: %s\n", e.what());
    return 1;
  }
}
