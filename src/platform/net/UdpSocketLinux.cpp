#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <system_error>

#include "platform/net/SocketWait.h"
#include "platform/net/UdpSocket.h"

namespace kessmar::platform {
namespace {

sockaddr_in ToSockaddr(Ipv4Address address, uint16_t port) {
  sockaddr_in result{};
  result.sin_family = AF_INET;
  result.sin_port = htons(port);
  result.sin_addr.s_addr = htonl(address.value);
  return result;
}

[[noreturn]] void Fail(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

std::string Where(Ipv4Address address, uint16_t port) {
  return address.ToString() + ":" + std::to_string(port);
}

}  // namespace

UdpSocket::UdpSocket() : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0)) {
  if (!fd_) Fail("socket (UDP)");
}

void UdpSocket::EnableBroadcast() {
  const int on = 1;
  if (setsockopt(fd_.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) Fail("SO_BROADCAST");
}

void UdpSocket::EnableAddressReuse() {
  const int on = 1;
  if (setsockopt(fd_.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) Fail("SO_REUSEADDR");
}

void UdpSocket::Bind(Ipv4Address address, uint16_t port) {
  const sockaddr_in where = ToSockaddr(address, port);
  if (::bind(fd_.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
    Fail("bind " + Where(address, port));
  }
}

uint16_t UdpSocket::LocalPort() const {
  sockaddr_in where{};
  socklen_t size = sizeof where;
  if (getsockname(fd_.get(), reinterpret_cast<sockaddr*>(&where), &size) != 0) Fail("getsockname");
  return ntohs(where.sin_port);
}

void UdpSocket::SendTo(Ipv4Address address, uint16_t port, std::string_view data) {
  const sockaddr_in where = ToSockaddr(address, port);
  for (;;) {
    const ssize_t n = ::sendto(fd_.get(), data.data(), data.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&where), sizeof where);
    if (n >= 0) return;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      WaitForSocket(fd_.get(), false, true,
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
      continue;
    }
    Fail("sendto " + Where(address, port));
  }
}

std::optional<Datagram> UdpSocket::Receive(std::chrono::steady_clock::time_point deadline,
                                           size_t maxSize) {
  std::string buffer(maxSize, '\0');
  for (;;) {
    sockaddr_in from{};
    socklen_t size = sizeof from;
    const ssize_t n = ::recvfrom(fd_.get(), buffer.data(), buffer.size(), 0,
                                 reinterpret_cast<sockaddr*>(&from), &size);
    if (n >= 0) {
      buffer.resize(static_cast<size_t>(n));
      return Datagram{std::move(buffer), Ipv4Address{ntohl(from.sin_addr.s_addr)},
                      ntohs(from.sin_port)};
    }
    if (errno == EINTR) continue;
    // An earlier datagram that could not be delivered (ICMP) is reported here; skip it.
    if (errno == ECONNREFUSED || errno == EHOSTUNREACH || errno == ENETUNREACH) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) Fail("recvfrom");
    if (WaitForSocket(fd_.get(), true, false, deadline) != SocketWaitResult::kReady) {
      return std::nullopt;
    }
  }
}

}  // namespace kessmar::platform
