#include "csp2/SerialLink.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace kessmar::csp2 {
namespace {

constexpr size_t kChunkSize = 64 * 1024;

int MillisecondsUntil(Clock::time_point deadline) {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(left);
}

}  // namespace

SerialLink::SerialLink(const std::string& devicePath)
    : fd_(::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)),
      chunk_(kChunkSize) {
  if (!fd_) {
    throw std::runtime_error("Cannot open " + devicePath + ": " + std::strerror(errno));
  }
  termios settings{};
  if (::tcgetattr(fd_.get(), &settings) != 0) {
    throw std::runtime_error("Cannot read the settings of " + devicePath + ": " +
                             std::strerror(errno));
  }
  ::cfmakeraw(&settings);
  settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CRTSCTS | CSIZE);
  settings.c_cflag |= CS8 | CREAD | CLOCAL;
  settings.c_cc[VMIN] = 1;
  settings.c_cc[VTIME] = 0;
  ::cfsetispeed(&settings, B115200);
  ::cfsetospeed(&settings, B115200);
  if (::tcsetattr(fd_.get(), TCSANOW, &settings) != 0) {
    throw std::runtime_error("Cannot set raw mode on " + devicePath + ": " + std::strerror(errno));
  }
  // Like a COM port, the device belongs to one program while it is held.
  ::ioctl(fd_.get(), TIOCEXCL);
  ::tcflush(fd_.get(), TCIOFLUSH);
}

bool SerialLink::WaitFor(short events, Clock::time_point deadline) {
  if (gone_) return false;
  for (;;) {
    pollfd entry{fd_.get(), events, 0};
    int ready = ::poll(&entry, 1, MillisecondsUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) {
      gone_ = true;
      return false;
    }
    if (ready == 0) return false;
    if ((entry.revents & events) != 0) return true;
    // Hang-up or error without data: the device has gone away.
    gone_ = true;
    return false;
  }
}

SerialLink::ReadResult SerialLink::ReadAvailable() {
  ReadResult result = ReadResult::kNothing;
  for (;;) {
    ssize_t n = ::read(fd_.get(), chunk_.data(), chunk_.size());
    if (n > 0) {
      decoder_.Append(chunk_.data(), static_cast<size_t>(n));
      result = ReadResult::kData;
      if (static_cast<size_t>(n) < chunk_.size()) return result;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return result;
    // End of file or EIO: the other side hung up.
    gone_ = true;
    return result == ReadResult::kData ? result : ReadResult::kGone;
  }
}

bool SerialLink::WaitForInput(Clock::time_point deadline) {
  return WaitFor(POLLIN, deadline);
}

bool SerialLink::Send(const std::vector<uint8_t>& bytes, Clock::time_point deadline) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (gone_) return false;
    ssize_t n = ::write(fd_.get(), bytes.data() + done, bytes.size() - done);
    if (n > 0) {
      done += static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!WaitFor(POLLOUT, deadline)) return false;
      continue;
    }
    gone_ = true;
    return false;
  }
  return true;
}

}  // namespace kessmar::csp2
