// The emulated scanner's side of the protocol: takes the bytes the host sends and produces the
// bytes of the replies, well-formed or deliberately faulty.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "csp2/ScannerProtocol.h"
#include "scanner-emulator/ScanStore.h"

namespace kessmar::emulator {

enum class Misbehaviour {
  kNone,
  kSilent,  // requests are taken but never answered
  kGarble,  // one frame of each reply is corrupted (its checksum no longer matches)
  kCutoff,  // only the first half of each reply's bytes is sent
};

std::optional<Misbehaviour> ParseMisbehaviour(std::string_view text);

// The 8 id bytes written as 16 hexadecimal digits; nullopt for anything else.
std::optional<std::array<uint8_t, 8>> ParseDeviceId(std::string_view hex);

class ScannerResponder {
 public:
  ScannerResponder(ScanStore& store, const std::array<uint8_t, 8>& deviceId)
      : store_(store), deviceId_(deviceId) {}

  void SetMisbehaviour(Misbehaviour misbehaviour) { misbehaviour_ = misbehaviour; }
  Misbehaviour GetMisbehaviour() const { return misbehaviour_; }

  // Takes bytes from the host and appends the replies to every complete request to out.
  // Returns true when at least one request was complete (whatever was answered). Bytes that do
  // not form a valid frame are skipped up to the next start byte.
  bool Receive(const uint8_t* data, size_t size, std::vector<uint8_t>& out);

 private:
  // The well-formed reply to request, with the offsets at which its frames start.
  void Answer(const csp2::Frame& request, std::vector<uint8_t>& bytes,
              std::vector<size_t>& frameStarts);
  // Brings the encoded scan records up to date with the store.
  void RefreshRecords();

  ScanStore& store_;
  // The scan record frames of the stored scans, encoded once per change of the store.
  std::vector<uint8_t> records_;
  std::vector<size_t> recordStarts_;
  uint64_t recordsVersion_ = ~uint64_t{0};
  std::array<uint8_t, 8> deviceId_;
  Misbehaviour misbehaviour_ = Misbehaviour::kNone;
  csp2::FrameDecoder decoder_;
};

}  // namespace kessmar::emulator
