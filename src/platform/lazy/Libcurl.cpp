// libcurl (and through it OpenSSL), loaded at the first internet transfer.
#include <curl/curl.h>

#include <cstdarg>
#include <mutex>

#include "platform/EnvironmentOverrides.h"
#include "platform/Memory.h"
#include "platform/lazy/Forwarding.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

// LeakSanitizer's check at exit trips over the thread-local storage of a library unloaded
// while the program ran: sanitizer builds keep libcurl.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kUnloadable = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kUnloadable = false;
#else
constexpr bool kUnloadable = true;
#endif
#else
constexpr bool kUnloadable = true;
#endif

LazyLibrary& Libcurl() {
  // One per process: the forwarded C functions have no other way to reach it.
  static LazyLibrary library(KESSMAR_LIBCURL_SONAME, kessmar::platform::env::kLibcurl, kUnloadable);
  return library;
}

// How many LibcurlUse objects live; libcurl is initialised while there are any.
struct Users {
  std::mutex mutex;
  int count = 0;
};

Users& LibcurlUsers() {
  static Users users;
  return users;
}

// The option's number tells the type of its one argument (curl.h: CURLOPTTYPE_*). It is read
// as that type and passed on as that type, as the caller's varargs call passed it.
template <typename Handle, typename Code, typename Option>
Code ForwardOption(Code (*real)(Handle*, Option, ...), Handle* handle, Option option,
                   va_list values) {
  const long number = static_cast<long>(option);
  if (number < CURLOPTTYPE_OBJECTPOINT) return real(handle, option, va_arg(values, long));
  if (number < CURLOPTTYPE_FUNCTIONPOINT) return real(handle, option, va_arg(values, void*));
  if (number < CURLOPTTYPE_OFF_T) {
    using Callback = void (*)();
    return real(handle, option, va_arg(values, Callback));
  }
  if (number < CURLOPTTYPE_BLOB) return real(handle, option, va_arg(values, curl_off_t));
  return real(handle, option, va_arg(values, void*));  // struct curl_blob*
}

}  // namespace

void RequireLibcurl() {
  Libcurl().Require();
}

bool LibcurlUnloadsAfterUse() {
  return kUnloadable;
}

LibcurlUse::LibcurlUse() {
  Users& users = LibcurlUsers();
  std::lock_guard lock(users.mutex);
  if (users.count == 0) {
    Libcurl().Require();
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      throw LibraryUnavailable(KESSMAR_LIBCURL_SONAME, "it cannot be initialised");
    }
  }
  ++users.count;
}

LibcurlUse::~LibcurlUse() {
  Users& users = LibcurlUsers();
  std::lock_guard lock(users.mutex);
  if (--users.count > 0) return;
  // The last transfer is over: libcurl and the libraries it alone brought go, and the heap
  // its certificate store used goes back to the system. OpenSSL keeps itself loaded. libcurl
  // leaves no thread behind: it waits for its resolver threads unless CURLOPT_QUICK_EXIT is set.
  curl_global_cleanup();
  Libcurl().Unload();
  ReleaseFreeMemory();
}

}  // namespace kessmar::platform

// libcurl's own signatures end their named parameters with an enum, which va_start takes as it
// is in every compiler libcurl supports; clang warns about it all the same.
#if defined(__clang__)
#pragma clang diagnostic ignored "-Wvarargs"
#endif

using kessmar::platform::ForwardOption;
using kessmar::platform::LazyFunction;
using kessmar::platform::Libcurl;

namespace {

// va_end on every way out, also when the library cannot be loaded.
struct VaListEnd {
  va_list& values;
  ~VaListEnd() { va_end(values); }
};

}  // namespace

// curl_easy_setopt and curl_multi_setopt: a handle, an option, and one argument of the option's
// type, passed on by ForwardOption. The arguments are names and types: no parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KESSMAR_FORWARD_SETOPT(ret, name, handle_type, option_type)     \
  extern "C" ret(name)(handle_type * handle, option_type option, ...) { \
    va_list values;                                                     \
    va_start(values, option);                                           \
    const VaListEnd end{values};                                        \
    static LazyFunction<decltype(&(name))> real(Libcurl(), #name);      \
    return ForwardOption(real.Get(), handle, option, values);           \
  }

KESSMAR_FORWARD_SETOPT(CURLcode, curl_easy_setopt, CURL, CURLoption)
KESSMAR_FORWARD_SETOPT(CURLMcode, curl_multi_setopt, CURLM, CURLMoption)
// NOLINTEND(bugprone-macro-parentheses)

// Every CURLINFO takes one pointer to where the answer goes.
extern "C" CURLcode(curl_easy_getinfo)(CURL* curl, CURLINFO info, ...) {
  static LazyFunction<decltype(&curl_easy_getinfo)> real(Libcurl(), "curl_easy_getinfo");
  va_list values;
  va_start(values, info);
  void* answer = va_arg(values, void*);
  va_end(values);
  return real.Get()(curl, info, answer);
}

#define KESSMAR_LAZY_LIBRARY kessmar::platform::Libcurl
#include "platform/lazy/LibcurlFunctions.inc"
