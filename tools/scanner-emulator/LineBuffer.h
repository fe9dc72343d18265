// Splits a byte stream into lines ("\n", a "\r" before it is dropped).
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace kessmar::emulator {

class LineBuffer {
 public:
  static constexpr size_t kMaxLine = 4096;

  void Append(const char* data, size_t size) { pending_.append(data, size); }
  // The next complete line, without its line end.
  std::optional<std::string> Next();
  // The unterminated rest, taken at end of input.
  std::optional<std::string> Rest();
  // True when more than kMaxLine bytes wait without a line end.
  bool Overlong() const { return pending_.size() > kMaxLine; }

 private:
  std::string pending_;
};

}  // namespace kessmar::emulator
