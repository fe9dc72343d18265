#include "scanner-emulator/Emulator.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <vector>

#include "platform/FileDescriptor.h"
#include "platform/serial/PortsDirectory.h"
#include "platform/serial/SerialPorts.h"
#include "scanner-emulator/ControlCommands.h"
#include "scanner-emulator/LineBuffer.h"
#include "scanner-emulator/PseudoTerminal.h"
#include "scanner-emulator/ScanStore.h"
#include "scanner-emulator/ScannerResponder.h"

namespace kessmar::emulator {
namespace {

using platform::FileDescriptor;
using SteadyClock = std::chrono::steady_clock;

constexpr size_t kReadChunk = 64 * 1024;
// Replies are written in pieces so that the host sees the first bytes while the rest follow.
constexpr size_t kWriteChunk = 16384;
constexpr size_t kMaxControlClients = 16;
// How long to leave the master alone after it reported a hang-up (no host has the port open).
constexpr auto kHangupPause = std::chrono::milliseconds(100);

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Removes the port's entry from the ports directory when the emulator ends normally.
class Registration {
 public:
  Registration(platform::PortsDirectory directory, int number)
      : directory_(std::move(directory)), number_(number) {}
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  ~Registration() { directory_.Unregister(number_, ::getpid()); }

  int Number() const { return number_; }

 private:
  platform::PortsDirectory directory_;
  int number_;
};

FileDescriptor BlockTerminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&set, signal);
  if (::sigprocmask(SIG_BLOCK, &set, nullptr) != 0) Fail("Cannot block signals");
  FileDescriptor fd(::signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK));
  if (!fd) Fail("Cannot create a signal descriptor");
  // Writing to a control client that went away must not end the emulator, and neither must
  // reading standard input while running in the background of a terminal.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGTTIN, SIG_IGN);
  ::signal(SIGTTOU, SIG_IGN);
  return fd;
}

FileDescriptor ListenOn(const std::filesystem::path& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.native().size() >= sizeof address.sun_path) {
    throw std::runtime_error("Control socket path too long: " + path.string());
  }
  std::memcpy(address.sun_path, path.c_str(), path.native().size() + 1);
  FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd) Fail("Cannot create the control socket");
  ::unlink(path.c_str());
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    Fail("Cannot bind the control socket " + path.string());
  }
  if (::listen(fd.get(), 8) != 0) Fail("Cannot listen on " + path.string());
  return fd;
}

struct ControlClient {
  FileDescriptor fd;
  LineBuffer input;
  std::string output;
  bool closing = false;  // close once output is sent
};

class EmulatorLoop {
 public:
  EmulatorLoop(ScanStore& store, ScannerResponder& responder, int masterFd, int signalFd,
               int listenFd, int lineRate)
      : store_(store),
        responder_(responder),
        masterFd_(masterFd),
        signalFd_(signalFd),
        listenFd_(listenFd),
        lineRate_(lineRate),
        chunk_(kReadChunk) {}

