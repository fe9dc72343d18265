// Waiting until a socket can be read or written, up to a deadline.
#pragma once

#include <chrono>

namespace kessmar::platform {

enum class SocketWaitResult { kReady, kTimedOut, kFailed };

// Waits until fd is readable (forRead) or writable (forWrite), or either when both are asked,
// or until deadline passes. kFailed when the descriptor is invalid or the wait itself fails;
// an error or hang-up on the socket counts as kReady (the next read or write reports it).
// Interrupted waits are resumed. Never throws.
SocketWaitResult WaitForSocket(int fd, bool forRead, bool forWrite,
                               std::chrono::steady_clock::time_point deadline);

}  // namespace kessmar::platform
