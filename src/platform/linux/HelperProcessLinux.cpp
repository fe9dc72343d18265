#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "platform/FileDescriptor.h"
#include "platform/HelperProcess.h"
#include "platform/Processes.h"
#include "platform/linux/ArgumentVector.h"

extern char** environ;

namespace kessmar::platform {
namespace {

int MillisecondsUntil(std::chrono::steady_clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1'000'000));
}

// Waits up to ms for events on fd; false on time-out.
bool PollFor(int fd, short events, int ms) {
  pollfd entry{fd, events, 0};
  int ready;
  while ((ready = ::poll(&entry, 1, ms)) < 0 && errno == EINTR) {
  }
  return ready > 0;
}

}  // namespace

struct HelperProcess::State {
  pid_t pid = -1;
  bool reaped = false;
  int exitCode = 0;
  FileDescriptor channel;  // a socket: a helper that went away cannot raise SIGPIPE here

  void Reaped(int status) {
    reaped = true;
    exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

HelperProcess::HelperProcess(const std::filesystem::path& program,
                             const std::vector<std::string>& args)
    : state_(std::make_unique<State>()) {
  const std::string path = program.string();
  if (!IsRunnableProgram(program)) {
    throw HelperProcessError("The helper " + path + " is not a program this user can run");
  }
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    throw HelperProcessError("No channel to the helper " + path + ": " + std::strerror(errno));
  }
  state_->channel.Reset(ends[0]);
  FileDescriptor theirs(ends[1]);

  ArgumentVector argv(path, args);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_adddup2(&actions, theirs.get(), 0);
  posix_spawn_file_actions_adddup2(&actions, theirs.get(), 1);
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  // Handlers and masks of this process are no business of the helper.
  sigset_t none;
  sigset_t all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  pid_t pid = -1;
  const int error = ::posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.Get(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    throw HelperProcessError("The helper " + path + " cannot be started: " + std::strerror(error));
  }
  state_->pid = pid;
  ::fcntl(state_->channel.get(), F_SETFL, O_NONBLOCK);
}

HelperProcess::~HelperProcess() {
  Kill();
}

bool HelperProcess::Send(std::string_view data, std::chrono::steady_clock::time_point deadline) {
  const int fd = state_->channel.get();
  while (!data.empty()) {
    const ssize_t sent = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0) {
      data.remove_prefix(static_cast<size_t>(sent));
    } else if (sent < 0 && errno == EINTR) {
      continue;
    } else if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!PollFor(fd, POLLOUT, MillisecondsUntil(deadline))) return false;
    } else {
      return false;
    }
  }
  return ::shutdown(fd, SHUT_WR) == 0;
}

HelperProcess::Output HelperProcess::Receive(std::string& to, size_t maxBytes,
                                             std::chrono::milliseconds maxWait) {
  const int fd = state_->channel.get();
  if (maxBytes == 0) return Output::kNothingYet;
  char block[16 * 1024];
  bool waited = false;
  for (;;) {
    const ssize_t got = ::recv(fd, block, std::min(sizeof block, maxBytes), MSG_DONTWAIT);
    if (got > 0) {
      to.append(block, static_cast<size_t>(got));
      return Output::kData;
    }
    if (got == 0) return Output::kEnd;
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return Output::kEnd;
    if (waited || !PollFor(fd, POLLIN, static_cast<int>(maxWait.count()))) {
      return Output::kNothingYet;
    }
    waited = true;
  }
}

std::optional<int> HelperProcess::Wait(std::chrono::milliseconds maxWait) {
  if (state_->reaped) return state_->exitCode;
  const auto deadline = std::chrono::steady_clock::now() + maxWait;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(state_->pid, &status, WNOHANG);
    if (done == state_->pid) {
      state_->Reaped(status);
      return state_->exitCode;
    }
    if (done < 0 && errno != EINTR) {
      state_->reaped = true;  // not ours to wait for any more
      state_->exitCode = -1;
      return state_->exitCode;
    }
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void HelperProcess::Kill() {
  if (!state_ || state_->pid <= 0 || state_->reaped) return;
  // The helper leads its own group: whatever it started goes with it.
  ::kill(-state_->pid, SIGKILL);
  ::kill(state_->pid, SIGKILL);
  int status = 0;
  pid_t done;
  while ((done = ::waitpid(state_->pid, &status, 0)) < 0 && errno == EINTR) {
  }
  state_->Reaped(done == state_->pid ? status : 0);
  state_->exitCode = -1;
}

}  // namespace kessmar::platform
