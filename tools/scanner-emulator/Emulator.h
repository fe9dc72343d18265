// The emulated scanner process: a pseudo-terminal registered as a COM port in the ports
// directory, answering the scanner protocol, fed with scans from the command line, standard
// input and the control socket, until SIGTERM, SIGINT, SIGHUP or "quit".
#pragma once

#include "scanner-emulator/EmulatorOptions.h"

namespace kessmar::emulator {

// Sets up, prints "READY COMn DEVICE" on standard output and serves until told to end; removes
// its ports-directory entry on the way out. Returns the exit status. Throws std::runtime_error
// naming what failed when it cannot be set up (pseudo-terminal, ports directory, socket).
int RunEmulator(const EmulatorOptions& options);

}  // namespace kessmar::emulator
