#include "platform/lazy/LazyLibrary.h"

#include <cstdlib>

namespace kessmar::platform {

LibraryUnavailable::LibraryUnavailable(const std::string& library, const std::string& reason)
    : SharedLibraryError(library + " is unavailable: " + reason), library_(library) {}

LazyLibrary::LazyLibrary(std::string name, std::string overrideVariable)
    : name_(std::move(name)), overrideVariable_(std::move(overrideVariable)) {}

LazyLibrary::~LazyLibrary() = default;

std::string LazyLibrary::FileName() const {
  const char* replacement = std::getenv(overrideVariable_.c_str());
  return replacement != nullptr && *replacement != '\0' ? replacement : name_;
}

SharedLibrary& LazyLibrary::LoadedLibrary() {
  std::lock_guard lock(mutex_);
  if (!library_) {
    const std::string file = FileName();
    try {
      // Kept loaded for the life of the process: the forwarding functions keep its addresses,
      // and statics destroyed after this object may still call into it.
      library_ = std::make_unique<SharedLibrary>(file, true);
    } catch (const SharedLibraryError& e) {
      throw LibraryUnavailable(name_, e.what());
    }
  }
  return *library_;
}

void LazyLibrary::Require() {
  LoadedLibrary();
}

void* LazyLibrary::Function(const char* symbol) {
  SharedLibrary& library = LoadedLibrary();
  try {
    return library.Function(symbol);
  } catch (const SharedLibraryError& e) {
    throw LibraryUnavailable(name_, e.what());
  }
}

bool LazyLibrary::Loaded() {
  std::lock_guard lock(mutex_);
  return library_ != nullptr;
}

}  // namespace kessmar::platform
