#include "csp2/csp2.h"
#include "platform/SharedLibrary.h"
#include "scanner/ScannerLibrary.h"

namespace kessmar {

namespace {

// The address of the function name, typed as csp2.h declares it (Function is decltype of the
// declaration): a signature that changes there no longer fits the member it is stored in.
template <typename Function>
Function* Bind(const platform::SharedLibrary& library, const char* name) {
  return reinterpret_cast<Function*>(library.Function(name));
}

}  // namespace

Csp2Library::Csp2Library(const std::string& name)
    : library_(std::make_unique<platform::SharedLibrary>(name)),
      initEx_(Bind<decltype(csp2InitEx)>(*library_, "csp2InitEx")),
      restore_(Bind<decltype(csp2Restore)>(*library_, "csp2Restore")),
      getCts_(Bind<decltype(csp2GetCTS)>(*library_, "csp2GetCTS")),
      getDsr_(Bind<decltype(csp2GetDSR)>(*library_, "csp2GetDSR")),
      interrogate_(Bind<decltype(csp2Interrogate)>(*library_, "csp2Interrogate")),
      getDeviceId_(Bind<decltype(csp2GetDeviceId)>(*library_, "csp2GetDeviceId")),
      readData_(Bind<decltype(csp2ReadData)>(*library_, "csp2ReadData")),
      getPacket_(Bind<decltype(csp2GetPacket)>(*library_, "csp2GetPacket")),
      timeStamp2Str_(Bind<decltype(csp2TimeStamp2Str)>(*library_, "csp2TimeStamp2Str")),
      clearData_(Bind<decltype(csp2ClearData)>(*library_, "csp2ClearData")) {}

Csp2Library::~Csp2Library() = default;

int32_t Csp2Library::InitEx(int32_t port) {
  return initEx_(port);
}
int32_t Csp2Library::Restore() {
  return restore_();
}
int32_t Csp2Library::GetCTS() {
  return getCts_();
}
int32_t Csp2Library::GetDSR() {
  return getDsr_();
}
int32_t Csp2Library::Interrogate() {
  return interrogate_();
}
int32_t Csp2Library::GetDeviceId(char* buffer, int32_t size) {
  return getDeviceId_(buffer, size);
}
int32_t Csp2Library::ReadData() {
  return readData_();
}
int32_t Csp2Library::GetPacket(char* buffer, int32_t index, int32_t size) {
  return getPacket_(buffer, index, size);
}
int32_t Csp2Library::TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size) {
  return timeStamp2Str_(stamp, buffer, size);
}
int32_t Csp2Library::ClearData() {
  return clearData_();
}

}  // namespace kessmar
