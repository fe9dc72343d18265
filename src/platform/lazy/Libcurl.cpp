// libcurl (and through it OpenSSL), loaded at the first internet transfer.
#include <curl/curl.h>

#include <cstdarg>

#include "platform/lazy/Forwarding.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

LazyLibrary& Libcurl() {
  // One per process: the forwarded C functions have no other way to reach it.
  static LazyLibrary library(KESSMAR_LIBCURL_SONAME, "KESSMAR_LIBCURL");
  return library;
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

}  // namespace kessmar::platform

using kessmar::platform::ForwardOption;
using kessmar::platform::Libcurl;

extern "C" CURLcode(curl_easy_setopt)(CURL* curl, CURLoption option, ...) {
  va_list values;
  va_start(values, option);
  // va_end also when the library cannot be loaded.
  struct End {
    va_list& values;
    ~End() { va_end(values); }
  } end{values};
  static const auto real =
      reinterpret_cast<decltype(&curl_easy_setopt)>(Libcurl().Function("curl_easy_setopt"));
  return ForwardOption(real, curl, option, values);
}

extern "C" CURLMcode(curl_multi_setopt)(CURLM* multi, CURLMoption option, ...) {
  va_list values;
  va_start(values, option);
  // va_end also when the library cannot be loaded.
  struct End {
    va_list& values;
    ~End() { va_end(values); }
  } end{values};
  static const auto real =
      reinterpret_cast<decltype(&curl_multi_setopt)>(Libcurl().Function("curl_multi_setopt"));
  return ForwardOption(real, multi, option, values);
}

// Every CURLINFO takes one pointer to where the answer goes.
extern "C" CURLcode(curl_easy_getinfo)(CURL* curl, CURLINFO info, ...) {
  static const auto real =
      reinterpret_cast<decltype(&curl_easy_getinfo)>(Libcurl().Function("curl_easy_getinfo"));
  va_list values;
  va_start(values, info);
  void* answer = va_arg(values, void*);
  va_end(values);
  return real(curl, info, answer);
}

#define KESSMAR_LAZY_LIBRARY kessmar::platform::Libcurl
#include "platform/lazy/LibcurlFunctions.inc"
