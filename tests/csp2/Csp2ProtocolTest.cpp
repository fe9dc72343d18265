// The frame codec and the time stamps of the scanner protocol.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "csp2/Crc16.h"
#include "csp2/ScanTimeStamp.h"
#include "csp2/ScannerProtocol.h"
#include "csp2/csp2.h"

namespace kessmar::csp2 {
namespace {

TEST(Csp2ProtocolTest, FramesSurviveSplittingAndBadBytesAreRecognised) {
  EXPECT_EQ(Crc16(reinterpret_cast<const uint8_t*>("123456789"), 9), 0x29B1);  // check value

  std::vector<uint8_t> stream;
  AppendFrame(stream, command::kStatus, 7, {});
  AppendFrame(stream, command::kScanRecord, 9, std::vector<uint8_t>{1, 2, 3});
  EXPECT_EQ((std::vector<uint8_t>(stream.begin(), stream.begin() + 5)),
            (std::vector<uint8_t>{kStartByte, command::kStatus, 7, 0, 0}));

  FrameDecoder decoder;
  Frame frame;
  std::vector<Frame> frames;
  for (uint8_t byte : stream) {  // one byte at a time
    decoder.Append(&byte, 1);
    while (decoder.Next(frame) == FrameDecoder::Result::kFrame) frames.push_back(frame);
  }
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].command, command::kStatus);
  EXPECT_TRUE(frames[0].payload.empty());
  EXPECT_EQ(frames[1].tag, 9);
  EXPECT_EQ(frames[1].payload, (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_TRUE(decoder.Empty());

  std::vector<uint8_t> corrupt = stream;
  corrupt[13] ^= 0x40;  // inside the second frame's payload
  decoder.Append(corrupt.data(), corrupt.size());
  EXPECT_EQ(decoder.Next(frame), FrameDecoder::Result::kFrame);
  EXPECT_EQ(decoder.Next(frame), FrameDecoder::Result::kBad);
  decoder.Clear();

  std::vector<uint8_t> oversized{kStartByte, 1, 1, 0x01, 0x02};  // length 513
  decoder.Append(oversized.data(), oversized.size());
  EXPECT_EQ(decoder.Next(frame), FrameDecoder::Result::kBad);
  decoder.Clear();

  // Noise before a frame is skipped by resynchronising on the start byte.
  std::vector<uint8_t> noisy{0x41, 0x42, kStartByte, 0xFF};
  noisy.insert(noisy.end(), stream.begin(), stream.end());
  decoder.Append(noisy.data(), noisy.size());
  int bad = 0;
  frames.clear();
  for (;;) {
    auto result = decoder.Next(frame);
    if (result == FrameDecoder::Result::kNeedMore) break;
    if (result == FrameDecoder::Result::kBad) {
      ++bad;
      decoder.DropToNextStart();
      continue;
    }
    frames.push_back(frame);
  }
  EXPECT_EQ(frames.size(), 2u);
  EXPECT_GE(bad, 1);

  // Random bytes never crash the decoder nor pass as frames.
  std::mt19937 random(42);
  std::vector<uint8_t> garbage(20000);
  for (auto& byte : garbage) byte = static_cast<uint8_t>(random() % 4 == 0 ? 2 : random());
  FrameDecoder fuzz;
  fuzz.Append(garbage.data(), garbage.size());
  int accepted = 0;
  for (int guard = 0; guard < 100000 && !fuzz.Empty(); ++guard) {
    auto result = fuzz.Next(frame);
    if (result == FrameDecoder::Result::kNeedMore) break;
    if (result == FrameDecoder::Result::kFrame) ++accepted;
    if (result == FrameDecoder::Result::kBad) fuzz.DropToNextStart();
  }
  EXPECT_LE(accepted, 2);
  EXPECT_THROW(AppendFrame(stream, 1, 1, std::vector<uint8_t>(kMaxPayload + 1)), std::length_error);
}

TEST(Csp2ProtocolTest, TimeStampsRenderAsDateAndTimeText) {
  std::tm local{};
  local.tm_year = 2026 - 1900;
  local.tm_mon = 11;
  local.tm_mday = 8;
  local.tm_hour = 14;
  local.tm_min = 31;
  local.tm_sec = 7;
  std::array<uint8_t, 4> stamp = EncodeScanTime(local);
  char text[23];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(csp2TimeStamp2Str(stamp.data(), text, sizeof text), 0);
  EXPECT_STREQ(text, "2026/12/08 14:31:07");

  local.tm_year = 2099 - 1900;  // beyond what 6 bits hold: clamped
  stamp = EncodeScanTime(local);
  EXPECT_EQ(FormatScanTime(stamp.data()), "2063/12/08 14:31:07");

  // Zero bytes and impossible fields still give text, flagged as invalid.
  const unsigned char zero[4] = {0, 0, 0, 0};
  EXPECT_EQ(csp2TimeStamp2Str(zero, text, sizeof text), -1);
  EXPECT_STREQ(text, "2000/00/00 00:00:00");
  const unsigned char ones[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(csp2TimeStamp2Str(ones, text, sizeof text), -1);
  EXPECT_STREQ(text, "2063/15/31 31:63:63");

  // Buffers too small get an empty text and nothing beyond their size.
  char small[8];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(csp2TimeStamp2Str(stamp.data(), small, 5), -1);
  EXPECT_EQ(small[0], '\0');
  EXPECT_EQ(small[5], 'x');
  EXPECT_EQ(csp2TimeStamp2Str(stamp.data(), nullptr, 23), -1);
  EXPECT_EQ(csp2TimeStamp2Str(nullptr, text, sizeof text), -1);
}

}  // namespace
}  // namespace kessmar::csp2
