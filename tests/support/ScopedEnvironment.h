// Environment variables set for one test: the object puts back what was there before (the old
// value, or no variable) when it goes, so no test leaks its settings into the next.
#pragma once

#include <stdlib.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace kessmar::testing {

class ScopedEnvironment {
 public:
  ScopedEnvironment() = default;
  // Sets every name to its value (nullopt: removes it).
  ScopedEnvironment(
      std::initializer_list<std::pair<std::string, std::optional<std::string>>> values) {
    for (const auto& [name, value] : values) Set(name, value);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;
  ~ScopedEnvironment() { Restore(); }

  // Sets name to value, or removes it for nullopt; the first change of a name remembers what
  // to put back.
  void Set(const std::string& name, const std::optional<std::string>& value) {
    bool known = false;
    for (const auto& entry : saved_) known = known || entry.first == name;
    if (!known) {
      const char* old = getenv(name.c_str());
      saved_.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
    }
    Apply(name, value);
  }
  void Unset(const std::string& name) { Set(name, std::nullopt); }

  // Puts back now what was there before the first change of each name.
  void Restore() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Apply(it->first, it->second);
    saved_.clear();
  }

 private:
  static void Apply(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    // An empty value removes the variable on Windows.
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    if (value) {
      setenv(name.c_str(), value->c_str(), 1);
    } else {
      unsetenv(name.c_str());
    }
#endif
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace kessmar::testing
