// Serial port discovery on Linux: the ports directory plus serial hardware found in sysfs.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string_view>
#include <system_error>

#include "platform/AppPaths.h"
#include "platform/EnvironmentOverrides.h"
#include "platform/FileDescriptor.h"
#include "platform/serial/ComNumbers.h"
#include "platform/serial/PortsDirectory.h"
#include "platform/serial/SerialPorts.h"

namespace kessmar::platform {
namespace {

namespace fs = std::filesystem;

enum class TtyKind { kBuiltIn, kUsb };

struct HardwareTty {
  std::string name;  // ttyS0, ttyUSB1, ...
  TtyKind kind = TtyKind::kBuiltIn;
  int index = 0;             // k of ttySk
  std::string friendlyStem;  // "Manufacturer Product" of a USB device
};

// The index k of name "<prefix>k"; -1 when name is not of that form.
int IndexAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return -1;
  int index = -1;
  auto [end, ec] = std::from_chars(name.data() + prefix.size(), name.data() + name.size(), index);
  if (ec != std::errc() || end != name.data() + name.size()) return -1;
  return index;
}

std::string ReadTrimmed(const fs::path& path) {
  std::ifstream in(path);
  std::string text;
  std::getline(in, text, '\0');
  text = text.substr(0, text.find('\n'));
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  return text.substr(start);
}

// "Manufacturer Product" from the USB device above a tty's device folder.
std::string UsbFriendlyStem(const fs::path& sysfsRoot, const fs::path& ttyFolder) {
  std::error_code ec;
  fs::path root = fs::canonical(sysfsRoot, ec);
  if (ec) return {};
  fs::path folder = fs::canonical(ttyFolder / "device", ec);
  for (int level = 0; !ec && level < 5; ++level) {
    if (folder.native().rfind(root.native(), 0) != 0 || folder == root) break;
    if (fs::exists(folder / "idVendor", ec)) {
      std::string maker = ReadTrimmed(folder / "manufacturer");
      std::string product = ReadTrimmed(folder / "product");
      if (!maker.empty() && !product.empty()) return maker + " " + product;
      return !maker.empty() ? maker : product;
    }
    folder = folder.parent_path();
  }
  return {};
}

std::vector<HardwareTty> ScanSysfs(const fs::path& sysfsRoot, const fs::path& devRoot) {
  std::vector<HardwareTty> found;
  std::error_code ec;
  fs::path classFolder = sysfsRoot / "class" / "tty";
  for (fs::directory_iterator it(classFolder, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    HardwareTty tty;
    tty.name = name;
    if (int k = IndexAfter(name, "ttyS"); k >= 0) {
      tty.kind = TtyKind::kBuiltIn;
      tty.index = k;
    } else if (IndexAfter(name, "ttyUSB") >= 0 || IndexAfter(name, "ttyACM") >= 0) {
      tty.kind = TtyKind::kUsb;
    } else {
      continue;
    }
    std::error_code probe;
    if (!fs::exists(it->path() / "device", probe) || !fs::exists(devRoot / name, probe)) continue;
    if (tty.kind == TtyKind::kBuiltIn) {
      // Unused 8250 slots exist on most machines; their UART type is 0 (unknown).
      std::string type = ReadTrimmed(it->path() / "type");
      if (type.empty() || type == "0") continue;
    } else {
      tty.friendlyStem = UsbFriendlyStem(sysfsRoot, it->path());
    }
    found.push_back(std::move(tty));
  }
  std::sort(found.begin(), found.end(),
            [](const HardwareTty& a, const HardwareTty& b) { return a.name < b.name; });
  return found;
}

// The stable key of a USB serial device: its /dev/serial/by-id name, else its tty name.
std::string DeviceKey(const fs::path& devRoot, const std::string& ttyName) {
  std::error_code ec;
  fs::path device = fs::canonical(devRoot / ttyName, ec);
  if (!ec) {
    for (fs::directory_iterator it(devRoot / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
      std::error_code target;
      if (fs::canonical(it->path(), target) == device && !target) {
        return it->path().filename().string();
      }
    }
  }
  return "tty:" + ttyName;
}

bool CanOpen(const std::string& devicePath) {
  FileDescriptor fd(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
  return static_cast<bool>(fd);
}

}  // namespace

SerialPortsEnvironment SerialPortsEnvironment::FromProcess() {
  SerialPortsEnvironment environment;
  environment.portsDirectory = DefaultPortsDirectory();
  if (const auto root = EnvironmentOverride(env::kSysfsRoot)) environment.sysfsRoot = *root;
  if (const auto root = EnvironmentOverride(env::kDevRoot)) environment.devRoot = *root;
  environment.comNumbersFile = UserDataFolder() / "com-numbers";
  return environment;
}

namespace {

// The serial hardware present now, sorted by number. New USB devices get numbers outside
// avoid (the present ports-directory entries) and the built-in ports.
std::vector<SerialPortInfo> HardwarePorts(const SerialPortsEnvironment& environment,
                                          const std::set<int>& avoid) {
  std::vector<HardwareTty> hardware = ScanSysfs(environment.sysfsRoot, environment.devRoot);
  std::set<int> builtInNumbers;
  std::vector<std::string> usbKeys;
  for (const auto& tty : hardware) {
    if (tty.kind == TtyKind::kBuiltIn) builtInNumbers.insert(tty.index + 1);
    if (tty.kind == TtyKind::kUsb) usbKeys.push_back(DeviceKey(environment.devRoot, tty.name));
  }
  std::set<int> notForUsb = avoid;
  notForUsb.insert(builtInNumbers.begin(), builtInNumbers.end());
  std::map<std::string, int> usbNumbers =
      usbKeys.empty() ? std::map<std::string, int>{}
                      : AssignComNumbers(environment.comNumbersFile, usbKeys, notForUsb);

  std::vector<SerialPortInfo> devices;
  std::set<int> taken;
  size_t usbIndex = 0;
  for (const auto& tty : hardware) {
    SerialPortInfo info;
    info.devicePath = (environment.devRoot / tty.name).string();
    if (tty.kind == TtyKind::kBuiltIn) {
      info.number = tty.index + 1;
      info.friendlyName = "Communications Port (COM" + std::to_string(info.number) + ")";
    } else {
      auto it = usbNumbers.find(usbKeys[usbIndex++]);
      if (it == usbNumbers.end()) continue;
      info.number = it->second;
      std::string stem = tty.friendlyStem.empty() ? "USB Serial Device" : tty.friendlyStem;
      info.friendlyName = stem + " (COM" + std::to_string(info.number) + ")";
    }
    if (!taken.insert(info.number).second) continue;
    devices.push_back(std::move(info));
  }
  std::sort(devices.begin(), devices.end(),
            [](const auto& a, const auto& b) { return a.number < b.number; });
  return devices;
}

std::vector<PortsDirectoryEntry> PresentEntries(const SerialPortsEnvironment& environment) {
  std::vector<PortsDirectoryEntry> present;
  for (auto& entry : PortsDirectory(environment.portsDirectory).List()) {
    if (entry.present) present.push_back(std::move(entry));
  }
  return present;
}

}  // namespace

std::vector<SerialPortInfo> ListSerialPorts(const SerialPortsEnvironment& environment) {
  std::vector<SerialPortInfo> ports;
  try {
    const std::vector<PortsDirectoryEntry> entries = PresentEntries(environment);
    std::set<int> entryNumbers;
    for (const auto& entry : entries) entryNumbers.insert(entry.number);
    std::vector<SerialPortInfo> devices = HardwarePorts(environment, entryNumbers);
    std::set<int> hardwareNumbers;
    for (const auto& device : devices) hardwareNumbers.insert(device.number);
    for (const auto& entry : entries) {
      if (hardwareNumbers.count(entry.number) != 0) continue;  // the real device wins
      ports.push_back({entry.number, entry.friendlyName, entry.devicePath});
    }
    ports.insert(ports.end(), devices.begin(), devices.end());
  } catch (...) {
    // A source that cannot be read adds nothing; what was found so far stays.
  }
  for (auto& port : ports) {
    port.friendlyName = port.friendlyName.substr(0, port.friendlyName.find('\0'));
  }
  return ports;
}

std::set<int> ReservedComNumbers(const SerialPortsEnvironment& environment) {
  std::set<int> numbers;
  try {
    std::set<int> entryNumbers;
    for (const auto& entry : PresentEntries(environment)) entryNumbers.insert(entry.number);
    for (const auto& device : HardwarePorts(environment, entryNumbers)) {
      numbers.insert(device.number);
    }
    numbers.merge(KeptComNumbers(environment.comNumbersFile));
  } catch (...) {
  }
  return numbers;
}

std::optional<std::vector<std::string>> EnumerateSerialPorts(
    bool onlyOpenable, const SerialPortsEnvironment& environment) {
  try {
    std::vector<std::string> entries;
    for (const auto& port : ListSerialPorts(environment)) {
      if (onlyOpenable && !CanOpen(port.devicePath)) continue;
      entries.push_back("COM" + std::to_string(port.number) + ": = " + port.friendlyName);
    }
    if (entries.empty()) return std::nullopt;
    return entries;
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::vector<std::string>> EnumerateSerialPorts(bool onlyOpenable) {
  try {
    return EnumerateSerialPorts(onlyOpenable, SerialPortsEnvironment::FromProcess());
  } catch (...) {
    return std::nullopt;
  }
}

std::optional<std::string> ResolveComPort(int n, const SerialPortsEnvironment& environment) {
  if (n <= 0) return std::nullopt;
  try {
    for (const auto& port : ListSerialPorts(environment)) {
      if (port.number == n) return port.devicePath;
    }
  } catch (...) {
  }
  return std::nullopt;
}

std::optional<std::string> ResolveComPort(int n) {
  try {
    return ResolveComPort(n, SerialPortsEnvironment::FromProcess());
  } catch (...) {
    return std::nullopt;
  }
}

}  // namespace kessmar::platform
