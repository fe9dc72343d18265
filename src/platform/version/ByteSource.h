// Bounds-checked random access to the bytes of a program file, or of an image held in memory,
// for the parsers of executable formats. A read that would pass the end fails instead of
// returning partial data, so a parser never sees bytes that are not there.
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <vector>

namespace kessmar::platform {

class ByteSource {
 public:
  virtual ~ByteSource() = default;

  virtual uint64_t Size() const = 0;

  // Fills `out` with the bytes at `offset`. Returns false, leaving `out` unspecified, when the
  // range passes the end of the source or the underlying read fails.
  virtual bool Read(uint64_t offset, std::span<uint8_t> out) = 0;

  // `size` bytes at `offset`, or nullopt when the range passes the end.
  std::optional<std::vector<uint8_t>> ReadBytes(uint64_t offset, uint64_t size);

  // Integers at `offset` in little-endian (or, where asked, big-endian) byte order; nullopt
  // when they pass the end.
  std::optional<uint16_t> ReadU16(uint64_t offset, bool bigEndian = false);
  std::optional<uint32_t> ReadU32(uint64_t offset, bool bigEndian = false);
  std::optional<uint64_t> ReadU64(uint64_t offset, bool bigEndian = false);
};

// A view of bytes owned by the caller, who keeps them alive while the source is in use.
class MemoryByteSource final : public ByteSource {
 public:
  explicit MemoryByteSource(std::span<const uint8_t> data) : data_(data) {}

  uint64_t Size() const override { return data_.size(); }
  bool Read(uint64_t offset, std::span<uint8_t> out) override;

 private:
  std::span<const uint8_t> data_;
};

// A file opened for reading; only the ranges asked for are read, so a large executable costs
// no more than its headers.
class FileByteSource final : public ByteSource {
 public:
  // The opened file, or nullopt when it cannot be opened or is not a regular file.
  static std::optional<FileByteSource> Open(const std::filesystem::path& file);

  uint64_t Size() const override { return size_; }
  bool Read(uint64_t offset, std::span<uint8_t> out) override;

 private:
  FileByteSource(std::ifstream stream, uint64_t size) : stream_(std::move(stream)), size_(size) {}

  std::ifstream stream_;
  uint64_t size_;
};

}  // namespace kessmar::platform
