// The scanner communication library as the program sees it: the ten operations, one object.
// The production implementation forwards to the csp2 library; tests may script one.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace kessmar::platform {
class SharedLibrary;
}

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

// The csp2 library, bound by name when this object is made: the library that stands in for the
// scanner maker's, or the maker's own with the same ten functions.
class Csp2Library final : public ScannerLibrary {
 public:
  // The soname the program looks for.
#ifdef _WIN32
  static constexpr const char* kLibraryName = "Csp2.dll";
#else
  static constexpr const char* kLibraryName = "libcsp2.so.1";
#endif

  // Loads the library and binds its ten functions. Throws platform::SharedLibraryError naming
  // the library or the function that is missing.
  explicit Csp2Library(const std::string& name = kLibraryName);
  ~Csp2Library() override;

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

 private:
  std::unique_ptr<platform::SharedLibrary> library_;
  int32_t (*initEx_)(int32_t);
  int32_t (*restore_)();
  int32_t (*getCts_)();
  int32_t (*getDsr_)();
  int32_t (*interrogate_)();
  int32_t (*getDeviceId_)(char*, int32_t);
  int32_t (*readData_)();
  int32_t (*getPacket_)(char*, int32_t, int32_t);
  int32_t (*timeStamp2Str_)(const unsigned char*, char*, int32_t);
  int32_t (*clearData_)();
};

// What the program uses when the scanner library cannot be loaded: no port can be opened and no
// scanner is ever present, so the rest of the program (history, processing again) still works.
class MissingScannerLibrary final : public ScannerLibrary {
 public:
  int32_t InitEx(int32_t) override { return -1; }
  int32_t Restore() override { return 0; }
  int32_t GetCTS() override { return 0; }
  int32_t GetDSR() override { return 0; }
  int32_t Interrogate() override { return -1; }
  int32_t GetDeviceId(char*, int32_t) override { return -1; }
  int32_t ReadData() override { return 0; }
  int32_t GetPacket(char*, int32_t, int32_t) override { return -1; }
  int32_t TimeStamp2Str(const unsigned char*, char* buffer, int32_t size) override {
    if (buffer != nullptr && size > 0) buffer[0] = '\0';
    return -1;
  }
  int32_t ClearData() override { return -1; }
};

}  // namespace kessmar
