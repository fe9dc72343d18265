#include "ScannerProtocol.h"

#include <algorithm>
#include <stdexcept>

#include "Crc16.h"

namespace kessmar::csp2 {

void AppendFrame(std::vector<uint8_t>& out, uint8_t command, uint8_t tag, const uint8_t* payload,
                 size_t size) {
  if (size > kMaxPayload) {
    throw std::length_error("Frame payload of " + std::to_string(size) + " bytes exceeds " +
                            std::to_string(kMaxPayload));
  }
  size_t first = out.size();
  out.push_back(kStartByte);
  out.push_back(command);
  out.push_back(tag);
  PutU16(out, static_cast<uint16_t>(size));
  out.insert(out.end(), payload, payload + size);
  PutU16(out, Crc16(out.data() + first + 1, out.size() - first - 1));
}

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

uint16_t GetU16(const std::vector<uint8_t>& data, size_t offset) {
  return static_cast<uint16_t>(data[offset] | (data[offset + 1] << 8));
}

uint32_t GetU32(const std::vector<uint8_t>& data, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | data[offset + static_cast<size_t>(i)];
  return value;
}

void FrameDecoder::Append(const uint8_t* data, size_t size) {
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

FrameDecoder::Result FrameDecoder::Next(Frame& frame) {
  size_t available = buffer_.size() - start_;
  if (available == 0) return Result::kNeedMore;
  const uint8_t* head = buffer_.data() + start_;
  if (head[0] != kStartByte) return Result::kBad;
  if (available < kHeaderSize) return Result::kNeedMore;
  size_t length = static_cast<size_t>(head[3] | (head[4] << 8));
  if (length > kMaxPayload) return Result::kBad;
  size_t total = kHeaderSize + length + kChecksumSize;
  if (available < total) return Result::kNeedMore;
  uint16_t expected = static_cast<uint16_t>(head[total - 2] | (head[total - 1] << 8));
  if (Crc16(head + 1, kHeaderSize - 1 + length) != expected) return Result::kBad;
  frame.command = head[1];
  frame.tag = head[2];
  frame.payload.assign(head + kHeaderSize, head + kHeaderSize + length);
  start_ += total;
  if (start_ == buffer_.size()) Clear();
  return Result::kFrame;
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