  void Run() {
    while (!stop_) {
      std::vector<pollfd> fds;
      bool masterPaused = SteadyClock::now() < masterPausedUntil_;
      bool pending = masterOut_.size() > masterOutStart_;
      // On a slowed line, output waits for its share of time rather than for the device.
      bool lineBusy = pending && LineAllowance() == 0;
      short masterEvents =
          static_cast<short>((masterPaused ? 0 : POLLIN) | (pending && !lineBusy ? POLLOUT : 0));
      fds.push_back({signalFd_, POLLIN, 0});
      fds.push_back({masterEvents != 0 ? masterFd_ : -1, masterEvents, 0});
      fds.push_back({stdinOpen_ ? STDIN_FILENO : -1, POLLIN, 0});
      fds.push_back({listenFd_, POLLIN, 0});
      for (const auto& client : clients_) {
        short events = static_cast<short>((client.closing ? 0 : POLLIN) |
                                          (client.output.empty() ? 0 : POLLOUT));
        fds.push_back({client.fd.get(), events, 0});
      }
      int timeout = lineBusy ? 5 : -1;
      if (masterPaused) {
        timeout = static_cast<int>(
            std::chrono::ceil<std::chrono::milliseconds>(masterPausedUntil_ - SteadyClock::now())
                .count());
      }
      int ready = ::poll(fds.data(), fds.size(), timeout);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) Fail("poll failed");
      if (fds[0].revents != 0) HandleSignal();
      if (fds[1].revents != 0 || (pending && !lineBusy)) HandleMaster(fds[1].revents);
      if (fds[2].revents != 0) HandleStdin();
      for (size_t i = 0; i < clients_.size(); ++i) {
        if (fds[4 + i].revents != 0) HandleClient(clients_[i], fds[4 + i].revents);
      }
      std::erase_if(clients_, [](const ControlClient& c) { return !c.fd; });
      if (fds[3].revents != 0) Accept();
    }
  }

 private:
  void HandleSignal() {
    signalfd_siginfo info{};
    while (::read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
      stop_ = true;
    }
  }

  void HandleMaster(short revents) {
    if ((revents & POLLIN) != 0) {
      ssize_t n = ::read(masterFd_, chunk_.data(), chunk_.size());
      if (n > 0) {
        std::vector<uint8_t> replies;
        if (responder_.Receive(chunk_.data(), static_cast<size_t>(n), replies)) {
          // A host that asks again has given up on what is still unsent.
          masterOut_.erase(masterOut_.begin() + static_cast<std::ptrdiff_t>(masterOutStart_),
                           masterOut_.end());
        }
        masterOut_.insert(masterOut_.end(), replies.begin(), replies.end());
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        // EIO: no host holds the port. Try again later, without spinning.
        masterPausedUntil_ = SteadyClock::now() + kHangupPause;
      }
    } else if ((revents & (POLLHUP | POLLERR)) != 0) {
      masterPausedUntil_ = SteadyClock::now() + kHangupPause;
    }
    // Replies go out at once; what does not fit waits for POLLOUT.
    FlushMaster();
    if (masterOutStart_ == masterOut_.size()) {
      masterOut_.clear();
      masterOutStart_ = 0;
    }
  }

  // Bytes the line may carry now: unlimited without a line rate; otherwise what the rate has
  // earned since the last write, at most a tenth of a second's worth.
  size_t LineAllowance() {
    if (lineRate_ <= 0) return SIZE_MAX;
    const auto now = SteadyClock::now();
    const double seconds = std::chrono::duration<double>(now - lineCheckedAt_).count();
    lineCheckedAt_ = now;
    lineBudget_ = std::min(lineBudget_ + seconds * lineRate_, lineRate_ / 10.0 + 1);
    return static_cast<size_t>(lineBudget_);
  }

  void FlushMaster() {
    while (masterOutStart_ < masterOut_.size()) {
      const size_t allowed = std::min(LineAllowance(), kWriteChunk);
      if (allowed == 0) return;
      ssize_t n = ::write(masterFd_, masterOut_.data() + masterOutStart_,
                          std::min(masterOut_.size() - masterOutStart_, allowed));
      if (n > 0) {
        masterOutStart_ += static_cast<size_t>(n);
        if (lineRate_ > 0) lineBudget_ -= static_cast<double>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EAGAIN) return;
      masterOutStart_ = masterOut_.size();  // nobody to send to: drop it
    }
  }

  void AddFromStdin(const std::string& line) {
    if (line.empty()) return;
    try {
      store_.AddNow(line);
    } catch (const std::exception& e) {
      std::fprintf(stderr, "scanner-emulator: standard input: %s: %s\n", line.c_str(), e.what());
    }
  }

  void HandleStdin() {
    char buffer[4096];
    ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) return;
    if (n > 0) {
      stdinLines_.Append(buffer, static_cast<size_t>(n));
      while (auto line = stdinLines_.Next()) AddFromStdin(*line);
      if (stdinLines_.Overlong()) {
        std::fprintf(stderr, "scanner-emulator: standard input: line too long, dropped\n");
        stdinLines_.Rest();
      }
      return;
    }
    // End of input (or no terminal to read from): the emulator goes on without it.
    if (auto rest = stdinLines_.Rest()) AddFromStdin(*rest);
    stdinOpen_ = false;
  }

  void Accept() {
    for (;;) {
      FileDescriptor fd(::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
      if (!fd) return;
      if (clients_.size() >= kMaxControlClients) continue;  // refused: closed at once
      clients_.push_back(ControlClient{std::move(fd), {}, {}, false});
    }
  }

  void HandleClient(ControlClient& client, short revents) {
    if ((revents & POLLIN) != 0) {
      char buffer[4096];
      ssize_t n = ::recv(client.fd.get(), buffer, sizeof buffer, 0);
      if (n > 0) {
        client.input.Append(buffer, static_cast<size_t>(n));
        while (auto line = client.input.Next()) {
          ControlResult result = ExecuteControlLine(*line, store_, responder_);
          client.output += result.answer + "\n";
          if (result.quit) stop_ = true;
        }
        if (client.input.Overlong()) {
          client.output += "error: line too long\n";
          client.closing = true;
        }
      } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
        client.closing = true;
      }
    }
    if ((revents & (POLLERR | POLLHUP)) != 0 && (revents & POLLIN) == 0) {
      client.fd.Reset();
      return;
    }
    while (!client.output.empty()) {
      ssize_t n = ::send(client.fd.get(), client.output.data(), client.output.size(), MSG_NOSIGNAL);
      if (n > 0) {
        client.output.erase(0, static_cast<size_t>(n));
        continue;
      }
      if (n < 0 && (errno == EAGAIN || errno == EINTR)) break;
      client.fd.Reset();
      return;
    }
    if (client.closing && client.output.empty()) client.fd.Reset();
  }

  ScanStore& store_;
  ScannerResponder& responder_;
  int masterFd_;
  int signalFd_;
  int listenFd_;
  int lineRate_;  // bytes per second towards the host; 0: as fast as the terminal takes them
  double lineBudget_ = 0;
  SteadyClock::time_point lineCheckedAt_ = SteadyClock::now();
  std::vector<uint8_t> chunk_;
  std::vector<uint8_t> masterOut_;
  size_t masterOutStart_ = 0;
  SteadyClock::time_point masterPausedUntil_{};
  bool stdinOpen_ = true;
  LineBuffer stdinLines_;
  std::vector<ControlClient> clients_;
  bool stop_ = false;
};

