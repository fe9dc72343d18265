// SHA-256 (FIPS 180-4) of a byte string, for identities that must not collide by accident.
#pragma once

#include <string>
#include <string_view>

namespace kessmar {

// The digest of data as 64 lower-case hexadecimal digits. Never throws (an allocation failure
// aside).
std::string Sha256Hex(std::string_view data);

}  // namespace kessmar
