#include "scanner/BatchRead.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

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

std::optional<MemTable> ReadScannerBatch(ScannerLibrary& scanner, const WallClock& clock) {
  const int32_t count = scanner.ReadData();
  if (count <= 0) return std::nullopt;
  const std::string scannerId = GetScannerId(scanner);

  struct Scan {
    std::string barcode;
    std::string stamp;
  };
  std::vector<Scan> scans;
  scans.reserve(static_cast<size_t>(count));
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
    scans.push_back({std::string(packet.data() + 2, static_cast<size_t>(length - 6)),
                     std::string(stamp.data(), strnlen(stamp.data(), kStampSize))});
  }

  // The batch id carries the moment the read ended.
  const std::string batchId = scannerId + FormatBatchTime(LocalTime(clock()));
  MemTable batch(MemTable::ScanRecordFields());
  batch.Open();
  batch.Append();
  batch.SetText("Barcode", scannerId);
  batch.Post();
  batch.Append();
  batch.SetText("Barcode", batchId);
  batch.Post();
  for (const Scan& scan : scans) {
    batch.Append();
    batch.SetText("BarcodeType", "");
    batch.SetText("Barcode", scan.barcode);
    batch.SetInteger("Aantal", 1);
    batch.SetText("DateTime", scan.stamp);
    batch.Post();
  }
  batch.First();
  return batch;
}

std::string ScanContentKey(const MemTable& batch) {
  std::string key;
  if (!batch.IsOpen()) return key;
  const int fields[] = {batch.FieldIndex("Barcode"), batch.FieldIndex("DateTime"),
                        batch.FieldIndex("Aantal")};
  const std::vector<Row>& rows = batch.Rows();
  for (size_t row = 0; row < rows.size(); ++row) {
    if (row == 1) continue;  // the batch id: the time of the read, not the content
    for (int field : fields) {
      if (field < 0) continue;
      const FieldValue& value = rows[row].values[static_cast<size_t>(field)];
      const std::string text = value.isNull ? "-" : value.text + std::to_string(value.integer);
      key += std::to_string(text.size()) + ':' + text;
    }
    key += '\n';
  }
  return key;
}

}  // namespace kessmar
