#include "scanner-emulator/LineBuffer.h"

namespace kessmar::emulator {

std::optional<std::string> LineBuffer::Next() {
  size_t end = pending_.find('\n');
  if (end == std::string::npos) return std::nullopt;
  std::string line = pending_.substr(0, end);
  pending_.erase(0, end + 1);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

std::optional<std::string> LineBuffer::Rest() {
  if (pending_.empty()) return std::nullopt;
  std::string line;
  line.swap(pending_);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace kessmar::emulator
