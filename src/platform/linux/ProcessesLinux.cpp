#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "platform/FileDescriptor.h"
#include "platform/Processes.h"
#include "platform/linux/ArgumentVector.h"

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

extern char** environ;

namespace kessmar::platform {
namespace {

// Runs in the forked child, where only async-signal-safe calls are allowed: everything it needs
// was prepared before the fork.
[[noreturn]] void ExecGrandchild(const char* program, char* const* argv, const char* folder,
                                 int report) {
  if (folder != nullptr && ::chdir(folder) != 0) {
    const int error = errno;
    (void)!::write(report, &error, sizeof error);
    ::_exit(127);
  }
  // Handlers and masks of this process are no business of the new program.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults {};
  defaults.sa_handler = SIG_DFL;
  for (int s = 1; s < NSIG; ++s) {
    if (s != SIGKILL && s != SIGSTOP) sigaction(s, &defaults, nullptr);
  }
  // Every descriptor beyond the standard three closes at exec, the report pipe included.
  if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < 65536; ++fd) {
      if (fd != report) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
  }
  ::execve(program, argv, environ);
  const int error = errno;
  (void)!::write(report, &error, sizeof error);
  ::_exit(127);
}

}  // namespace

int64_t CurrentProcessId() {
  return static_cast<int64_t>(::getpid());
}

bool StartDetachedProcess(const std::filesystem::path& program,
                          const std::vector<std::string>& args,
                          const std::filesystem::path& workingFolder) {
  const std::string path = program.string();
  const std::string folder = workingFolder.string();
  ArgumentVector argv(path, args);

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return false;
  FileDescriptor readEnd(fds[0]);
  FileDescriptor writeEnd(fds[1]);

  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // A new session, then a second fork: the program is nobody's child but init's.
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    ExecGrandchild(path.c_str(), argv.Get(), folder.empty() ? nullptr : folder.c_str(),
                   writeEnd.get());
  }
  writeEnd.Reset();
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  // The pipe closes without data when exec succeeded.
  int error = 0;
  ssize_t got;
  while ((got = ::read(readEnd.get(), &error, sizeof error)) < 0 && errno == EINTR) {
  }
  return got == 0;
}

bool IsRunnableProgram(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), X_OK) == 0;
}

bool WaitForProcessEnd(int64_t pid, std::chrono::milliseconds timeout) {
  if (pid <= 0) return true;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const long pidfd = ::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0);
  if (pidfd >= 0) {
    FileDescriptor fd(static_cast<int>(pidfd));
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd.get(), POLLIN, 0};
      const int ready = ::poll(&p, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (ready > 0) return true;
      if (ready == 0) return false;
      if (errno != EINTR) break;  // fall back to asking
    }
  } else if (errno == ESRCH) {
    return true;
  }
  while (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace kessmar::platform
