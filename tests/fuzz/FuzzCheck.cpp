#include <cstdio>
#include <cstdlib>

#include "fuzz/FuzzTarget.h"

// The corpus replay names the input it is running; libFuzzer saves the input itself.
extern "C" const char* KessmarFuzzCurrentCase() __attribute__((weak));

namespace kessmar::fuzz {

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
  if (KessmarFuzzCurrentCase != nullptr) {
    std::fprintf(stderr, "input: %s\n", KessmarFuzzCurrentCase());
  }
  std::abort();
}

}  // namespace kessmar::fuzz
