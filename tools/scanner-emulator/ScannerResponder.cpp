#include "scanner-emulator/ScannerResponder.h"
#include "common/LittleEndian.h"

namespace kessmar::emulator {
namespace {

namespace command = csp2::command;

constexpr const char* kModel = "OPN-2001 emulator";

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::optional<Misbehaviour> ParseMisbehaviour(std::string_view text) {
  if (text == "none") return Misbehaviour::kNone;
  if (text == "silent") return Misbehaviour::kSilent;
  if (text == "garble") return Misbehaviour::kGarble;
  if (text == "cutoff") return Misbehaviour::kCutoff;
  return std::nullopt;
}

std::optional<std::array<uint8_t, 8>> ParseDeviceId(std::string_view hex) {
  if (hex.size() != 16) return std::nullopt;
  std::array<uint8_t, 8> id{};
  for (size_t i = 0; i < id.size(); ++i) {
    int high = HexDigit(hex[2 * i]);
    int low = HexDigit(hex[2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    id[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return id;
}

bool ScannerResponder::Receive(const uint8_t* data, size_t size, std::vector<uint8_t>& out) {
  decoder_.Append(data, size);
  bool answered = false;
  csp2::Frame request;
  for (;;) {
    csp2::FrameDecoder::Result result = decoder_.Next(request);
    if (result == csp2::FrameDecoder::Result::kNeedMore) break;
    if (result == csp2::FrameDecoder::Result::kBad) {
      decoder_.DropToNextStart();
      continue;
    }
    answered = true;
    // A silent scanner acts on nothing, not only answers nothing.
    if (misbehaviour_ == Misbehaviour::kSilent) continue;
    std::vector<uint8_t> bytes;
    std::vector<size_t> frameStarts;
    Answer(request, bytes, frameStarts);
    switch (misbehaviour_) {
      case Misbehaviour::kNone:
      case Misbehaviour::kSilent:
        break;
      case Misbehaviour::kGarble: {
        // The middle frame: for a batch that is a scan, so a host without checks would take a
        // wrong barcode. A payload byte is flipped, or the checksum when there is no payload.
        size_t start = frameStarts[frameStarts.size() / 2];
        size_t length = le::Load16(bytes.data() + start + 3);
        size_t victim =
            length > 0 ? start + csp2::kHeaderSize + length - 1 : start + csp2::kHeaderSize;
        bytes[victim] ^= 0x01;
        break;
      }
      case Misbehaviour::kCutoff:
        bytes.resize(bytes.size() / 2);
        break;
    }
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return answered;
}

void ScannerResponder::RefreshRecords() {
  if (recordsVersion_ == store_.Version()) return;
  records_.clear();
  recordStarts_.clear();
  std::vector<uint8_t> payload;
  const auto& scans = store_.Scans();
  for (size_t i = 0; i < scans.size(); ++i) {
    payload.clear();
    csp2::PutU16(payload, static_cast<uint16_t>(i));
    payload.insert(payload.end(), scans[i].stamp.begin(), scans[i].stamp.end());
    payload.insert(payload.end(), scans[i].barcode.begin(), scans[i].barcode.end());
    recordStarts_.push_back(records_.size());
    csp2::AppendFrame(records_, command::kScanRecord, csp2::kRecordTag, payload);
  }
  recordsVersion_ = store_.Version();
}

void ScannerResponder::Answer(const csp2::Frame& request, std::vector<uint8_t>& bytes,
                              std::vector<size_t>& frameStarts) {
  auto frame = [&](uint8_t cmd, const std::vector<uint8_t>& payload) {
    frameStarts.push_back(bytes.size());
    csp2::AppendFrame(bytes, cmd, request.tag, payload);
  };
  std::vector<uint8_t> payload;
  const uint8_t reply = command::ReplyTo(request.command);
  switch (request.command) {
    case command::kStatus:
      if (!request.payload.empty()) break;
      csp2::PutU16(payload, static_cast<uint16_t>(store_.Count()));
      frame(reply, payload);
      return;
    case command::kInterrogate:
      if (!request.payload.empty()) break;
      payload.assign(deviceId_.begin(), deviceId_.end());
      payload.insert(payload.end(), kModel, kModel + std::char_traits<char>::length(kModel));
      frame(reply, payload);
      return;
    case command::kDeviceId:
      if (!request.payload.empty()) break;
      frame(reply, std::vector<uint8_t>(deviceId_.begin(), deviceId_.end()));
      return;
    case command::kRead: {
      if (!request.payload.empty()) break;
      const auto& scans = store_.Scans();
      uint32_t lastSequence = scans.empty() ? store_.LastSequence() : scans.back().sequence;
      csp2::PutU16(payload, static_cast<uint16_t>(scans.size()));
      csp2::PutU32(payload, lastSequence);
      frame(reply, payload);
      RefreshRecords();
      for (size_t start : recordStarts_) frameStarts.push_back(bytes.size() + start);
      bytes.insert(bytes.end(), records_.begin(), records_.end());
      payload.clear();
      csp2::PutU16(payload, static_cast<uint16_t>(scans.size()));
      frame(command::kReadEnd, payload);
      return;
    }
    case command::kClear:
      if (request.payload.size() != 4) break;
      store_.ClearUpTo(csp2::GetU32(request.payload, 0));
      csp2::PutU16(payload, static_cast<uint16_t>(store_.Count()));
      frame(reply, payload);
      return;
    default:
      break;
  }
  frame(command::kRefused, std::vector<uint8_t>{request.command});
}

}  // namespace kessmar::emulator
