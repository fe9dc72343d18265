#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/net/SocketWait.h"

namespace kessmar::platform {

SocketWaitResult WaitForSocket(int fd, bool forRead, bool forWrite,
                               std::chrono::steady_clock::time_point deadline) {
  if (fd < 0) return SocketWaitResult::kFailed;
  pollfd entry{};
  entry.fd = fd;
  entry.events = static_cast<short>((forRead ? POLLIN : 0) | (forWrite ? POLLOUT : 0));
  for (;;) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return SocketWaitResult::kTimedOut;
    const int n = ::poll(&entry, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
    if (n > 0) {
      if ((entry.revents & POLLNVAL) != 0) return SocketWaitResult::kFailed;
      return SocketWaitResult::kReady;
    }
    if (n < 0 && errno != EINTR) return SocketWaitResult::kFailed;
  }
}

}  // namespace kessmar::platform
