// libmspack, loaded at the first cabinet or SZDD expansion (an update's install).
#include <mspack.h>

#include "platform/EnvironmentOverrides.h"
#include "platform/lazy/Forwarding.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

LazyLibrary& Libmspack() {
  // One per process: the forwarded C functions have no other way to reach it.
  static LazyLibrary library(KESSMAR_LIBMSPACK_SONAME, kessmar::platform::env::kLibmspack);
  return library;
}

}  // namespace

void RequireLibmspack() {
  Libmspack().Require();
}

}  // namespace kessmar::platform

#define KESSMAR_LAZY_LIBRARY kessmar::platform::Libmspack
#include "platform/lazy/LibmspackFunctions.inc"
