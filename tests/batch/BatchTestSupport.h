// Helpers for the batch tests: a temporary folder, whole-file reads and writes, scan batches.
#pragma once

#include "support/ScanBatch.h"
#include "support/TempDir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

#include "batch/MemTable.h"

namespace kessmar::test {

using TempDir = ::kessmar::testing::TempDir;

inline std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Bytes given as numbers; join with ASCII words by +, as the format documentation writes them.
inline std::string B(std::initializer_list<int> bytes) {
  std::string out;
  for (int b : bytes) out += static_cast<char>(b);
  return out;
}

// Encoded values, for hand-built files: a short text, an integer (shortest tag), a field
// definition of a given file version.
inline std::string T(std::string_view text) {
  return B({0x06, static_cast<int>(text.size())}) + std::string(text);
}
inline std::string I(int32_t v) {
  if (v >= -128 && v <= 127) return B({0x02, v & 0xFF});
  if (v >= -32768 && v <= 32767) return B({0x03, v & 0xFF, (v >> 8) & 0xFF});
  return B({0x04, v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF, (v >> 24) & 0xFF});
}
inline std::string Def(std::string_view name, std::string_view type, int32_t size, int32_t width,
                       int32_t version = 251) {
  std::string out = T(name) + T(type) + I(size) + T(name) + T("") + I(width) + B({0x08, 0x08});
  if (version >= 250) out += T("Data");
  if (version >= 251) out += T("");
  return out;
}

using ::kessmar::testing::ScanBatch;

}  // namespace kessmar::test
