// The C entry points of the library. Exceptions never leave them: a failure becomes the
// operation's failure result.
#include <cstring>
#include <exception>
#include <string>

#include "csp2/Csp2Session.h"
#include "csp2/ScanTimeStamp.h"
#include "csp2/csp2.h"

using kessmar::csp2::Csp2Session;

namespace {

template <typename Operation>
int32_t Guarded(int32_t failure, Operation operation) {
  try {
    return operation(Csp2Session::Instance());
  } catch (...) {
    return failure;
  }
}

}  // namespace

extern "C" {

int32_t csp2InitEx(int32_t port) {
  return Guarded(-1, [&](Csp2Session& s) { return s.InitEx(port); });
}

int32_t csp2Restore(void) {
  return Guarded(-1, [](Csp2Session& s) { return s.Restore(); });
}

int32_t csp2GetCTS(void) {
  return Guarded(0, [](Csp2Session& s) { return s.GetCTS(); });
}

int32_t csp2GetDSR(void) {
  return Guarded(0, [](Csp2Session& s) { return s.GetDSR(); });
}

int32_t csp2Interrogate(void) {
  return Guarded(-1, [](Csp2Session& s) { return s.Interrogate(); });
}

int32_t csp2GetDeviceId(char* buffer, int32_t size) {
  return Guarded(-1, [&](Csp2Session& s) { return s.GetDeviceId(buffer, size); });
}

int32_t csp2ReadData(void) {
  return Guarded(-1, [](Csp2Session& s) { return s.ReadData(); });
}

int32_t csp2GetPacket(char* buffer, int32_t index, int32_t size) {
  return Guarded(-1, [&](Csp2Session& s) { return s.GetPacket(buffer, index, size); });
}

int32_t csp2TimeStamp2Str(const unsigned char* stamp, char* buffer, int32_t size) {
  if (buffer == nullptr || size <= 0) return -1;
  buffer[0] = '\0';
  if (stamp == nullptr) return -1;
  std::string text = kessmar::csp2::FormatScanTime(stamp);
  if (text.size() + 1 > static_cast<size_t>(size)) return -1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  return kessmar::csp2::IsValidScanTime(stamp) ? 0 : -1;
}

int32_t csp2ClearData(void) {
  return Guarded(-1, [](Csp2Session& s) { return s.ClearData(); });
}

}  // extern "C"
