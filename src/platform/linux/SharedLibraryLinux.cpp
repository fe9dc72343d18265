#include <dlfcn.h>

#include "platform/SharedLibrary.h"

namespace kessmar::platform {

SharedLibrary::SharedLibrary(const std::string& name, bool keepLoaded) : name_(name) {
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL | (keepLoaded ? RTLD_NODELETE : 0));
  if (handle_ == nullptr) {
    const char* reason = ::dlerror();
    throw SharedLibraryError(reason != nullptr ? reason : "cannot load " + name);
  }
}

SharedLibrary::~SharedLibrary() {
  ::dlclose(handle_);
}

void* SharedLibrary::Function(const std::string& symbol) const {
  ::dlerror();
  void* address = ::dlsym(handle_, symbol.c_str());
  if (address == nullptr) {
    throw SharedLibraryError(name_ + " has no function " + symbol);
  }
  return address;
}

}  // namespace kessmar::platform
