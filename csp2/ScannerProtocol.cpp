#include "csp2/ScannerProtocol.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "common/LittleEndian.h"
#include "csp2/Crc16.h"

namespace kessmar::csp2 {

void AppendFrame(std::vector<uint8_t>& out, uint8_t command, uint8_t tag, const uint8_t* payload,
                 size_t size) {
  if (size > kMaxPayload) {
    throw std::length_error("Frame payload of " + std::to_string(size) + " bytes exceeds " +
                            std::to_string(kMaxPayload));
  }
  size_t first = out.size();
  out.resize(first + kHeaderSize + size + kChecksumSize);
  uint8_t* frame = out.data() + first;
  frame[0] = kStartByte;
  frame[1] = command;
  frame[2] = tag;
  le::Store16(frame + 3, static_cast<uint16_t>(size));
  if (size > 0) std::memcpy(frame + kHeaderSize, payload, size);
  uint16_t crc = Crc16(frame + 1, kHeaderSize - 1 + size);
  le::Store16(frame + kHeaderSize + size, crc);
}

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  le::Append16(out, value);
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  le::Append32(out, value);
}

uint16_t GetU16(const uint8_t* data) {
  return le::Load16(data);
}

uint32_t GetU32(const uint8_t* data) {
  return le::Load32(data);
}

void FrameDecoder::Append(const uint8_t* data, size_t size) {
  if (start_ == buffer_.size()) {
    Clear();
  } else if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameDecoder::Result FrameDecoder::Next(FrameView& frame) {
  size_t available = buffer_.size() - start_;
  if (available == 0) return Result::kNeedMore;
  const uint8_t* head = buffer_.data() + start_;
  if (head[0] != kStartByte) return Result::kBad;
  if (available < kHeaderSize) return Result::kNeedMore;
  size_t length = le::Load16(head + 3);
  if (length > kMaxPayload) return Result::kBad;
  size_t total = kHeaderSize + length + kChecksumSize;
  if (available < total) return Result::kNeedMore;
  uint16_t expected = le::Load16(head + total - 2);
  if (Crc16(head + 1, kHeaderSize - 1 + length) != expected) return Result::kBad;
  frame.command = head[1];
  frame.tag = head[2];
  frame.payload = head + kHeaderSize;
  frame.size = length;
  // The bytes stay where they are until the next Append, so the view remains valid.
  start_ += total;
  return Result::kFrame;
}

FrameDecoder::Result FrameDecoder::Next(Frame& frame) {
  FrameView view;
  Result result = Next(view);
  if (result == Result::kFrame) {
    frame.command = view.command;
    frame.tag = view.tag;
    frame.payload.assign(view.payload, view.payload + view.size);
  }
  return result;
}

void FrameDecoder::DropToNextStart() {
  if (Empty()) return;
  auto next = std::find(buffer_.begin() + static_cast<std::ptrdiff_t>(start_) + 1, buffer_.end(),
                        kStartByte);
  start_ = static_cast<size_t>(next - buffer_.begin());
  if (start_ == buffer_.size()) Clear();
}

void FrameDecoder::Clear() {
  buffer_.clear();
  start_ = 0;
}

}  // namespace kessmar::csp2