// Numbers held or kept by serial hardware, which the emulator must not take.
std::set<int> HardwareNumbers(const std::filesystem::path& portsDirectory) {
  platform::SerialPortsEnvironment environment = platform::SerialPortsEnvironment::FromProcess();
  environment.portsDirectory = portsDirectory;
  return platform::ReservedComNumbers(environment);
}

}  // namespace

int RunEmulator(const EmulatorOptions& options) {
  FileDescriptor signals = BlockTerminationSignals();
  ScanStore store;
  for (const auto& code : options.scans) store.AddNow(code);
  ScannerResponder responder(store, options.deviceId);
  responder.SetMisbehaviour(options.misbehaviour);

  PseudoTerminal terminal;
  platform::PortsDirectory directory(
      options.portsDirectory.empty() ? platform::DefaultPortsDirectory() : options.portsDirectory);
  int number = directory.Register(terminal.SlavePath(), options.friendlyName, ::getpid(),
                                  options.comNumber, HardwareNumbers(directory.Path()));
  Registration registration(directory, number);
  FileDescriptor control = ListenOn(directory.FileOf(number, ".ctl"));

  std::printf("READY COM%d %s\n", number, terminal.SlavePath().c_str());
  std::fflush(stdout);

  EmulatorLoop loop(store, responder, terminal.MasterFd(), signals.get(), control.get(),
                    options.lineRate);
  loop.Run();
  return 0;
}

}  // namespace kessmar::emulator
