// libmspack, loaded at the first cabinet or SZDD expansion (an update's install).
#include <mspack.h>

#include "platform/lazy/Forwarding.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

LazyLibrary& Libmspack() {
  // One per process: the forwarded C functions have no other way to reach it.
  static LazyLibrary library(KESSMAR_LIBMSPACK_SONAME, "KESSMAR_LIBMSPACK");
  return library;
}

}  // namespace

void RequireLibmspack() {
  Libmspack().Require();
}

}  // namespace kessmar::platform

#define KESSMAR_LAZY_LIBRARY kessmar::platform::Libmspack
#include "platform/lazy/LibmspackFunctions.inc"
