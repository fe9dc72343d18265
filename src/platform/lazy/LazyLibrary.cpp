#include "platform/lazy/LazyLibrary.h"

#include <cstdlib>

#include "platform/EnvironmentOverrides.h"

namespace kessmar::platform {

LibraryUnavailable::LibraryUnavailable(const std::string& library, const std::string& reason)
    : SharedLibraryError(library + " is unavailable: " + reason), library_(library) {}

LazyLibrary::LazyLibrary(std::string name, std::string overrideVariable, bool unloadable)
    : name_(std::move(name)),
      overrideVariable_(std::move(overrideVariable)),
      unloadable_(unloadable) {}

LazyLibrary::~LazyLibrary() = default;

std::string LazyLibrary::FileName() const {
  return EnvironmentOverride(overrideVariable_.c_str()).value_or(name_);
}

SharedLibrary& LazyLibrary::LoadedLibrary() {
  std::lock_guard lock(mutex_);
  if (!library_) {
    const std::string file = FileName();
    try {
      // Unless it is unloadable, kept for the life of the process: statics destroyed after
      // this object may still call into it.
      library_ = std::make_unique<SharedLibrary>(file, !unloadable_);
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

void LazyLibrary::Unload() {
  std::lock_guard lock(mutex_);
  if (!unloadable_ || !library_) return;
  library_.reset();
  epoch_.fetch_add(1, std::memory_order_acq_rel);
}

bool LazyLibrary::Loaded() {
  std::lock_guard lock(mutex_);
  return library_ != nullptr;
}

}  // namespace kessmar::platform
