// A shared library loaded by name while the program runs.
#pragma once

#include <stdexcept>
#include <string>

namespace kessmar::platform {

// Raised when a library or one of its functions cannot be found; what() gives the system's
// reason, naming the library or function.
class SharedLibraryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Loads the library `name` through the system's search (the program's own library path first)
// and keeps it loaded for the life of the object, or of the process when `keepLoaded` is true
// (for libraries whose functions may still be called while the program's statics are
// destroyed). Throws SharedLibraryError.
class SharedLibrary {
 public:
  explicit SharedLibrary(const std::string& name, bool keepLoaded = false);
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;
  ~SharedLibrary();

  // The address of the function `symbol`. Throws SharedLibraryError when the library has none.
  void* Function(const std::string& symbol) const;

  const std::string& Name() const { return name_; }

 private:
  std::string name_;
  void* handle_ = nullptr;
};

}  // namespace kessmar::platform
