// The emulator's command line.
//
//   scanner-emulator [--ports-dir DIR] [--com N] [--name TEXT] [--id HEX16]
//                    [--scan CODE]... [--scans-file FILE]
//                    [--misbehave none|silent|garble|cutoff] [--line-rate BYTES_PER_SECOND]
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "scanner-emulator/ScannerResponder.h"

namespace kessmar::emulator {

struct EmulatorOptions {
  std::filesystem::path portsDirectory;  // empty: the default ports directory
  int comNumber = 0;                     // 0: lowest free number from 3 up
  std::string friendlyName = "OPTICON OPN-2001 (emulated)";
  std::array<uint8_t, 8> deviceId{0x00, 0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  std::vector<std::string> scans;  // in order: --scan codes and the lines of --scans-file
  Misbehaviour misbehaviour = Misbehaviour::kNone;
  int lineRate = 0;  // bytes per second towards the host, as a slow line; 0: no limit
  bool help = false;
};

// Parses argv. Throws std::invalid_argument with a message naming the option, or the file and
// line, that is wrong. Reads the scans file.
EmulatorOptions ParseEmulatorOptions(int argc, char** argv);

extern const char* const kEmulatorUsage;

}  // namespace kessmar::emulator
