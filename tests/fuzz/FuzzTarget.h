// What every fuzz harness provides, and the checks it makes beyond "no crash".
//
// A harness defines LLVMFuzzerTestOneInput, which libFuzzer calls in a fuzz build and
// CorpusReplay.cpp calls from GoogleTest in every build. Set-up a harness needs once is made on
// its first call.
// A failed check prints what failed and aborts, which both of them report as a failure.
#pragma once

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace kessmar::fuzz {

[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);

}  // namespace kessmar::fuzz

// Holds in every build type (assert would vanish under NDEBUG).
#define FUZZ_CHECK(condition)                                                       \
  do {                                                                              \
    if (!(condition)) ::kessmar::fuzz::CheckFailed(#condition, __FILE__, __LINE__); \
  } while (false)
