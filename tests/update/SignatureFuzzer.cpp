// libFuzzer target: any bytes as a signature file and a control file, checked the way the update
// component checks them. Build with clang (see CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "update/SignatureExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kessmar::ExerciseSignatureCheck(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
