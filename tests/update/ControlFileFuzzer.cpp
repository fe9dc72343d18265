// libFuzzer target: any bytes as an update control file, read the way the update component
// reads one. Build with clang (see CMakeLists.txt).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "update/ControlFileExercise.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kessmar::ExerciseControlFile(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
