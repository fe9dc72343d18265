// A program started by a test: its standard output is read through a pipe, and it is killed
// when the object goes, so a failing test leaves nothing running.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kessmar::testing {

class ChildProcess {
 public:
  // Starts program with args; env entries are added to (or replace) the test's environment.
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& env = {}, bool keepStdin = false) {
    int out[2];
    int in[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(in, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork failed");
    if (pid_ == 0) {
      dup2(out[1], STDOUT_FILENO);
      if (keepStdin) {
        dup2(in[0], STDIN_FILENO);
      } else {
        int devnull = open("/dev/null", O_RDONLY);
        dup2(devnull, STDIN_FILENO);
      }
      for (const auto& [key, value] : env) setenv(key.c_str(), value.c_str(), 1);
      std::vector<char*> argv;
      argv.push_back(const_cast<char*>(program.c_str()));
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(program.c_str(), argv.data());
      _exit(127);
    }
    close(out[1]);
    close(in[0]);
    stdout_ = out[0];
    stdin_ = in[1];
    if (!keepStdin) {
      close(stdin_);
      stdin_ = -1;
    }
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    if (running()) {
      kill(pid_, SIGKILL);
      Wait(std::chrono::seconds(5));
    }
    if (stdout_ >= 0) close(stdout_);
    if (stdin_ >= 0) close(stdin_);
  }

  pid_t pid() const { return pid_; }

  bool running() {
    if (exitStatus_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      exitStatus_ = status;
      return false;
    }
    return true;
  }

  // The exit code when the program ended within timeout (-signal when a signal ended it).
  std::optional<int> Wait(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (running()) {
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (WIFEXITED(*exitStatus_)) return WEXITSTATUS(*exitStatus_);
    return -WTERMSIG(*exitStatus_);
  }

  void Signal(int sig) { kill(pid_, sig); }

  // Reads standard output until a full line arrives or timeout passes.
  std::optional<std::string> ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (auto pos = buffer_.find('\n'); pos != std::string::npos) {
        std::string line = buffer_.substr(0, pos);
        buffer_.erase(0, pos + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return std::nullopt;
      pollfd pfd{stdout_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      char chunk[4096];
      const ssize_t n = read(stdout_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, static_cast<size_t>(n));
    }
  }

  void WriteStdin(const std::string& text) {
    if (stdin_ >= 0) {
      const ssize_t n = write(stdin_, text.data(), text.size());
      (void)n;
    }
  }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  int stdin_ = -1;
  std::string buffer_;
  std::optional<int> exitStatus_;
};

// Waits until condition holds or timeout passes; returns whether it held.
template <typename Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace kessmar::testing
