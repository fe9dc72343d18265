#include "backoffice-server/Processes.h"

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace kessmar::backoffice_server {
namespace {

std::vector<char*> ArgvOf(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  return argv;
}

std::string Describe(const std::vector<std::string>& argv) {
  std::string text;
  for (const auto& a : argv) text += (text.empty() ? "" : " ") + a;
  return text;
}

}  // namespace

ProgramResult RunProgram(const std::vector<std::string>& argv,
                         const std::optional<std::string>& asUser) {
  std::vector<std::string> full;
  if (asUser) full = {"runuser", "-u", *asUser, "--"};
  full.insert(full.end(), argv.begin(), argv.end());
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe: " + std::string(strerror(errno)));
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork: " + std::string(strerror(errno)));
  if (pid == 0) {
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    dup2(out[1], STDERR_FILENO);
    auto args = ArgvOf(full);
    execvp(args[0], args.data());
    const std::string why = "cannot run " + full[0] + ": " + strerror(errno) + "\n";
    (void)!write(STDERR_FILENO, why.data(), why.size());
    _exit(127);
  }
  close(out[1]);
  ProgramResult result;
  char buffer[4096];
  for (;;) {
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n > 0) {
      result.output.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  close(out[0]);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  if (result.exitCode == 127 && result.output.rfind("cannot run", 0) == 0) {
    throw std::runtime_error(result.output.substr(0, result.output.size() - 1) + " (" +
                             Describe(full) + ")");
  }
  return result;
}

void StartDetached(const std::vector<std::string>& argv, const std::string& logFile) {
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork: " + std::string(strerror(errno)));
  if (pid == 0) {
    setsid();
    if (fork() != 0) _exit(0);
    const int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, STDIN_FILENO);
    const int log = open(logFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    auto args = ArgvOf(argv);
    execv(args[0], args.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

std::string CurrentUserName() {
  if (const passwd* entry = getpwuid(getuid()); entry != nullptr) return entry->pw_name;
  throw std::runtime_error("the account of user id " + std::to_string(getuid()) + " has no name");
}

bool RunningAsRoot() {
  return geteuid() == 0;
}

Account LookUpAccount(const std::string& name) {
  const passwd* entry = getpwnam(name.c_str());
  if (entry == nullptr) throw std::runtime_error("there is no account named \"" + name + "\"");
  return {entry->pw_uid, entry->pw_gid};
}

void GiveTo(const std::string& path, const Account& account) {
  if (chown(path.c_str(), account.uid, account.gid) != 0) {
    throw std::runtime_error("cannot give " + path + " to its server account: " + strerror(errno));
  }
}

bool ProcessRuns(pid_t pid) {
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

void Terminate(pid_t pid) {
  if (!ProcessRuns(pid)) return;
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (ProcessRuns(pid) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string SelfPath() {
  char buffer[4096];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) throw std::runtime_error("cannot find the path of this program");
  return std::string(buffer, static_cast<size_t>(n));
}

}  // namespace kessmar::backoffice_server
