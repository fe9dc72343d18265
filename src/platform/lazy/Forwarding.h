// The pattern of the lazy bindings: one line per library function,
//   KESSMAR_FORWARD(return type, name, (parameters), (arguments))
// defines the function under the library's own name (checked by the compiler against the
// library's header), loads the library on the first call and calls its function. The address
// is looked up once per load; a call while the library cannot be loaded throws
// LibraryUnavailable.
// Each binding defines KESSMAR_LAZY_LIBRARY() as the LazyLibrary it forwards to.
#pragma once

#include "platform/lazy/LazyLibrary.h"

// The arguments are a type, a name and two parenthesised lists: they cannot take parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define KESSMAR_FORWARD(ret, name, params, args)                                                   \
  extern "C" ret(name) params {                                                                    \
    static kessmar::platform::LazyFunction<decltype(&(name))> real(KESSMAR_LAZY_LIBRARY(), #name); \
    return real.Get() args;                                                                        \
  }
// NOLINTEND(bugprone-macro-parentheses)
