// Fuzz target: any bytes as what arrives on the scanner line. The frame decoder must find the
// same frames as a plain reading of the grammar in docs/scanner-protocol.md (its own checksum
// recomputed bit by bit), whether the bytes come at once, in chunks of every size (up to 64,
// then growing), or in chunks of changing size; and every frame it takes must encode back to
// the bytes it came from.
#include <algorithm>
#include <vector>

#include "csp2/Crc16.h"
#include "csp2/ScannerProtocol.h"
#include "fuzz/FuzzTarget.h"

using namespace kessmar::csp2;

namespace {

struct Decoded {
  std::vector<Frame> frames;
  std::vector<size_t> offsets;  // where each frame starts in the input
  bool leftover = false;        // bytes remain that are not yet a whole frame
};

// CRC-16/CCITT-FALSE one bit at a time.
uint16_t ReferenceCrc(const uint8_t* data, size_t size) {
  uint16_t crc = 0xFFFF;
  for (size_t i = 0; i < size; ++i) {
    crc ^= static_cast<uint16_t>(data[i] << 8);
    for (int bit = 0; bit < 8; ++bit) {
      crc = (crc & 0x8000) != 0 ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                : static_cast<uint16_t>(crc << 1);
    }
  }
  return crc;
}

// The grammar read directly: a frame where one starts, else skip to the next start byte.
Decoded ReadByGrammar(const uint8_t* data, size_t size) {
  Decoded out;
  size_t at = 0;
  while (at < size) {
    const uint8_t* head = data + at;
    const size_t available = size - at;
    bool bad = head[0] != kStartByte;
    if (!bad && available < kHeaderSize) break;
    const size_t length = bad ? 0 : static_cast<size_t>(head[3] | (head[4] << 8));
    bad = bad || length > kMaxPayload;
    const size_t total = kHeaderSize + length + kChecksumSize;
    if (!bad && available < total) break;
    bad = bad || ReferenceCrc(head + 1, kHeaderSize - 1 + length) !=
                     static_cast<uint16_t>(head[total - 2] | (head[total - 1] << 8));
    if (bad) {
      const uint8_t* next = std::find(head + 1, data + size, kStartByte);
      at = static_cast<size_t>(next - data);
      continue;
    }
    out.frames.push_back({head[1], head[2], {head + kHeaderSize, head + kHeaderSize + length}});
    out.offsets.push_back(at);
    at += total;
  }
  out.leftover = at < size;
  return out;
}

// Takes every frame the decoder holds, resynchronising after bad bytes.
void Drain(FrameDecoder& decoder, std::vector<Frame>& frames) {
  for (;;) {
    Frame frame;
    switch (decoder.Next(frame)) {
      case FrameDecoder::Result::kFrame:
        frames.push_back(std::move(frame));
        break;
      case FrameDecoder::Result::kBad:
        decoder.DropToNextStart();
        break;
      case FrameDecoder::Result::kNeedMore:
        return;
    }
  }
}

bool Same(const std::vector<Frame>& a, const std::vector<Frame>& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const Frame& x, const Frame& y) {
    return x.command == y.command && x.tag == y.tag && x.payload == y.payload;
  });
}

// Feeds data in chunks whose sizes chunkSize gives, one after another.
template <typename ChunkSize>
void CheckChunked(const uint8_t* data, size_t size, const Decoded& expected, ChunkSize chunkSize) {
  FrameDecoder decoder;
  std::vector<Frame> frames;
  for (size_t at = 0, i = 0; at < size; ++i) {
    const size_t n = std::min(chunkSize(i), size - at);
    decoder.Append(data + at, n);
    at += n;
    Drain(decoder, frames);
  }
  FUZZ_CHECK(Same(frames, expected.frames));
  FUZZ_CHECK(decoder.Empty() == !expected.leftover);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Decoded expected = ReadByGrammar(data, size);

  // All at once, and the frames encoded again give the bytes they came from.
  FrameDecoder decoder;
  std::vector<Frame> frames;
  decoder.Append(data, size);
  Drain(decoder, frames);
  FUZZ_CHECK(Same(frames, expected.frames));
  FUZZ_CHECK(decoder.Empty() == !expected.leftover);
  for (size_t i = 0; i < frames.size(); ++i) {
    std::vector<uint8_t> encoded;
    AppendFrame(encoded, frames[i].command, frames[i].tag, frames[i].payload);
    FUZZ_CHECK(std::equal(encoded.begin(), encoded.end(), data + expected.offsets[i]));
    FUZZ_CHECK(Crc16(encoded.data() + 1, encoded.size() - 3) ==
               ReferenceCrc(encoded.data() + 1, encoded.size() - 3));
  }

  // A checksum continued over a second part equals the checksum of the whole.
  const size_t half = size / 2;
  FUZZ_CHECK(Crc16(data + half, size - half, Crc16(data, half)) == ReferenceCrc(data, size));

  // Every chunk size up to 64 bytes, then sizes growing by a quarter: a frame is at most 519
  // bytes, and beyond the small sizes each one only moves the cuts a little.
  for (size_t chunk = 1; chunk <= size; chunk = chunk < 64 ? chunk + 1 : chunk + chunk / 4) {
    CheckChunked(data, size, expected, [chunk](size_t) { return chunk; });
  }
  // Chunk sizes taken from the bytes themselves, as uneven as the line delivers them.
  CheckChunked(data, size, expected, [&](size_t i) { return size_t{1} + data[i % size] % 23; });
  return 0;
}
