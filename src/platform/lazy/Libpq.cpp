// libpq, loaded when the back office is first reached.
#include <libpq-fe.h>

#include "platform/EnvironmentOverrides.h"
#include "platform/lazy/Forwarding.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

LazyLibrary& Libpq() {
  // One per process: the forwarded C functions have no other way to reach it.
  static LazyLibrary library(KESSMAR_LIBPQ_SONAME, kessmar::platform::env::kLibpq);
  return library;
}

}  // namespace

void RequireLibpq() {
  Libpq().Require();
}

}  // namespace kessmar::platform

#define KESSMAR_LAZY_LIBRARY kessmar::platform::Libpq
#include "platform/lazy/LibpqFunctions.inc"
