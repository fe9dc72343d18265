// Frames of the scanner protocol (docs/scanner-protocol.md) and the bytes in them.
//
//   frame = STX command tag length:u16le payload[length] crc:u16le
// The checksum covers command, tag, length and payload. Multi-byte numbers are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kessmar::csp2 {

inline constexpr uint8_t kStartByte = 0x02;
inline constexpr size_t kHeaderSize = 5;  // STX, command, tag, length
inline constexpr size_t kChecksumSize = 2;
inline constexpr size_t kMaxPayload = 512;
inline constexpr size_t kMaxBarcodeLength = 250;  // a packet of 256 bytes at most
inline constexpr size_t kIdSize = 8;
inline constexpr size_t kStampSize = 4;
// Scan records carry this tag rather than the request's: they sit between the header and the
// end frame of a read reply, which both carry the request's tag.
inline constexpr uint8_t kRecordTag = 0;

// Requests of the host and the replies of the scanner. A reply to request r has command r|0x80
// and the request's tag.
namespace command {
inline constexpr uint8_t kStatus = 0x01;       // -> [stored:u16]
inline constexpr uint8_t kInterrogate = 0x02;  // -> [id:8][model text]
inline constexpr uint8_t kDeviceId = 0x03;     // -> [id:8]
inline constexpr uint8_t kRead = 0x04;         // -> [count:u16][lastSeq:u32], scans, end
inline constexpr uint8_t kClear = 0x05;        // [upToSeq:u32] -> [stored:u16]
inline constexpr uint8_t kScanRecord = 0xC4;   // [index:u16][stamp:4][barcode:1..250]
inline constexpr uint8_t kReadEnd = 0xE4;      // [count:u16]
inline constexpr uint8_t kRefused = 0xFF;      // [request command]: unknown or malformed request
constexpr uint8_t ReplyTo(uint8_t request) {
  return static_cast<uint8_t>(request | 0x80);
}
}  // namespace command

struct Frame {
  uint8_t command = 0;
  uint8_t tag = 0;
  std::vector<uint8_t> payload;
};

// A frame inside a decoder's buffer, valid until the decoder is next changed.
struct FrameView {
  uint8_t command = 0;
  uint8_t tag = 0;
  const uint8_t* payload = nullptr;
  size_t size = 0;
};

// Appends one frame to out. Throws std::length_error when size exceeds kMaxPayload.
void AppendFrame(std::vector<uint8_t>& out, uint8_t command, uint8_t tag, const uint8_t* payload,
                 size_t size);
inline void AppendFrame(std::vector<uint8_t>& out, uint8_t command, uint8_t tag,
                        const std::vector<uint8_t>& payload) {
  AppendFrame(out, command, tag, payload.data(), payload.size());
}

void PutU16(std::vector<uint8_t>& out, uint16_t value);
void PutU32(std::vector<uint8_t>& out, uint32_t value);
// Reads from data[offset]; the caller has checked the size.
uint16_t GetU16(const uint8_t* data);
uint32_t GetU32(const uint8_t* data);
inline uint16_t GetU16(const std::vector<uint8_t>& data, size_t offset) {
  return GetU16(data.data() + offset);
}
inline uint32_t GetU32(const std::vector<uint8_t>& data, size_t offset) {
  return GetU32(data.data() + offset);
}

// Cuts a byte stream into frames. Bytes are appended as they arrive; Next takes complete frames.
class FrameDecoder {
 public:
  enum class Result { kNeedMore, kFrame, kBad };

  void Append(const uint8_t* data, size_t size);
  // kFrame: frame holds the first buffered frame, which is consumed. kNeedMore: no complete frame
  // yet. kBad: the buffer does not start with a valid frame (wrong start byte, length above
  // kMaxPayload, checksum mismatch); nothing is consumed, see DropToNextStart and Clear.
  Result Next(FrameView& frame);
  Result Next(Frame& frame);  // the same, with the payload copied
  // After kBad: drops the first byte and everything up to the next start byte.
  void DropToNextStart();
  void Clear();
  bool Empty() const { return start_ == buffer_.size(); }

 private:
  std::vector<uint8_t> buffer_;
  size_t start_ = 0;
};

}  // namespace kessmar::csp2
