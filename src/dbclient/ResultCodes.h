// Result codes of connection requests, as the transports report them.
#pragma once

namespace kessmar::dbclient {

inline constexpr int kResultOk = 0;
// No server could be found or reached.
inline constexpr int kServerNotFound = 8712;

}  // namespace kessmar::dbclient
