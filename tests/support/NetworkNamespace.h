// A network namespace made by a test: its own interfaces, addresses and routes, invisible to the
// machine's real network. Servers started inside it listen on its addresses only; the test (or
// one thread of it) enters it so that getifaddrs and broadcasts see the test's interfaces only.
// Needs root (CAP_SYS_ADMIN); the constructor fails with the reason otherwise.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace kessmar::testing {

class NetworkNamespace {
 public:
  // Creates the namespace (held by a child process) with its loopback interface up. Throws
  // std::runtime_error with the reason.
  NetworkNamespace();
  NetworkNamespace(const NetworkNamespace&) = delete;
  NetworkNamespace& operator=(const NetworkNamespace&) = delete;
  // Ends the holder; the namespace goes when the last process inside it ends.
  ~NetworkNamespace();

  pid_t HolderPid() const { return holder_; }
  // The words that run a command inside: nsenter --net=/proc/<holder>/ns/net --
  std::vector<std::string> Prefix() const;
  // Runs argv inside; throws std::runtime_error with its output when it fails.
  void Run(const std::vector<std::string>& argv) const;

  // Connects a and b with a veth pair: interface nameA in a with addressA ("10.77.0.1/24"),
  // nameB in b with addressB, both up, with broadcast addresses.
  static void Link(const NetworkNamespace& a, const std::string& nameA, const std::string& addressA,
                   const NetworkNamespace& b, const std::string& nameB,
                   const std::string& addressB);

  // While an Entered lives, the thread that made it works inside the namespace (new sockets,
  // getifaddrs); it returns to where it was when the object goes.
  class Entered {
   public:
    explicit Entered(const NetworkNamespace& space);
    Entered(const Entered&) = delete;
    Entered& operator=(const Entered&) = delete;
    ~Entered();

   private:
    int original_ = -1;
  };

 private:
  pid_t holder_ = -1;
  int release_ = -1;  // closing it ends the holder
};

}  // namespace kessmar::testing
