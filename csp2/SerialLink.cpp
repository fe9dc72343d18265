// The serial link's frame handling, the same on every OS: taking frames from what arrives,
// draining, and the idle time of a receive. The OS's reads and waits are in SerialLinkPosix.cpp
// and SerialLinkWin32.cpp.
#include "csp2/SerialLink.h"

#include <algorithm>

namespace kessmar::csp2 {
namespace {

constexpr auto kQuietTime = std::chrono::milliseconds(20);

}  // namespace

void SerialLink::DiscardInput() {
  decoder_.Clear();
  if (gone_) return;
  ReadAvailable();
  decoder_.Clear();
}

void SerialLink::DrainUntilQuiet(Clock::time_point deadline) {
  DiscardInput();
  while (!gone_) {
    Clock::time_point quietEnd = std::min(deadline, Clock::now() + kQuietTime);
    if (!WaitForInput(quietEnd)) break;
    DiscardInput();
    if (Clock::now() >= deadline) break;
  }
}

SerialLink::Received SerialLink::Receive(FrameView& frame, Clock::duration idle,
                                         Clock::time_point deadline) {
  bool waiting = false;
  Clock::time_point quietUntil{};
  for (;;) {
    switch (decoder_.Next(frame)) {
      case FrameDecoder::Result::kFrame:
        return Received::kFrame;
      case FrameDecoder::Result::kBad:
        decoder_.Clear();
        return Received::kGarbled;
      case FrameDecoder::Result::kNeedMore:
        break;
    }
    if (gone_) return Received::kGone;
    // Bytes that have arrived already are taken without waiting first.
    ReadResult read = ReadAvailable();
    if (read == ReadResult::kData) {
      waiting = false;  // bytes came: the idle time starts again
      continue;
    }
    if (read == ReadResult::kGone) return Received::kGone;
    if (!waiting) {
      waiting = true;
      quietUntil = std::min(deadline, Clock::now() + idle);
    }
    if (!WaitForInput(quietUntil)) return gone_ ? Received::kGone : Received::kTimeout;
  }
}

}  // namespace kessmar::csp2
