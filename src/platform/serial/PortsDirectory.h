// The ports directory: the place where COM port numbers are given to devices that the system does
// not list as serial hardware (the scanner emulator, test ports).
//
// Format, one port n per set of files in the directory:
//   COMn        symbolic link to the device (for example /dev/pts/5); its presence defines the port
//   COMn.name   optional; line 1: the friendly name (taken up to its first zero byte);
//               optional line 2: "pid N", the owning process; a dead owner makes the port absent
//   COMn.ctl    control socket of an emulator (not read here)
//   .lock       taken with flock while a port is registered or removed
// A port is present when its link leads to an existing character device and its owner, when
// named, still runs. Absent entries are left in place and reused by the next registration.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace kessmar::platform {

// One COMn entry of the ports directory.
struct PortsDirectoryEntry {
  int number = 0;
  std::string devicePath;    // target of the COMn link, made absolute
  std::string friendlyName;  // COMn.name, or "Serial port" when there is none; empty when absent
  bool present = false;
};

// The ports directory of this user: $KESSMAR_PORTS_DIR, else $XDG_RUNTIME_DIR/kessmar/ports,
// else /tmp/kessmar-<uid>/ports. The directory need not exist.
std::filesystem::path DefaultPortsDirectory();

class PortsDirectory {
 public:
  explicit PortsDirectory(std::filesystem::path directory);

  const std::filesystem::path& Path() const { return directory_; }

  // Every COMn entry (present or not), sorted by number. A missing or unreadable directory gives
  // an empty list; never throws.
  std::vector<PortsDirectoryEntry> List() const;

  // Registers devicePath under friendlyName, owned by process ownerPid, and returns its number.
  // With requestedNumber > 0 that number is used, replacing an absent entry; otherwise the lowest
  // number from 3 up that has no present entry and is not in reservedNumbers (the numbers of
  // serial hardware, see ReservedComNumbers). Creates the directory when needed. Throws
  // std::runtime_error naming the path when the directory cannot be written or the requested
  // number is held by a present port or is reserved, std::invalid_argument when friendlyName
  // holds a line break.
  int Register(const std::string& devicePath, const std::string& friendlyName, pid_t ownerPid,
               int requestedNumber = 0, const std::set<int>& reservedNumbers = {}) const;

  // Removes the files of port number, as long as they still belong to ownerPid (a port taken
  // over by another owner is left alone). Never throws.
  void Unregister(int number, pid_t ownerPid) const noexcept;

  // Path of a file of port number: suffix "" for the link, ".name" or ".ctl".
  std::filesystem::path FileOf(int number, const char* suffix) const;

 private:
  std::filesystem::path directory_;
};

// The port number of a directory entry name "COMn" (digits without leading zero, 1 to 9999);
// 0 when the name is not of that form.
int PortNumberOfName(const std::string& name);

}  // namespace kessmar::platform
