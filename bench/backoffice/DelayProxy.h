// A TCP proxy on loopback that holds every byte for a fixed delay in each direction, so that a
// benchmark can measure a slow link (a VPN) where netem is not available: a delay of 10 ms each
// way is a round trip of 20 ms. It listens on 127.0.0.1 only and forwards to 127.0.0.1:port.
//
// Bounded: at most kMaxConnections connections at once (more are closed at once), and at most
// kMaxQueued bytes held per direction (reading waits until the queue drains).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace kessmar::bench {

class DelayProxy {
 public:
  static constexpr int kMaxConnections = 16;
  static constexpr size_t kMaxQueued = 16 * 1024 * 1024;

  // Listens on 127.0.0.1 (a port of the system's choice) and forwards to 127.0.0.1:targetPort,
  // delaying each direction by oneWay. Throws std::runtime_error when it cannot listen.
  DelayProxy(uint16_t targetPort, std::chrono::microseconds oneWay);
  DelayProxy(const DelayProxy&) = delete;
  DelayProxy& operator=(const DelayProxy&) = delete;
  // Closes every connection and waits for its threads.
  ~DelayProxy();

  uint16_t Port() const { return port_; }

 private:
  struct Link;
  void Accept();

  std::chrono::microseconds oneWay_;
  uint16_t targetPort_;
  uint16_t port_ = 0;
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::mutex mutex_;
  std::vector<std::unique_ptr<Link>> links_;
  std::thread acceptor_;
};

}  // namespace kessmar::bench
