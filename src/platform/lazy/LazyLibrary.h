// A shared library the program needs only on some roads, loaded on the first call into it.
//
// The bindings in this folder define the library's C functions themselves and forward every
// call to the library, loaded through SharedLibrary when it is first needed. The program then
// starts without the library and runs on when it is missing; only the road that needs it fails.
#pragma once

#include <atomic>
#include <cstdint>
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
  // An unloadable library may be unloaded while the program runs (Unload); any other stays
  // loaded for the life of the process once loaded.
  LazyLibrary(std::string name, std::string overrideVariable, bool unloadable = false);
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

  // Unloads an unloadable library, giving its memory back; the next call loads it again. Only
  // when nothing of it is in use: no call running, no handle or pointer it gave out kept.
  void Unload();
  // Counts the unloads; addresses looked up before the last unload are no longer valid.
  uint64_t Epoch() const { return epoch_.load(std::memory_order_acquire); }

 private:
  SharedLibrary& LoadedLibrary();

  const std::string name_;
  const std::string overrideVariable_;
  const bool unloadable_;
  std::atomic<uint64_t> epoch_{0};
  std::mutex mutex_;
  std::unique_ptr<SharedLibrary> library_;
};

// The address of one function of a LazyLibrary, looked up at the first call and again after
// the library was unloaded. Throws LibraryUnavailable.
template <typename Function>
class LazyFunction {
 public:
  LazyFunction(LazyLibrary& library, const char* name) : library_(library), name_(name) {}

  Function Get() {
    const uint64_t current = library_.Epoch() + 1;  // 0: never looked up
    if (seen_.load(std::memory_order_acquire) == current) {
      return address_.load(std::memory_order_relaxed);
    }
    const auto address = reinterpret_cast<Function>(library_.Function(name_));
    address_.store(address, std::memory_order_relaxed);
    seen_.store(current, std::memory_order_release);
    return address;
  }

 private:
  LazyLibrary& library_;
  const char* const name_;
  std::atomic<Function> address_{nullptr};
  std::atomic<uint64_t> seen_{0};
};

}  // namespace kessmar::platform
