// scanner-emulator: a pocket batch scanner with stored scans on a pseudo-terminal, for tests and
// demonstrations of the scanner link. See EmulatorOptions.h for the command line.
#include <cstdio>
#include <exception>
#include <stdexcept>

#include "scanner-emulator/Emulator.h"
#include "scanner-emulator/EmulatorOptions.h"

int main(int argc, char** argv) {
  using namespace kessmar::emulator;
  EmulatorOptions options;
  try {
    options = ParseEmulatorOptions(argc, argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scanner-emulator: %s\n(--help shows the options)\n", e.what());
    return 2;
  }
  if (options.help) {
    std::fputs(kEmulatorUsage, stdout);
    return 0;
  }
  try {
    return RunEmulator(options);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scanner-emulator: %s\n", e.what());
    return 1;
  }
}
