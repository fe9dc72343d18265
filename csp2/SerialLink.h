// One open serial device in raw 8N1 mode, carrying frames of the scanner protocol with time-outs.
// The frame handling is portable (SerialLink.cpp); the device calls are per OS
// (SerialLinkPosix.cpp, SerialLinkWin32.cpp).
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "csp2/ScannerProtocol.h"
#ifndef _WIN32
#include "platform/FileDescriptor.h"
#endif

namespace kessmar::csp2 {

using Clock = std::chrono::steady_clock;

class SerialLink {
 public:
  enum class Received { kFrame, kTimeout, kGone, kGarbled };

  // Opens devicePath (non-blocking, no controlling terminal, exclusive) and sets raw 8N1 at
  // 115200 baud. Throws std::runtime_error naming the path when it cannot be opened or set.
  explicit SerialLink(const std::string& devicePath);

  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  // Throws away whatever has arrived and not been taken, without waiting.
  void DiscardInput();
  // Throws away input until none arrives for a short quiet time, or until deadline.
  void DrainUntilQuiet(Clock::time_point deadline);
  // Writes all bytes before deadline; false when the device is gone or the time ran out.
  bool Send(const std::vector<uint8_t>& bytes, Clock::time_point deadline);
  // Waits for the next complete frame. Gives up (kTimeout) when no byte arrives for idle: every
  // byte that arrives starts the idle time again, so a long frame on a slow line is not cut off.
  // A frame already received is taken without looking at the clock; never waits past deadline.
  // The view stays valid until the next call on this link.
  Received Receive(FrameView& frame, Clock::duration idle,
                   Clock::time_point deadline = Clock::time_point::max());
  // True once the device has hung up or failed; it does not come back.
  bool Gone() const { return gone_; }

 private:
  // Waits for events on the device; false on time-out or when the device is gone.
  bool WaitFor(short events, Clock::time_point deadline);
  // Waits until input has arrived; false on time-out or when the device is gone.
  bool WaitForInput(Clock::time_point deadline);
  enum class ReadResult { kData, kNothing, kGone };
  // Reads what is available into the decoder without waiting.
  ReadResult ReadAvailable();

#ifdef _WIN32
  void* handle_ = nullptr;  // the COM port's HANDLE
  uint32_t timeoutsSet_ = 0;
  uint32_t writeTimeout_ = 5000;
  bool timeoutsKnown_ = false;
  // Sets the port's timeouts: reads return at once with what has arrived (0) or wait up to ms
  // for the first byte; writes end after writeTimeout_.
  bool SetReadWait(uint32_t ms);

 public:
  ~SerialLink();

 private:
#else
  platform::FileDescriptor fd_;
#endif
  FrameDecoder decoder_;
  std::vector<uint8_t> chunk_;
  bool gone_ = false;
};

}  // namespace kessmar::csp2
