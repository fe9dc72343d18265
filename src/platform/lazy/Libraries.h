// The libraries that only some roads need, loaded on their first use (see LazyLibrary.h).
// Each Require loads its library unless it is loaded, and throws LibraryUnavailable naming it
// when it cannot be loaded. A road calls it at its entry, so that a missing library is that
// road's clear error; the calls into the library load it too, and throw the same.
#pragma once

#include "platform/lazy/LazyLibrary.h"

namespace kessmar::platform {

void RequireLibpq();      // the back office's database client; override: KESSMAR_LIBPQ
void RequireLibcurl();    // internet transfers; override: KESSMAR_LIBCURL
void RequireLibmspack();  // cabinet and SZDD expansion; override: KESSMAR_LIBMSPACK
void RequireLibcrypto();  // signatures and hashes of updates; override: KESSMAR_LIBCRYPTO

// Whether libcurl is unloaded after its last use (not in sanitizer builds).
bool LibcurlUnloadsAfterUse();

// Keeps libcurl loaded and initialised (curl_global_init) while it lives. After the last one
// goes, libcurl is cleaned up and unloaded, so that a check once a day does not keep it in
// memory all day; every handle of libcurl must be gone by then. Throws LibraryUnavailable.
class LibcurlUse {
 public:
  LibcurlUse();
  LibcurlUse(const LibcurlUse&) = delete;
  LibcurlUse& operator=(const LibcurlUse&) = delete;
  ~LibcurlUse();
};

}  // namespace kessmar::platform
