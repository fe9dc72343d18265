#include "scanner-emulator/ScanStore.h"

#include <algorithm>
#include <ctime>
#include <stdexcept>

#include "csp2/ScanTimeStamp.h"
#include "csp2/ScannerProtocol.h"

namespace kessmar::emulator {

std::string BarcodeProblem(std::string_view barcode) {
  if (barcode.empty()) return "empty barcode";
  if (barcode.size() > csp2::kMaxBarcodeLength) {
    return "barcode longer than " + std::to_string(csp2::kMaxBarcodeLength) + " characters";
  }
  for (unsigned char c : barcode) {
    if (c < 0x20 || c > 0x7E) return "barcode holds a character outside printable ASCII";
  }
  return {};
}

void ScanStore::Add(std::string_view barcode, const std::array<uint8_t, 4>& stamp) {
  if (std::string problem = BarcodeProblem(barcode); !problem.empty()) {
    throw std::invalid_argument(problem);
  }
  if (scans_.size() >= kCapacity) {
    throw std::length_error("scanner memory full (" + std::to_string(kCapacity) + " scans)");
  }
  scans_.push_back({nextSequence_++, std::string(barcode), stamp});
  ++version_;
}

void ScanStore::Clear() {
  scans_.clear();
  ++version_;
}

void ScanStore::AddNow(std::string_view barcode) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  Add(barcode, csp2::EncodeScanTime(local));
}

void ScanStore::ClearUpTo(uint32_t sequence) {
  if (std::erase_if(scans_, [sequence](const StoredScan& s) { return s.sequence <= sequence; })) {
    ++version_;
  }
}

}  // namespace kessmar::emulator
