// The scans stored in the emulated scanner, oldest first. Each scan has a sequence number that
// grows with every scan added, so that a clear can name exactly the scans a host has read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar::emulator {

struct StoredScan {
  uint32_t sequence = 0;
  std::string barcode;
  std::array<uint8_t, 4> stamp{};
};

// Why barcode cannot be stored (empty, longer than 250 characters, or holding a byte outside
// printable ASCII); empty when it can.
std::string BarcodeProblem(std::string_view barcode);

class ScanStore {
 public:
  static constexpr size_t kCapacity = 10000;

  // Stores a scan taken at the time given by stamp. Throws std::invalid_argument with the reason
  // for a barcode that cannot be stored, std::length_error when the store is full.
  void Add(std::string_view barcode, const std::array<uint8_t, 4>& stamp);
  // Stores a scan taken now.
  void AddNow(std::string_view barcode);

  size_t Count() const { return scans_.size(); }
  const std::vector<StoredScan>& Scans() const { return scans_; }
  // Sequence number of the newest scan ever added (0 before the first).
  uint32_t LastSequence() const { return nextSequence_ - 1; }

  void Clear();
  // Erases the scans whose sequence number is at most sequence.
  void ClearUpTo(uint32_t sequence);

  // Changes whenever the stored scans change.
  uint64_t Version() const { return version_; }

 private:
  std::vector<StoredScan> scans_;
  uint64_t version_ = 0;
  uint32_t nextSequence_ = 1;
};

}  // namespace kessmar::emulator
