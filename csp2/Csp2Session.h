// The state behind the csp2 functions: at most one held port, the last batch read from it, and
// the request/reply exchange with the scanner. Every operation is serialised by one mutex and
// never throws; results follow csp2.h.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "csp2/ScannerProtocol.h"
#include "csp2/SerialLink.h"

namespace kessmar::csp2 {

class Csp2Session {
 public:
  // How long one reply may take, and how long a batch transfer may go without a byte. A batch
  // has no bound of its own: a large one on a slow line takes what it takes.
  static constexpr auto kReplyTimeout = std::chrono::milliseconds(250);

  int32_t InitEx(int32_t port);
  int32_t Restore();
  int32_t GetCTS();
  int32_t GetDSR();
  int32_t Interrogate();
  int32_t GetDeviceId(char* buffer, int32_t size);
  int32_t ReadData();
  int32_t GetPacket(char* buffer, int32_t index, int32_t size);
  int32_t ClearData();

  // The session of this process.
  static Csp2Session& Instance();

 private:
  // Sends one request and returns the reply frame when it arrives in time with the right
  // command, tag and at least minPayload bytes. Anything else is drained and gives nullopt.
  std::optional<Frame> Exchange(uint8_t request, const std::vector<uint8_t>& payload,
                                size_t minPayload);
  std::optional<uint16_t> StoredScans();
  void ForgetBatch();
  void Reject();

  std::mutex mutex_;
  std::unique_ptr<SerialLink> link_;
  uint8_t nextTag_ = 1;
  // The packets of the last complete read, back to back; packetEnds_[i] is where packet i ends.
  std::vector<uint8_t> packetBytes_;
  std::vector<size_t> packetEnds_;
  // Sequence number of the newest scan delivered by the last complete read; clearing erases
  // only scans up to it, so scans added after that read are never lost.
  std::optional<uint32_t> readUpTo_;
};

}  // namespace kessmar::csp2
