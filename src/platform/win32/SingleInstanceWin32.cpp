// The marker is a named mutex in the session's namespace ("Local\"): the system closes it when
// the holding process ends, so a crashed copy never blocks the next start.

#include <windows.h>

#include "platform/SingleInstance.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {
namespace {

std::wstring MutexName(const std::string& name) {
  std::wstring wide = win32::Widen(name);
  // A backslash would name a namespace of its own.
  for (wchar_t& c : wide) {
    if (c == L'\\') c = L'_';
  }
  return L"Local\\" + wide;
}

class Win32SingleInstanceMarker final : public SingleInstanceMarker {
 public:
  ~Win32SingleInstanceMarker() override {
    if (held_ != nullptr) ::CloseHandle(held_);
  }

  bool AcquireOrDetectOther(const std::string& name) override {
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, MutexName(name).c_str());
    if (mutex == nullptr) return false;
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
      ::CloseHandle(mutex);
      return true;
    }
    if (held_ != nullptr) ::CloseHandle(held_);
    held_ = mutex;
    return false;
  }

  bool IsHeldByOther(const std::string& name) override {
    HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, MutexName(name).c_str());
    if (mutex == nullptr) return false;
    ::CloseHandle(mutex);
    return held_ == nullptr;
  }

 private:
  HANDLE held_ = nullptr;
};

}  // namespace

std::unique_ptr<SingleInstanceMarker> CreateSingleInstanceMarker() {
  return std::make_unique<Win32SingleInstanceMarker>();
}

}  // namespace kessmar::platform
