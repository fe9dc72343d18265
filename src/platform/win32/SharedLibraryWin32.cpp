
#include <windows.h>

#include "platform/SharedLibrary.h"
#include "platform/win32/WindowsText.h"

namespace kessmar::platform {

SharedLibrary::SharedLibrary(const std::string& name) : name_(name) {
  // The program's own folder first, as for any DLL the program names.
  HMODULE module = ::LoadLibraryW(win32::Widen(name).c_str());
  if (module == nullptr) {
    throw SharedLibraryError("cannot load " + name + ": " + win32::ErrorText(::GetLastError()));
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
