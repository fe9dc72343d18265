// COM ports as Windows lists them: the devices of the "Ports" setup class, each with its
// friendly name and the "PortName" value of its device key.
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <cwctype>

#include "platform/serial/SerialPorts.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

// n of "COMn"; 0 for anything else.
int ComNumber(const std::wstring& name) {
  if (name.size() < 4 || name.size() > 6 || _wcsnicmp(name.c_str(), L"COM", 3) != 0) return 0;
  int n = 0;
  for (size_t i = 3; i < name.size(); ++i) {
    if (!std::iswdigit(name[i])) return 0;
    n = n * 10 + (name[i] - L'0');
  }
  return n >= 1 && n <= 255 ? n : 0;
}

std::wstring RegistryText(HKEY key, const wchar_t* value) {
  wchar_t buffer[256] = {};
  DWORD size = sizeof buffer - sizeof(wchar_t);
  DWORD type = 0;
  if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return {};
  }
  return std::wstring(buffer, wcsnlen(buffer, size / sizeof(wchar_t)));
}

std::string DevicePath(int number) {
  return "\\\\.\\COM" + std::to_string(number);
}

bool CanOpen(int number) {
  HANDLE h = ::CreateFileW(win32::Widen(DevicePath(number)).c_str(), GENERIC_READ | GENERIC_WRITE,
                           0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

}  // namespace

SerialPortsEnvironment SerialPortsEnvironment::FromProcess() {
  return SerialPortsEnvironment{};
}

std::vector<SerialPortInfo> ListSerialPorts(const SerialPortsEnvironment&) {
  std::vector<SerialPortInfo> ports;
  HDEVINFO devices = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return ports;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    HKEY key = ::SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const int number = ComNumber(RegistryText(key, L"PortName"));
    ::RegCloseKey(key);
    if (number == 0) continue;
    wchar_t friendly[256] = {};
    DWORD type = 0;
    std::wstring name;
    if (::SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, &type,
                                            reinterpret_cast<BYTE*>(friendly),
                                            sizeof friendly - sizeof(wchar_t), nullptr)) {
      name = friendly;
    }
    if (name.empty()) name = L"COM" + std::to_wstring(number);
    if (std::any_of(ports.begin(), ports.end(),
                    [number](const SerialPortInfo& p) { return p.number == number; })) {
      continue;
    }
    ports.push_back(SerialPortInfo{number, win32::Narrow(name), DevicePath(number)});
  }
  ::SetupDiDestroyDeviceInfoList(devices);
  std::sort(ports.begin(), ports.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return a.number < b.number; });
  return ports;
}

std::set<int> ReservedComNumbers(const SerialPortsEnvironment& environment) {
  std::set<int> numbers;
  for (const auto& port : ListSerialPorts(environment)) numbers.insert(port.number);
  return numbers;
}

std::optional<std::vector<std::string>> EnumerateSerialPorts(bool onlyOpenable) {
  return EnumerateSerialPorts(onlyOpenable, SerialPortsEnvironment::FromProcess());
}

std::optional<std::vector<std::string>> EnumerateSerialPorts(
    bool onlyOpenable, const SerialPortsEnvironment& environment) {
  std::vector<std::string> entries;
  for (const auto& port : ListSerialPorts(environment)) {
    if (onlyOpenable && !CanOpen(port.number)) continue;
    entries.push_back("COM" + std::to_string(port.number) + ": = " + port.friendlyName);
  }
  if (entries.empty()) return std::nullopt;
  return entries;
}

std::optional<std::string> ResolveComPort(int n) {
  return ResolveComPort(n, SerialPortsEnvironment::FromProcess());
}

std::optional<std::string> ResolveComPort(int n, const SerialPortsEnvironment&) {
  if (n < 1 || n > 255) return std::nullopt;
  // Any port the system knows by that name, listed in the Ports class or not. Wine's own port
  // links (dosdevices) are not DOS device names to QueryDosDevice: a port that opens counts.
  wchar_t target[512];
  const std::wstring name = L"COM" + std::to_wstring(n);
  if (::QueryDosDeviceW(name.c_str(), target, 512) == 0 && !CanOpen(n)) return std::nullopt;
  return DevicePath(n);
}

}  // namespace kessmar::platform
