// A scanner library stand-in whose answers the test sets, for poll logic where timing and call
// order must be exact. End-to-end tests use the real library with the emulated scanner instead.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "scanner/ScannerLibrary.h"

namespace kessmar::testing {

class ScriptedScanner : public ScannerLibrary {
 public:
  // What the scanner on the port answers.
  bool present = true;
  int32_t initResult = 0;
  unsigned char id[8] = {0x00, 0x00, 0x0A, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  std::vector<std::string> scans;
  int failPacketAt = -1;           // GetPacket of this index fails
  std::function<void()> onPacket;  // runs on every GetPacket

  // What the program did.
  std::vector<int32_t> initPorts;
  int restores = 0;
  int clears = 0;
  int reads = 0;
  bool linked = false;

  int32_t InitEx(int32_t port) override {
    initPorts.push_back(port);
    linked = initResult >= 0;
    return initResult;
  }
  int32_t Restore() override {
    ++restores;
    linked = false;
    return 0;
  }
  int32_t GetCTS() override {
    if (!linked || !present) return 0;
    return scans.empty() ? 2 : 1;
  }
  int32_t GetDSR() override { return linked && present ? 1 : 0; }
  int32_t Interrogate() override { return 0; }
  int32_t GetDeviceId(char* buffer, int32_t size) override {
    if (!linked || !present || size < 9) return -1;
    std::memcpy(buffer, id, 8);
    return 1;
  }
  int32_t ReadData() override {
    ++reads;
    return linked && present ? static_cast<int32_t>(scans.size()) : 0;
  }
  int32_t GetPacket(char* buffer, int32_t index, int32_t size) override {
    if (onPacket) onPacket();
    if (index == failPacketAt || index < 0 || index >= static_cast<int32_t>(scans.size())) {
      return -1;
    }
    const std::string& code = scans[index];
    const int32_t length = static_cast<int32_t>(code.size()) + 6;
    if (length > size) return -1;
    buffer[0] = buffer[1] = 0;
    std::memcpy(buffer + 2, code.data(), code.size());
    const unsigned char stamp[4] = {0x01, 0x00, 0x02, static_cast<unsigned char>(index)};
    std::memcpy(buffer + 2 + code.size(), stamp, 4);
    return length;
  }
  int32_t TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size) override {
    std::snprintf(buffer, size, "2026/12/08 10:00:%02u", stamp[3]);
    return 0;
  }
  int32_t ClearData() override {
    ++clears;
    scans.clear();
    return 0;
  }
};

}  // namespace kessmar::testing
