#include "backoffice/DelayProxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <deque>
#include <stdexcept>
#include <string>

namespace kessmar::bench {
namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in Loopback(uint16_t port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

void NoDelay(int fd) {
  const int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
}

// One direction: bytes read from `from` are written to `to` oneWay later.
class Pipe {
 public:
  Pipe(int from, int to, std::chrono::microseconds oneWay) : from_(from), to_(to), oneWay_(oneWay) {
    reader_ = std::thread([this] { Read(); });
    writer_ = std::thread([this] { Write(); });
  }
  ~Pipe() {
    {
      std::lock_guard lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    shutdown(from_, SHUT_RDWR);
    shutdown(to_, SHUT_RDWR);
    reader_.join();
    writer_.join();
  }

 private:
  struct Chunk {
    Clock::time_point due;
    std::string bytes;
  };

  void Read() {
    char buffer[65536];
    for (;;) {
      const ssize_t got = recv(from_, buffer, sizeof buffer, 0);
      std::unique_lock lock(mutex_);
      if (got <= 0 || stop_) {
        ended_ = true;
        changed_.notify_all();
        return;
      }
      changed_.wait(lock, [this] { return stop_ || queued_ < DelayProxy::kMaxQueued; });
      queued_ += static_cast<size_t>(got);
      chunks_.push_back({Clock::now() + oneWay_, std::string(buffer, static_cast<size_t>(got))});
      changed_.notify_all();
    }
  }

  void Write() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return stop_ || ended_ || !chunks_.empty(); });
      if (stop_) return;
      if (chunks_.empty()) {  // the other side closed and everything went out
        shutdown(to_, SHUT_WR);
        return;
      }
      const Clock::time_point due = chunks_.front().due;
      if (changed_.wait_until(lock, due, [this] { return stop_; })) return;
      Chunk chunk = std::move(chunks_.front());
      chunks_.pop_front();
      queued_ -= chunk.bytes.size();
      changed_.notify_all();
      lock.unlock();
      size_t sent = 0;
      while (sent < chunk.bytes.size()) {
        const ssize_t n =
            send(to_, chunk.bytes.data() + sent, chunk.bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
          shutdown(from_, SHUT_RDWR);
          return;
        }
        sent += static_cast<size_t>(n);
      }
      lock.lock();
    }
  }

  int from_;
  int to_;
  std::chrono::microseconds oneWay_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> chunks_;
  size_t queued_ = 0;
  bool ended_ = false;
  bool stop_ = false;
  std::thread reader_;
  std::thread writer_;
};

}  // namespace

struct DelayProxy::Link {
  Link(int client, int server, std::chrono::microseconds oneWay) : client(client), server(server) {
    up = std::make_unique<Pipe>(client, server, oneWay);
    down = std::make_unique<Pipe>(server, client, oneWay);
  }
  ~Link() {
    up.reset();
    down.reset();
    close(client);
    close(server);
  }
  int client;
  int server;
  std::unique_ptr<Pipe> up;
  std::unique_ptr<Pipe> down;
};

DelayProxy::DelayProxy(uint16_t targetPort, std::chrono::microseconds oneWay)
    : oneWay_(oneWay), targetPort_(targetPort) {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) throw std::runtime_error("delay proxy: no socket");
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, kMaxConnections) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener_);
    throw std::runtime_error(std::string("delay proxy: cannot listen: ") + std::strerror(errno));
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

DelayProxy::~DelayProxy() {
  stopping_ = true;
  shutdown(listener_, SHUT_RDWR);
  acceptor_.join();
  close(listener_);
  std::lock_guard lock(mutex_);
  links_.clear();
}

void DelayProxy::Accept() {
  while (!stopping_) {
    pollfd wait{listener_, POLLIN, 0};
    if (poll(&wait, 1, 50) <= 0) continue;
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    std::lock_guard lock(mutex_);
    if (stopping_ || static_cast<int>(links_.size()) >= kMaxConnections) {
      close(client);
      continue;
    }
    const int server = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in target = Loopback(targetPort_);
    if (server < 0 ||
        connect(server, reinterpret_cast<const sockaddr*>(&target), sizeof target) != 0) {
      if (server >= 0) close(server);
      close(client);
      continue;
    }
    NoDelay(client);
    NoDelay(server);
    links_.push_back(std::make_unique<Link>(client, server, oneWay_));
  }
}

}  // namespace kessmar::bench
