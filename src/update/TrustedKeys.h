// The supplier's public keys the program was built with (the build option KESSMAR_UPDATE_KEYS;
// the package's are in packaging/kessmar-update-keys.pem).
#pragma once

#include "update/UpdateSignature.h"

namespace kessmar {

// The built-in keys. Only a build with KESSMAR_UPDATE_TEST_KEYS on (a test build, never the
// package) adds the keys of the PEM file that the environment variable of the same name names.
// Throws std::runtime_error when a key file cannot be read.
UpdateKeys TrustedUpdateKeys();

}  // namespace kessmar
