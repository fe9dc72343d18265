// The bytes of every text of a table, one after another; cells refer to them by offset and size.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace kessmar {

class TextArena {
 public:
  size_t Size() const { return size_; }
  std::string_view View(size_t offset, size_t size) const { return {data_.get() + offset, size}; }
  char* MutableData() { return data_.get(); }

  void Append(const char* bytes, size_t n) {
    if (n == 0) return;  // also keeps memcpy away from a null buffer
    if (n > capacity_ - size_) Grow(size_ + n);
    std::memcpy(data_.get() + size_, bytes, n);
    size_ += n;
  }
  // Appends the first n (at most kShortCopy) of the kShortCopy readable bytes at bytes with one
  // fixed-size copy, cheaper than a copy of variable length for the short texts of a scan.
  static constexpr size_t kShortCopy = 32;
  void AppendShort(const char* bytes, size_t n) {
    if (capacity_ - size_ < kShortCopy) Grow(size_ + kShortCopy);
    std::memcpy(data_.get() + size_, bytes, kShortCopy);
    size_ += n;
  }
  // Drops the bytes from size on (size <= Size()).
  void Truncate(size_t size) { size_ = size; }
  // Empty; the storage is kept for the next texts.
  void Clear() { size_ = 0; }
  void Reserve(size_t capacity) {
    if (capacity > capacity_) Reallocate(capacity);
  }

 private:
  void Grow(size_t needed) { Reallocate(needed > 2 * capacity_ ? needed : 2 * capacity_); }
  void Reallocate(size_t capacity) {
    auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(bigger.get(), data_.get(), size_);
    data_ = std::move(bigger);
    capacity_ = capacity;
  }

  std::unique_ptr<char[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace kessmar
