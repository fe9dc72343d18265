// A shared library the program needs only on some roads, loaded on the first call into it.
//
// The bindings in this folder define the library's C functions themselves and forward every
// call to the library, loaded through SharedLibrary when it is first needed. The program then
// starts without the library and runs on when it is missing; only the road that needs it fails.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "platform/SharedLibrary.h"

namespace kessmar::platform {

// A library that could not be loaded when a road needed it. what() names the library and gives
// the system's reason; Library() is the library's file name.
class LibraryUnavailable : public SharedLibraryError {
 public:
  LibraryUnavailable(const std::string& library, const std::string& reason);
  const std::string& Library() const { return library_; }

 private:
  std::string library_;
};

// One late-loaded library. The environment variable overrideVariable, when set, names the file
// to load instead of `name` (tests use it to make a library unfindable). A failed load is not
// remembered: a library installed meanwhile is found by the next call. Thread-safe.
class LazyLibrary {
 public:
  LazyLibrary(std::string name, std::string overrideVariable);
  LazyLibrary(const LazyLibrary&) = delete;
  LazyLibrary& operator=(const LazyLibrary&) = delete;
  ~LazyLibrary();

  // Loads the library unless it is loaded. Throws LibraryUnavailable.
  void Require();
  // Loads the library and returns the address of `symbol`. Throws LibraryUnavailable when the
  // library cannot be loaded or lacks the function.
  void* Function(const char* symbol);
  // Whether the library is loaded now.
  bool Loaded();
  // The file name loaded: the override when set, else the library's own name.
  std::string FileName() const;

 private:
  SharedLibrary& LoadedLibrary();

  const std::string name_;
  const std::string overrideVariable_;
  std::mutex mutex_;
  std::unique_ptr<SharedLibrary> library_;
};

}  // namespace kessmar::platform
