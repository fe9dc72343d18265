#include "support/NetworkNamespace.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/BackOfficeServer.h"

namespace kessmar::testing {

NetworkNamespace::NetworkNamespace() {
  int ready[2];
  int release[2];
  if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe: " + std::string(strerror(errno)));
  }
  holder_ = fork();
  if (holder_ < 0) throw std::runtime_error("fork: " + std::string(strerror(errno)));
  if (holder_ == 0) {
    close(ready[0]);
    close(release[1]);
    const char status = unshare(CLONE_NEWNET) == 0 ? 'y' : 'n';
    const int error = errno;
    (void)!write(ready[1], &status, 1);
    if (status != 'y') {
      (void)!write(ready[1], &error, sizeof error);
      _exit(1);
    }
    char byte;
    while (read(release[0], &byte, 1) < 0 && errno == EINTR) {
    }
    _exit(0);
  }
  close(ready[1]);
  close(release[0]);
  release_ = release[1];
  char status = 'n';
  int error = 0;
  const bool got = read(ready[0], &status, 1) == 1;
  if (got && status != 'y') (void)!read(ready[0], &error, sizeof error);
  close(ready[0]);
  if (!got || status != 'y') {
    waitpid(holder_, nullptr, 0);
    holder_ = -1;
    close(release_);
    throw std::runtime_error("cannot create a network namespace (unshare CLONE_NEWNET): " +
                             std::string(strerror(error)) +
                             "; the tests that need one must run as root");
  }
  Run({"ip", "link", "set", "lo", "up"});
}

NetworkNamespace::~NetworkNamespace() {
  if (release_ >= 0) close(release_);
  if (holder_ > 0) {
    kill(holder_, SIGKILL);
    waitpid(holder_, nullptr, 0);
  }
}

std::vector<std::string> NetworkNamespace::Prefix() const {
  return {"nsenter", "--net=/proc/" + std::to_string(holder_) + "/ns/net", "--"};
}

void NetworkNamespace::Run(const std::vector<std::string>& argv) const {
  std::vector<std::string> full = Prefix();
  full.insert(full.end(), argv.begin(), argv.end());
  const auto [code, output] = RunCommand(full);
  if (code != 0) {
    std::string command;
    for (const auto& word : argv) command += (command.empty() ? "" : " ") + word;
    throw std::runtime_error("in a test network namespace, \"" + command + "\" failed (exit " +
                             std::to_string(code) + "): " + output);
  }
}

void NetworkNamespace::Link(const NetworkNamespace& a, const std::string& nameA,
                            const std::string& addressA, const NetworkNamespace& b,
                            const std::string& nameB, const std::string& addressB) {
  a.Run({"ip", "link", "add", nameA, "type", "veth", "peer", "name", nameB, "netns",
         std::to_string(b.HolderPid())});
  a.Run({"ip", "addr", "add", addressA, "brd", "+", "dev", nameA});
  a.Run({"ip", "link", "set", nameA, "up"});
  b.Run({"ip", "addr", "add", addressB, "brd", "+", "dev", nameB});
  b.Run({"ip", "link", "set", nameB, "up"});
}

NetworkNamespace::Entered::Entered(const NetworkNamespace& space) {
  original_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  const std::string path = "/proc/" + std::to_string(space.HolderPid()) + "/ns/net";
  const int target = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (original_ < 0 || target < 0 || setns(target, CLONE_NEWNET) != 0) {
    const std::string why = strerror(errno);
    if (target >= 0) close(target);
    if (original_ >= 0) close(original_);
    throw std::runtime_error("cannot enter the test network namespace " + path + ": " + why);
  }
  close(target);
}

NetworkNamespace::Entered::~Entered() {
  if (original_ >= 0) {
    setns(original_, CLONE_NEWNET);
    close(original_);
  }
}

}  // namespace kessmar::testing
