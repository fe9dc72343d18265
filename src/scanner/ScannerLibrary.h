// The scanner communication library as the program sees it: the ten operations, one object.
// The production implementation forwards to the csp2 library; tests may script one.
#pragma once

#include <cstdint>

namespace kessmar {

class ScannerLibrary {
 public:
  virtual ~ScannerLibrary() = default;

  virtual int32_t InitEx(int32_t port) = 0;  // negative: failure
  virtual int32_t Restore() = 0;
  virtual int32_t GetCTS() = 0;  // > 0 present; exactly 1 while linked: scans waiting
  virtual int32_t GetDSR() = 0;  // > 0 present
  virtual int32_t Interrogate() = 0;
  virtual int32_t GetDeviceId(char* buffer, int32_t size) = 0;  // > 0: 8 id bytes in buffer
  virtual int32_t ReadData() = 0;                               // number of stored scans
  virtual int32_t GetPacket(char* buffer, int32_t index, int32_t size) = 0;  // packet length
  virtual int32_t TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size) = 0;
  virtual int32_t ClearData() = 0;
};

// The csp2 library bound at load time.
class Csp2Library final : public ScannerLibrary {
 public:
  int32_t InitEx(int32_t port) override;
  int32_t Restore() override;
  int32_t GetCTS() override;
  int32_t GetDSR() override;
  int32_t Interrogate() override;
  int32_t GetDeviceId(char* buffer, int32_t size) override;
  int32_t ReadData() override;
  int32_t GetPacket(char* buffer, int32_t index, int32_t size) override;
  int32_t TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size) override;
  int32_t ClearData() override;
};

}  // namespace kessmar
