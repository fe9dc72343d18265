#include "csp2/Csp2Session.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/serial/SerialPorts.h"

namespace kessmar::csp2 {

Csp2Session& Csp2Session::Instance() {
  static Csp2Session session;
  return session;
}

int32_t Csp2Session::InitEx(int32_t port) {
  std::lock_guard lock(mutex_);
  link_.reset();
  ForgetBatch();
  if (port <= 0) return -1;
  std::optional<std::string> device = platform::ResolveComPort(port);
  if (!device) return -1;
  try {
    link_ = std::make_unique<SerialLink>(*device);
  } catch (const std::exception&) {
    return -1;
  }
  return 0;
}

int32_t Csp2Session::Restore() {
  std::lock_guard lock(mutex_);
  link_.reset();
  ForgetBatch();
  return 0;
}

void Csp2Session::ForgetBatch() {
  packetBytes_.clear();
  packetEnds_.clear();
  readUpTo_.reset();
}

void Csp2Session::Reject() {
  if (link_) link_->DrainUntilQuiet(Clock::now() + kReplyTimeout);
}

std::optional<Frame> Csp2Session::Exchange(uint8_t request, const std::vector<uint8_t>& payload,
                                           size_t minPayload) {
  if (!link_ || link_->Gone()) return std::nullopt;
  uint8_t tag = nextTag_++;
  std::vector<uint8_t> bytes;
  AppendFrame(bytes, request, tag, payload);
  link_->DiscardInput();
  Clock::time_point deadline = Clock::now() + kReplyTimeout;
  if (!link_->Send(bytes, deadline)) return std::nullopt;
  FrameView reply;
  SerialLink::Received received = link_->Receive(reply, kReplyTimeout, deadline);
  if (received == SerialLink::Received::kFrame && reply.command == command::ReplyTo(request) &&
      reply.tag == tag && reply.size >= minPayload) {
    return Frame{reply.command, reply.tag, {reply.payload, reply.payload + reply.size}};
  }
  if (received == SerialLink::Received::kFrame || received == SerialLink::Received::kGarbled) {
    Reject();
  }
  return std::nullopt;
}

std::optional<uint16_t> Csp2Session::StoredScans() {
  std::optional<Frame> reply = Exchange(command::kStatus, {}, 2);
  if (!reply) return std::nullopt;
  return GetU16(reply->payload, 0);
}

int32_t Csp2Session::GetCTS() {
  std::lock_guard lock(mutex_);
  std::optional<uint16_t> stored = StoredScans();
  if (!stored) return 0;
  return *stored > 0 ? 1 : 2;
}

int32_t Csp2Session::GetDSR() {
  std::lock_guard lock(mutex_);
  return StoredScans() ? 1 : 0;
}

int32_t Csp2Session::Interrogate() {
  std::lock_guard lock(mutex_);
  return Exchange(command::kInterrogate, {}, kIdSize) ? 1 : -1;
}

int32_t Csp2Session::GetDeviceId(char* buffer, int32_t size) {
  std::lock_guard lock(mutex_);
  if (buffer == nullptr || size < static_cast<int32_t>(kIdSize)) return -1;
  std::optional<Frame> reply = Exchange(command::kDeviceId, {}, kIdSize);
  if (!reply || reply->payload.size() != kIdSize) return -1;
  std::memcpy(buffer, reply->payload.data(), kIdSize);
  if (size > static_cast<int32_t>(kIdSize)) buffer[kIdSize] = '\0';
  return static_cast<int32_t>(kIdSize);
}

int32_t Csp2Session::ReadData() {
  std::lock_guard lock(mutex_);
  ForgetBatch();
  std::optional<Frame> header = Exchange(command::kRead, {}, 6);
  if (!header) return -1;
  uint16_t count = GetU16(header->payload, 0);
  uint32_t lastSeq = GetU32(header->payload, 2);
  uint8_t tag = header->tag;

  // The whole batch or nothing: a frame that is late, garbled or out of order drops it all.
  std::vector<uint8_t> bytes;
  std::vector<size_t> ends;
  bytes.reserve(static_cast<size_t>(count) * 24);
  ends.reserve(count);
  FrameView frame;
  for (uint32_t index = 0; index <= count; ++index) {
    SerialLink::Received received = link_->Receive(frame, kReplyTimeout);
    bool ok = received == SerialLink::Received::kFrame;
    if (ok && index < count) {
      ok = frame.command == command::kScanRecord && frame.tag == kRecordTag &&
           frame.size >= 2 + kStampSize + 1 && frame.size <= 2 + kStampSize + kMaxBarcodeLength &&
           GetU16(frame.payload) == index;
    } else if (ok) {
      ok = frame.command == command::kReadEnd && frame.tag == tag && frame.size == 2 &&
           GetU16(frame.payload) == count;
    }
    if (!ok) {
      if (received == SerialLink::Received::kFrame || received == SerialLink::Received::kGarbled) {
        Reject();
      }
      return -1;
    }
    if (index == count) break;
    // Packet: 2 unused bytes, the barcode, the 4 time-stamp bytes.
    const uint8_t* stamp = frame.payload + 2;
    const uint8_t* barcode = stamp + kStampSize;
    const uint8_t* end = frame.payload + frame.size;
    bytes.insert(bytes.end(), 2, 0);
    bytes.insert(bytes.end(), barcode, end);
    bytes.insert(bytes.end(), stamp, barcode);
    ends.push_back(bytes.size());
  }
  packetBytes_ = std::move(bytes);
  packetEnds_ = std::move(ends);
  if (count > 0) readUpTo_ = lastSeq;
  return count;
}

int32_t Csp2Session::GetPacket(char* buffer, int32_t index, int32_t size) {
  std::lock_guard lock(mutex_);
  if (buffer == nullptr || index < 0 || static_cast<size_t>(index) >= packetEnds_.size()) {
    return -1;
  }
  size_t i = static_cast<size_t>(index);
  size_t begin = i == 0 ? 0 : packetEnds_[i - 1];
  size_t length = packetEnds_[i] - begin;
  if (size < 0 || length > static_cast<size_t>(size)) return -1;
  std::memcpy(buffer, packetBytes_.data() + begin, length);
  return static_cast<int32_t>(length);
}

int32_t Csp2Session::ClearData() {
  std::lock_guard lock(mutex_);
  if (!link_) return -1;
  if (!readUpTo_) return 0;  // nothing read, nothing to erase
  std::vector<uint8_t> payload;
  PutU32(payload, *readUpTo_);
  if (!Exchange(command::kClear, payload, 2)) return -1;
  readUpTo_.reset();
  return 0;
}

}  // namespace kessmar::csp2
