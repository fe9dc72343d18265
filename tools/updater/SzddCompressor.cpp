#include "updater/SzddCompressor.h"

#include <stdexcept>

namespace kessmar {
namespace {

constexpr size_t kWindow = 4096;
constexpr size_t kMinMatch = 3;
constexpr size_t kMaxMatch = 18;
constexpr size_t kStartOffset = 16;  // the decoder writes its first byte at kWindow - 16
constexpr size_t kMaxChain = 256;
constexpr size_t kHashBits = 15;
constexpr int64_t kNone = -1;

// The input as the decoder sees it: kWindow blanks (its initial window) followed by the data.
class VirtualStream {
 public:
  explicit VirtualStream(std::span<const uint8_t> data) : data_(data) {}
  size_t End() const { return kWindow + data_.size(); }
  uint8_t At(size_t a) const { return a < kWindow ? uint8_t{' '} : data_[a - kWindow]; }

 private:
  std::span<const uint8_t> data_;
};

}  // namespace

std::vector<uint8_t> CompressSzdd(std::span<const uint8_t> data, char missingChar) {
  if (data.size() > 0xFFFFFFFFull) throw std::length_error("SZDD input larger than 4 GiB");
  std::vector<uint8_t> out = {'S',  'Z',  'D',  'D', 0x88,
                              0xF0, 0x27, 0x33, 'A', static_cast<uint8_t>(missingChar)};
  const auto size = static_cast<uint32_t>(data.size());
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(size >> shift));

  const VirtualStream v(data);
  const size_t end = v.End();
  std::vector<int64_t> head(size_t{1} << kHashBits, kNone);
  std::vector<int64_t> previous(kWindow, kNone);
  auto hash = [&](size_t a) {
    const uint32_t x = (uint32_t{v.At(a)} << 16) | (uint32_t{v.At(a + 1)} << 8) | v.At(a + 2);
    return (x * 2654435761u) >> (32 - kHashBits);
  };
  auto insert = [&](size_t a) {
    if (a + kMinMatch > end) return;
    const auto h = hash(a);
    previous[a % kWindow] = head[h];
    head[h] = static_cast<int64_t>(a);
  };
  // Only the newest blanks of the initial window are worth matching against.
  for (size_t a = kWindow - 2 * kMaxMatch; a < kWindow; ++a) insert(a);

  size_t flagAt = 0;
  int items = 8;
  auto item = [&](bool literal) {
    if (items == 8) {
      flagAt = out.size();
      out.push_back(0);
      items = 0;
    }
    if (literal) out[flagAt] |= static_cast<uint8_t>(1u << items);
    ++items;
  };

  size_t a = kWindow;
  while (a < end) {
    size_t bestLength = 0;
    size_t bestSource = 0;
    const size_t limit = std::min(kMaxMatch, end - a);
    if (limit >= kMinMatch) {
      int64_t candidate = head[hash(a)];
      for (size_t chain = 0; candidate != kNone && chain < kMaxChain; ++chain) {
        const auto c = static_cast<size_t>(candidate);
        // Distances of 1 to 4095: the source never is the position being written.
        if (a - c >= kWindow) break;
        size_t length = 0;
        while (length < limit && v.At(c + length) == v.At(a + length)) ++length;
        if (length > bestLength) {
          bestLength = length;
          bestSource = c;
          if (length == limit) break;
        }
        const int64_t next = previous[c % kWindow];
        if (next >= candidate) break;  // the slot was reused by a newer position
        candidate = next;
      }
    }
    if (bestLength >= kMinMatch) {
      item(false);
      const size_t position = (bestSource - kStartOffset) % kWindow;
      out.push_back(static_cast<uint8_t>(position & 0xFF));
      out.push_back(static_cast<uint8_t>(((position >> 4) & 0xF0) | (bestLength - kMinMatch)));
      for (size_t k = 0; k < bestLength; ++k) insert(a + k);
      a += bestLength;
    } else {
      item(true);
      out.push_back(v.At(a));
      insert(a);
      ++a;
    }
  }
  return out;
}

}  // namespace kessmar
