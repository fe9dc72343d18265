#include "scanner-emulator/EmulatorOptions.h"

#include <charconv>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace kessmar::emulator {

const char* const kEmulatorUsage =
    "Usage: scanner-emulator [options]\n"
    "  --ports-dir DIR     ports directory (default $KESSMAR_PORTS_DIR, else\n"
    "                      $XDG_RUNTIME_DIR/kessmar/ports, else /tmp/kessmar-<uid>/ports)\n"
    "  --com N             register as COMN (default: lowest free number from 3 up)\n"
    "  --name TEXT         friendly name (default \"OPTICON OPN-2001 (emulated)\")\n"
    "  --id HEX16          device id, 16 hexadecimal digits (default 00000A1B2C3D4E5F)\n"
    "  --scan CODE         a stored scan; repeatable\n"
    "  --scans-file FILE   stored scans, one barcode per line\n"
    "  --misbehave MODE    none, silent, garble or cutoff\n"
    "  --line-rate N       send at most N bytes per second, like a slow line\n"
    "Standard input: one barcode per line, added while running.\n"
    "Control socket COMn.ctl in the ports directory: add CODE | count | clear |\n"
    "  misbehave MODE | quit; answers \"ok\", a number or \"error: reason\".\n"
    "Prints \"READY COMn DEVICE\" when ready; SIGTERM or SIGINT unregisters and ends.\n";

namespace {

void ReadScansFile(const std::string& path, std::vector<std::string>& scans) {
  std::ifstream in(path);
  if (!in) throw std::invalid_argument("--scans-file: cannot read " + path);
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (std::string problem = BarcodeProblem(line); !problem.empty()) {
      throw std::invalid_argument(path + " line " + std::to_string(number) + ": " + problem);
    }
    scans.push_back(line);
  }
}

}  // namespace

EmulatorOptions ParseEmulatorOptions(int argc, char** argv) {
  EmulatorOptions options;
  for (int i = 1; i < argc; ++i) {
    std::string_view option = argv[i];
    if (option == "--help" || option == "-h") {
      options.help = true;
      continue;
    }
    if (i + 1 >= argc) throw std::invalid_argument(std::string(option) + ": value missing");
    std::string value = argv[++i];
    if (option == "--ports-dir") {
      if (value.empty()) throw std::invalid_argument("--ports-dir: empty path");
      options.portsDirectory = value;
    } else if (option == "--com") {
      int number = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (ec != std::errc() || end != value.data() + value.size() || number < 1 || number > 9999) {
        throw std::invalid_argument("--com: not a port number from 1 to 9999: " + value);
      }
      options.comNumber = number;
    } else if (option == "--name") {
      if (value.empty() || value.find_first_of(std::string("\0\n\r", 3)) != std::string::npos) {
        throw std::invalid_argument("--name: empty or holding a line break");
      }
      options.friendlyName = value;
    } else if (option == "--id") {
      auto id = ParseDeviceId(value);
      if (!id) throw std::invalid_argument("--id: not 16 hexadecimal digits: " + value);
      options.deviceId = *id;
    } else if (option == "--scan") {
      if (std::string problem = BarcodeProblem(value); !problem.empty()) {
        throw std::invalid_argument("--scan " + value + ": " + problem);
      }
      options.scans.push_back(value);
    } else if (option == "--scans-file") {
      ReadScansFile(value, options.scans);
    } else if (option == "--line-rate") {
      int rate = 0;
      auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), rate);
      if (ec != std::errc() || end != value.data() + value.size() || rate < 10) {
        throw std::invalid_argument("--line-rate: not a number of bytes per second >= 10: " +
                                    value);
      }
      options.lineRate = rate;
    } else if (option == "--misbehave") {
      auto mode = ParseMisbehaviour(value);
      if (!mode) throw std::invalid_argument("--misbehave: unknown mode " + value);
      options.misbehaviour = *mode;
    } else {
      throw std::invalid_argument("unknown option " + std::string(option));
    }
  }
  return options;
}

}  // namespace kessmar::emulator
