
#include <windows.h>

#include "platform/SharedLibrary.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {

SharedLibrary::SharedLibrary(const std::string& name, bool keepLoaded) : name_(name) {
  // The program's own folder first, as for any DLL the program names.
  const std::wstring wide = win32::Widen(name);
  HMODULE module = ::LoadLibraryW(wide.c_str());
  if (module == nullptr) {
    throw SharedLibraryError("cannot load " + name + ": " + win32::ErrorText(::GetLastError()));
  }
  if (keepLoaded) {
    // Pinned: FreeLibrary in the destructor no longer unloads it.
    HMODULE pinned = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, wide.c_str(), &pinned);
  }
  handle_ = reinterpret_cast<void*>(module);
}

SharedLibrary::~SharedLibrary() {
  ::FreeLibrary(reinterpret_cast<HMODULE>(handle_));
}

void* SharedLibrary::Function(const std::string& symbol) const {
  FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), symbol.c_str());
  if (address == nullptr) throw SharedLibraryError(name_ + " has no function " + symbol);
  return reinterpret_cast<void*>(address);
}

}  // namespace kessmar::platform
