// The csp2 library against the scanner emulator on a real pseudo-terminal (under Wine: Csp2.dll
// against the Linux emulator on a Wine COM port).
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "csp2/ScanTimeStamp.h"
#include "csp2/csp2.h"
#include "support/EmulatorProcess.h"

namespace kessmar::test {
namespace {

struct Scan {
  std::string barcode;
  std::string stampText;
};

// Fetches scan index the way the program does; empty barcode when GetPacket fails.
Scan FetchScan(int index) {
  char packet[256];
  std::memset(packet, 0x55, sizeof packet);
  int32_t length = csp2GetPacket(packet, index, sizeof packet);
  if (length < 6) return {};
  char text[23];
  csp2TimeStamp2Str(reinterpret_cast<unsigned char*>(packet + length - 4), text, sizeof text);
  return {std::string(packet + 2, static_cast<size_t>(length - 6)), text};
}

class Csp2Test : public ::testing::Test {
 protected:
  void TearDown() override { csp2Restore(); }
  EmulatorSandbox sandbox_;
};

TEST_F(Csp2Test, ReadsIdScansAndClearsThroughTheEmulator) {
  EmulatorProcess emulator(sandbox_.PortsDirectory(),
                           {"--scan", "4006381333931", "--scan", "12345670", "--scan", "A"});
  ASSERT_EQ(csp2InitEx(emulator.ComNumber()), 0);
  EXPECT_EQ(csp2GetCTS(), 1);  // scans waiting
  EXPECT_GT(csp2GetDSR(), 0);
  EXPECT_GT(csp2Interrogate(), 0);

  char id[9];
  std::memset(id, 0x7F, sizeof id);
  ASSERT_GT(csp2GetDeviceId(id, sizeof id), 0);
  EXPECT_EQ(std::vector<unsigned char>(id, id + 8),
            (std::vector<unsigned char>{0x00, 0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F}));
  EXPECT_LE(csp2GetDeviceId(id, 7), 0);  // a buffer too small is refused

  ASSERT_EQ(csp2ReadData(), 3);
  char packet[256];
  ASSERT_EQ(csp2GetPacket(packet, 1, sizeof packet), 14);  // 2 + 8 + 4
  EXPECT_EQ(packet[0], 0);
  EXPECT_EQ(packet[1], 0);
  EXPECT_EQ(std::string(packet + 2, 8), "12345670");
  EXPECT_TRUE(csp2::IsValidScanTime(reinterpret_cast<unsigned char*>(packet + 10)));
  EXPECT_EQ(csp2GetPacket(packet, 1, 13), -1);  // does not fit: nothing written past 13
  EXPECT_EQ(csp2GetPacket(packet, 3, sizeof packet), -1);
  EXPECT_EQ(csp2GetPacket(packet, -1, sizeof packet), -1);
  EXPECT_EQ(csp2GetPacket(nullptr, 0, sizeof packet), -1);

  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  ::localtime_s(&local, &now);
#else
  ::localtime_r(&now, &local);
#endif
  std::vector<std::string> barcodes;
  for (int i = 0; i < 3; ++i) {
    Scan scan = FetchScan(i);
    barcodes.push_back(scan.barcode);
    ASSERT_EQ(scan.stampText.size(), 19u);
    EXPECT_EQ(scan.stampText.substr(0, 4), std::to_string(local.tm_year + 1900));
  }
  EXPECT_EQ(barcodes, (std::vector<std::string>{"4006381333931", "12345670", "A"}));

  // A scan arriving after the read survives the clear of what was read.
  EXPECT_EQ(emulator.Control("add LATE"), "ok");
  csp2ClearData();
  EXPECT_EQ(emulator.Control("count"), "1");
  EXPECT_EQ(csp2ReadData(), 1);
  EXPECT_EQ(FetchScan(0).barcode, "LATE");
  csp2ClearData();
  EXPECT_EQ(emulator.Control("count"), "0");

  int32_t cts = csp2GetCTS();
  EXPECT_GT(cts, 1);  // present, nothing waiting
  EXPECT_EQ(csp2ReadData(), 0);
  csp2ClearData();  // nothing read: nothing erased, no harm

  EXPECT_EQ(emulator.Control("add 555"), "ok");
  EXPECT_EQ(csp2GetCTS(), 1);
  ASSERT_EQ(csp2ReadData(), 1);
  EXPECT_EQ(FetchScan(0).barcode, "555");
}

TEST_F(Csp2Test, ReportsAbsenceForMissingPortsAndVanishedScanners) {
  EXPECT_LT(csp2InitEx(7), 0);  // no COM7
  EXPECT_LT(csp2InitEx(0), 0);
  EXPECT_LT(csp2InitEx(-3), 0);
  EXPECT_EQ(csp2GetCTS(), 0);  // nothing held
  EXPECT_EQ(csp2GetDSR(), 0);
  EXPECT_LE(csp2ReadData(), 0);

  EmulatorProcess emulator(sandbox_.PortsDirectory(), {"--id", "0102030405060708", "--scan", "X"});
  ASSERT_EQ(csp2InitEx(emulator.ComNumber()), 0);
  char id[9];
  ASSERT_GT(csp2GetDeviceId(id, sizeof id), 0);
  EXPECT_EQ(std::string(id, 8), std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8));
  ASSERT_EQ(csp2ReadData(), 1);

