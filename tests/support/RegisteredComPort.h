// Windows test helper: a device of the Ports setup class with a friendly name and a PortName, as
// a USB serial driver registers one, removed again when the object goes. Windows lists it through
// SetupAPI like a real port.
#pragma once

#include <windows.h>

#include <devguid.h>
#include <setupapi.h>

#include <stdexcept>
#include <string>

namespace kessmar::testing {

class RegisteredComPort {
 public:
  // Throws std::runtime_error when SetupAPI refuses the device.
  RegisteredComPort(const std::wstring& portName, const std::wstring& friendlyName) {
    set_ = ::SetupDiCreateDeviceInfoList(&GUID_DEVCLASS_PORTS, nullptr);
    if (set_ == INVALID_HANDLE_VALUE) throw std::runtime_error("SetupDiCreateDeviceInfoList");
    device_.cbSize = sizeof device_;
    if (!::SetupDiCreateDeviceInfoW(set_, L"Ports", &GUID_DEVCLASS_PORTS, nullptr, nullptr,
                                    DICD_GENERATE_ID, &device_)) {
      Remove();
      throw std::runtime_error("SetupDiCreateDeviceInfoW failed");
    }
    static const wchar_t kHardwareId[] = L"KESSMAR\\TESTPORT\0";
    ::SetupDiSetDeviceRegistryPropertyW(set_, &device_, SPDRP_HARDWAREID,
                                        reinterpret_cast<const BYTE*>(kHardwareId),
                                        sizeof kHardwareId);
    if (!::SetupDiRegisterDeviceInfo(set_, &device_, 0, nullptr, nullptr, nullptr)) {
      Remove();
      throw std::runtime_error("SetupDiRegisterDeviceInfo failed");
    }
    registered_ = true;
    ::SetupDiSetDeviceRegistryPropertyW(
        set_, &device_, SPDRP_FRIENDLYNAME, reinterpret_cast<const BYTE*>(friendlyName.c_str()),
        static_cast<DWORD>((friendlyName.size() + 1) * sizeof(wchar_t)));
    HKEY key =
        ::SetupDiCreateDevRegKeyW(set_, &device_, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (key == INVALID_HANDLE_VALUE) {
      Remove();
      throw std::runtime_error("SetupDiCreateDevRegKeyW failed");
    }
    ::RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName.c_str()),
                     static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
  }
  RegisteredComPort(const RegisteredComPort&) = delete;
  RegisteredComPort& operator=(const RegisteredComPort&) = delete;
  ~RegisteredComPort() { Remove(); }

  void Remove() {
    if (registered_) ::SetupDiRemoveDevice(set_, &device_);
    registered_ = false;
    if (set_ != INVALID_HANDLE_VALUE) ::SetupDiDestroyDeviceInfoList(set_);
    set_ = INVALID_HANDLE_VALUE;
  }

 private:
  HDEVINFO set_ = INVALID_HANDLE_VALUE;
  SP_DEVINFO_DATA device_{};
  bool registered_ = false;
};

}  // namespace kessmar::testing
