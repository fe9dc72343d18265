#include "scanner/BatchRead.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace kessmar {

std::string FormatScannerId(const unsigned char* idBytes) {
  char hex[17];
  for (int i = 0; i < 8; ++i) std::snprintf(hex + 2 * i, 3, "%02X", idBytes[i]);
  std::string text(hex, 16);
  text.erase(0, text.find_first_not_of('0') == std::string::npos ? text.size()
                                                                 : text.find_first_not_of('0'));
  return text;
}

std::string GetScannerId(ScannerLibrary& scanner) {
  std::array<char, 9> buffer{};
  if (scanner.GetDeviceId(buffer.data(), static_cast<int32_t>(buffer.size())) <= 0) return {};
  return FormatScannerId(reinterpret_cast<const unsigned char*>(buffer.data()));
}

std::string FormatBatchTime(const std::tm& time) {
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d%H%M%S", &time);
  return text;
}

std::string HistoryFileName(const std::tm& time) {
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S.dat", &time);
  return text;
}

std::optional<MemTable> ReadScannerBatch(ScannerLibrary& scanner, const std::tm& now) {
  const int32_t count = scanner.ReadData();
  if (count <= 0) return std::nullopt;

  MemTable batch(MemTable::ScanRecordFields());
  batch.Open();
  const std::string scannerId = GetScannerId(scanner);
  batch.Append();
  batch.SetText("Barcode", scannerId);
  batch.Post();
  batch.Append();
  batch.SetText("Barcode", scannerId + FormatBatchTime(now));
  batch.Post();

  constexpr int32_t kPacketSize = 256;
  constexpr int32_t kStampSize = 23;
  for (int32_t i = 0; i < count; ++i) {
    std::array<char, kPacketSize> packet{};
    const int32_t length = scanner.GetPacket(packet.data(), i, kPacketSize);
    if (length < 6 || length > kPacketSize) {
      throw ScannerReadError("Scan " + std::to_string(i) + " of " + std::to_string(count) +
                             " could not be read from the scanner");
    }
    std::array<char, kStampSize + 1> stamp{};
    scanner.TimeStamp2Str(reinterpret_cast<const unsigned char*>(packet.data() + length - 4),
                          stamp.data(), kStampSize);
    batch.Append();
    batch.SetText("BarcodeType", "");
    batch.SetText("Barcode", std::string_view(packet.data() + 2, length - 6));
    batch.SetInteger("Aantal", 1);
    batch.SetText("DateTime", std::string_view(stamp.data(), strnlen(stamp.data(), kStampSize)));
    batch.Post();
  }
  batch.First();
  return batch;
}

void SaveBatchWithHistory(const MemTable& batch, const std::string& dataFolder,
                          const WallClock& clock) {
  const std::filesystem::path lastRead = dataFolder + "last_read.dat";
  batch.SaveBatchFile(lastRead);
  std::error_code ignored;
  std::filesystem::copy_file(lastRead, dataFolder + HistoryFileName(LocalTime(clock())),
                             std::filesystem::copy_options::overwrite_existing, ignored);
}

}  // namespace kessmar
