// The libraries of the back-office and update roads are loaded when a road is first taken.
// These load them at a road's entry, so that a missing library is that road's clear error
// while the rest of the tool works on.
#pragma once

#include <QLoggingCategory>
#include <functional>
#include <string>

namespace kessmar {

// Runs require: loading the library (one of platform/lazy/Libraries.h), or taking the road when a
// helper program loads it there. Returns "" when no library was missing; else logs under
// category why `road` cannot be taken, naming the library, and returns the library's name.
// Other errors pass to the caller.
std::string MissingRoadLibrary(const std::function<void()>& require,
                               const QLoggingCategory& category, const char* road);

// userText with its "%1" replaced by the library's name.
std::string MissingLibraryText(const char* userText, const std::string& library);

}  // namespace kessmar
