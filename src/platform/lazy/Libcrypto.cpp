// OpenSSL's libcrypto, loaded at the first signature or hash check of an update.
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include "platform/EnvironmentOverrides.h"
#include "platform/lazy/Forwarding.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

LazyLibrary& Libcrypto() {
  // One per process: the forwarded C functions have no other way to reach it.
  static LazyLibrary library(KESSMAR_LIBCRYPTO_SONAME, kessmar::platform::env::kLibcrypto);
  return library;
}

}  // namespace

void RequireLibcrypto() {
  Libcrypto().Require();
}

}  // namespace kessmar::platform

#define KESSMAR_LAZY_LIBRARY kessmar::platform::Libcrypto
#include "platform/lazy/LibcryptoFunctions.inc"