  emulator.Kill();
  EXPECT_EQ(csp2GetCTS(), 0);
  EXPECT_EQ(csp2GetDSR(), 0);
  EXPECT_LE(csp2ReadData(), 0);
  EXPECT_EQ(csp2GetPacket(id, 0, sizeof id), -1);  // the old batch is gone with the failed read
  EXPECT_LE(csp2GetDeviceId(id, sizeof id), 0);
  csp2Restore();

  // The same number under a new emulator is a new link.
  EmulatorProcess again(sandbox_.PortsDirectory(), {"--com", "3"});
  ASSERT_EQ(csp2InitEx(again.ComNumber()), 0);
  EXPECT_GT(csp2GetCTS(), 1);
  csp2Restore();
  EXPECT_EQ(csp2GetCTS(), 0);
}

TEST_F(Csp2Test, FaultyRepliesNeverYieldAWrongOrPartialBatch) {
  EmulatorProcess emulator(sandbox_.PortsDirectory(), {"--misbehave", "silent", "--scan", "111111",
                                                       "--scan", "222222", "--scan", "333333"});
  ASSERT_EQ(csp2InitEx(emulator.ComNumber()), 0);
  EXPECT_EQ(csp2GetCTS(), 0);
  EXPECT_EQ(csp2GetDSR(), 0);
  EXPECT_LE(csp2ReadData(), 0);

  for (const char* mode : {"garble", "cutoff"}) {
    SCOPED_TRACE(mode);
    ASSERT_EQ(emulator.Control(std::string("misbehave ") + mode), "ok");
    EXPECT_EQ(csp2GetCTS(), 0);
    char id[9];
    EXPECT_LE(csp2GetDeviceId(id, sizeof id), 0);
    int32_t count = csp2ReadData();
    EXPECT_LE(count, 0);
    char packet[256];
    EXPECT_EQ(csp2GetPacket(packet, 0, sizeof packet), -1);
    csp2ClearData();
    EXPECT_EQ(emulator.Control("count"), "3");  // nothing read, nothing erased
  }

  // Back to normal: the link recovers without a new InitEx and reads the whole batch.
  ASSERT_EQ(emulator.Control("misbehave none"), "ok");
  EXPECT_EQ(csp2GetCTS(), 1);
  ASSERT_EQ(csp2ReadData(), 3);
  EXPECT_EQ(FetchScan(0).barcode, "111111");
  EXPECT_EQ(FetchScan(2).barcode, "333333");
}

TEST_F(Csp2Test, ReadsALargeBatchOfLongBarcodes) {
  EmulatorProcess emulator(sandbox_.PortsDirectory());
  std::string input;
  for (int i = 0; i < 600; ++i) {
    input += std::string(i % 250 + 1, static_cast<char>('a' + i % 26)) + "\n";
  }
  emulator.WriteInput(input);
  ASSERT_TRUE(WaitUntil([&] { return emulator.Control("count") == "600"; }));
  ASSERT_EQ(csp2InitEx(emulator.ComNumber()), 0);
  ASSERT_EQ(csp2ReadData(), 600);
  for (int i = 0; i < 600; i += 37) {
    EXPECT_EQ(FetchScan(i).barcode, std::string(i % 250 + 1, static_cast<char>('a' + i % 26)));
  }
  char packet[256];
  EXPECT_EQ(csp2GetPacket(packet, 249, sizeof packet), 256);  // the longest packet fits exactly
}

TEST_F(Csp2Test, ABatchThatTakesLongerThanTenSecondsOnASlowLineArrivesWhole) {
  // 500 scans of 40 characters at 2,000 bytes per second: about 13 s on the line.
  std::vector<std::string> args = {"--line-rate", "2000"};
  for (int i = 0; i < 500; ++i) {
    std::string code = std::to_string(1000000 + i);
    code.resize(40, 'X');
    args.insert(args.end(), {"--scan", code});
  }
  EmulatorProcess emulator(sandbox_.PortsDirectory(), args);
  ASSERT_EQ(csp2InitEx(emulator.ComNumber()), 0);
  const auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(csp2ReadData(), 500);
  EXPECT_GT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(FetchScan(0).barcode.substr(0, 7), "1000000");
  EXPECT_EQ(FetchScan(499).barcode.substr(0, 7), "1000499");
  EXPECT_EQ(csp2ClearData(), 0);
  EXPECT_EQ(csp2GetCTS(), 2);
}

}  // namespace
}  // namespace kessmar::test
