#include "csp2.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

int32_t Csp2Library::InitEx(int32_t port) {
  return csp2InitEx(port);
}
int32_t Csp2Library::Restore() {
  return csp2Restore();
}
int32_t Csp2Library::GetCTS() {
  return csp2GetCTS();
}
int32_t Csp2Library::GetDSR() {
  return csp2GetDSR();
}
int32_t Csp2Library::Interrogate() {
  return csp2Interrogate();
}
int32_t Csp2Library::GetDeviceId(char* buffer, int32_t size) {
  return csp2GetDeviceId(buffer, size);
}
int32_t Csp2Library::ReadData() {
  return csp2ReadData();
}
int32_t Csp2Library::GetPacket(char* buffer, int32_t index, int32_t size) {
  return csp2GetPacket(buffer, index, size);
}
int32_t Csp2Library::TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size) {
  return csp2TimeStamp2Str(stamp, buffer, size);
}
int32_t Csp2Library::ClearData() {
  return csp2ClearData();
}

}  // namespace kessmar
