// com-port-registration COMn NAME: registers a device of the Ports setup class with PortName
// COMn and friendly name NAME, prints "registered", and removes it again when standard input
// ends. Lets a test list a Wine port link the way Windows lists a real port.
#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Wide(const char* text) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) ::MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
  return wide;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: com-port-registration COMn NAME\n", stderr);
    return 2;
  }
  const std::wstring portName = Wide(argv[1]);
  const std::wstring friendlyName = Wide(argv[2]);
  HDEVINFO set = ::SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    std::fputs("SetupDiCreateDeviceInfoList failed\n", stderr);
    return 1;
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  static const wchar_t kHardwareId[] = L"KESSMAR\\TESTPORT\0";
  if (!::SetupDiCreateDeviceInfoW(set, L"Ports", &GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                  DICD_GENERATE_ID, &device) ||
      !::SetupDiSetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID,
                                           reinterpret_cast<const BYTE*>(kHardwareId),
                                           sizeof kHardwareId) ||
      !::SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr)) {
    std::fputs("registering the device failed\n", stderr);
    ::SetupDiDestroyDeviceInfoList(set);
    return 1;
  }
  ::SetupDiSetDeviceRegistryPropertyW(
      set, &device, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(friendlyName.c_str()),
      static_cast<DWORD>((friendlyName.size() + 1) * sizeof(wchar_t)));
  HKEY key =
      ::SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
  int status = 0;
  if (key == INVALID_HANDLE_VALUE) {
    std::fputs("SetupDiCreateDevRegKeyW failed\n", stderr);
    status = 1;
  } else {
    ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName.c_str()),
                     static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    std::puts("registered");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
  }
  ::SetupDiRemoveDevice(set, &device);
  ::SetupDiDestroyDeviceInfoList(set);
  return status;
}
