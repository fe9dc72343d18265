// Serial port discovery: the COM ports present now, each with its friendly name, and the device
// behind a port number.
//
// Sources, in listing order:
//   1. the ports directory (see PortsDirectory.h), present entries sorted by number;
//   2. serial hardware, sorted by number: /dev/ttySk is COM(k+1) when its UART is real (the
//      `type` file in sysfs reads a number other than 0); USB serial devices (ttyUSB*, ttyACM*)
//      get the lowest free number from 3 up, kept per device (its /dev/serial/by-id name, else
//      its tty name) in the com-numbers file, and are named "Manufacturer Product (COMn)".
// Hardware comes first: a ports-directory entry under a number that present hardware holds is
// not listed, so a real scanner is never hidden behind it. New USB devices get numbers that no
// present entry holds.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kessmar::platform {

// Where discovery looks. Tests point it at a fake sysfs and /dev tree.
struct SerialPortsEnvironment {
  std::filesystem::path portsDirectory;
  std::filesystem::path sysfsRoot = "/sys";
  std::filesystem::path devRoot = "/dev";
  // File that keeps the numbers given to USB serial devices; empty: numbers are not kept.
  std::filesystem::path comNumbersFile;

  // From the process: DefaultPortsDirectory(), $KESSMAR_SYSFS_ROOT (default /sys),
  // $KESSMAR_DEV_ROOT (default /dev), and <per-user data folder>/com-numbers.
  static SerialPortsEnvironment FromProcess();
};

// One present serial port.
struct SerialPortInfo {
  int number = 0;            // n of COMn
  std::string friendlyName;  // without zero bytes
  std::string devicePath;    // what to open
};

// The present ports in listing order. Never throws; sources that cannot be read add nothing.
std::vector<SerialPortInfo> ListSerialPorts(const SerialPortsEnvironment& environment);

// The numbers that belong to serial hardware: those of the devices present now and every number
// kept for a USB device, also while it is unplugged. The ports directory must not hand them out.
// Never throws.
std::set<int> ReservedComNumbers(const SerialPortsEnvironment& environment);

// The port entries "COMn: = friendly name" of the present ports, in listing order. With
// onlyOpenable set, a port is listed only when its device can be opened for reading and writing
// at this moment (it is closed again at once). nullopt when no port is listed. Never throws.
std::optional<std::vector<std::string>> EnumerateSerialPorts(bool onlyOpenable);
std::optional<std::vector<std::string>> EnumerateSerialPorts(
    bool onlyOpenable, const SerialPortsEnvironment& environment);

// The device path of COMn when that port is present; nullopt otherwise. Never throws.
std::optional<std::string> ResolveComPort(int n);
std::optional<std::string> ResolveComPort(int n, const SerialPortsEnvironment& environment);

}  // namespace kessmar::platform
