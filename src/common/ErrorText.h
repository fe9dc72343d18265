// The reason of the exception being handled, for a log line in a catch (...) block.
#pragma once

#include <exception>
#include <string>

namespace kessmar {

// what() of the exception being handled, or "an unknown error" for one that is no
// std::exception. Call only inside a catch block.
inline std::string CurrentExceptionText() {
  try {
    throw;
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "an unknown error";
  }
}

}  // namespace kessmar
