#include "platform/version/ByteSource.h"

#include <algorithm>
#include <array>
#include <system_error>

namespace kessmar::platform {
namespace {

bool InRange(uint64_t offset, uint64_t size, uint64_t total) {
  return offset <= total && size <= total - offset;
}

template <size_t N>
std::optional<uint64_t> ReadUnsigned(ByteSource& source, uint64_t offset, bool bigEndian) {
  std::array<uint8_t, N> bytes{};
  if (!source.Read(offset, bytes)) return std::nullopt;
  if (!bigEndian) std::reverse(bytes.begin(), bytes.end());
  uint64_t value = 0;
  for (uint8_t b : bytes) value = (value << 8) | b;
  return value;
}

}  // namespace

std::optional<std::vector<uint8_t>> ByteSource::ReadBytes(uint64_t offset, uint64_t size) {
  if (!InRange(offset, size, Size())) return std::nullopt;
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!Read(offset, bytes)) return std::nullopt;
  return bytes;
}

std::optional<uint16_t> ByteSource::ReadU16(uint64_t offset, bool bigEndian) {
  auto value = ReadUnsigned<2>(*this, offset, bigEndian);
  if (!value) return std::nullopt;
  return static_cast<uint16_t>(*value);
}

std::optional<uint32_t> ByteSource::ReadU32(uint64_t offset, bool bigEndian) {
  auto value = ReadUnsigned<4>(*this, offset, bigEndian);
  if (!value) return std::nullopt;
  return static_cast<uint32_t>(*value);
}

std::optional<uint64_t> ByteSource::ReadU64(uint64_t offset, bool bigEndian) {
  return ReadUnsigned<8>(*this, offset, bigEndian);
}

bool MemoryByteSource::Read(uint64_t offset, std::span<uint8_t> out) {
  if (!InRange(offset, out.size(), data_.size())) return false;
  std::copy_n(data_.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
  return true;
}

std::optional<FileByteSource> FileByteSource::Open(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return std::nullopt;
  const uint64_t size = std::filesystem::file_size(file, ec);
  if (ec) return std::nullopt;
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return std::nullopt;
  return FileByteSource(std::move(stream), size);
}

bool FileByteSource::Read(uint64_t offset, std::span<uint8_t> out) {
  if (!InRange(offset, out.size(), size_)) return false;
  if (out.empty()) return true;
  stream_.clear();
  stream_.seekg(static_cast<std::streamoff>(offset));
  stream_.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
  return stream_.gcount() == static_cast<std::streamsize>(out.size());
}

}  // namespace kessmar::platform
