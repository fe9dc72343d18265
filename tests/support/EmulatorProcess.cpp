#include "support/EmulatorProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace kessmar::test {
namespace {

using Clock = std::chrono::steady_clock;

struct Pipe {
  platform::FileDescriptor read, write;
  Pipe() {
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read.Reset(ends[0]);
    write.Reset(ends[1]);
  }
};

// Starts the emulator with args. Its standard input is a pipe when stdinWrite is given (else
// /dev/null), its standard output a pipe, its standard error a pipe when stderrRead is given.
pid_t Spawn(const std::vector<std::string>& args, platform::FileDescriptor* stdinWrite,
            platform::FileDescriptor& stdoutRead, platform::FileDescriptor* stderrRead) {
  std::vector<std::string> all{SCANNER_EMULATOR_PATH};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);

  Pipe in, out, err;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdinWrite != nullptr) {
    posix_spawn_file_actions_adddup2(&actions, in.read.get(), STDIN_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, out.write.get(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err.write.get(), STDERR_FILENO);
  pid_t pid = -1;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error(std::string("posix_spawn: ") + std::strerror(rc));
  if (stdinWrite != nullptr) *stdinWrite = std::move(in.write);
  stdoutRead = std::move(out.read);
  if (stderrRead != nullptr) *stderrRead = std::move(err.read);
  return pid;
}

// Reads fd until end of file or until deadline; stops early once stopAt occurs in the text.
std::string ReadUntil(int fd, Clock::time_point deadline, const std::string& stopAt) {
  std::string text;
  while (Clock::now() < deadline) {
    pollfd entry{fd, POLLIN, 0};
    int left = static_cast<int>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
    if (::poll(&entry, 1, std::max(left, 1)) <= 0) continue;
    char buffer[512];
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (!stopAt.empty() && text.find(stopAt) != std::string::npos) break;
  }
  return text;
}

}  // namespace

EmulatorSandbox::EmulatorSandbox() {
  std::filesystem::create_directories(PortsDirectory());
  std::filesystem::create_directories(folder_.Path() / "sys");
  std::filesystem::create_directories(folder_.Path() / "dev");
  environment_.Set("KESSMAR_PORTS_DIR", PortsDirectory().string());
  environment_.Set("KESSMAR_SYSFS_ROOT", (folder_.Path() / "sys").string());
  environment_.Set("KESSMAR_DEV_ROOT", (folder_.Path() / "dev").string());
  environment_.Set("XDG_DATA_HOME", (folder_.Path() / "data").string());
}

std::string SendControlLine(const std::filesystem::path& socketPath, const std::string& line) {
  platform::FileDescriptor fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
  if (!fd || ::connect(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    return "";
  }
  std::string request = line + "\n";
  if (::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return "";
  }
  std::string answer = ReadUntil(fd.get(), Clock::now() + std::chrono::seconds(5), "\n");
  return answer.substr(0, answer.find('\n'));
}

EmulatorProcess::EmulatorProcess(const std::filesystem::path& portsDirectory,
                                 const std::vector<std::string>& args)
    : portsDirectory_(portsDirectory) {
  std::vector<std::string> all{"--ports-dir", portsDirectory.string()};
  all.insert(all.end(), args.begin(), args.end());
  pid_ = Spawn(all, &stdin_, stdout_, nullptr);
  std::string line = ReadUntil(stdout_.get(), Clock::now() + std::chrono::seconds(10), "\n");
  std::istringstream words(line);
  std::string ready, port;
  words >> ready >> port >> device_;
  if (ready != "READY" || port.rfind("COM", 0) != 0) {
    Kill();
    throw std::runtime_error("scanner-emulator did not get ready: " + line);
  }
  comNumber_ = std::stoi(port.substr(3));
}

EmulatorProcess::~EmulatorProcess() {
  if (pid_ > 0) Terminate();
}

std::string EmulatorProcess::Control(const std::string& line) const {
  return SendControlLine(portsDirectory_ / ("COM" + std::to_string(comNumber_) + ".ctl"), line);
}

void EmulatorProcess::WriteInput(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(stdin_.get(), text.data() + done, text.size() - done);
    if (n <= 0) throw std::runtime_error("writing to the emulator's input failed");
    done += static_cast<size_t>(n);
  }
}

void EmulatorProcess::CloseInput() {
  stdin_.Reset();
}

int EmulatorProcess::WaitForExit() {
  int status = 0;
  Clock::time_point deadline = Clock::now() + std::chrono::seconds(10);
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  return status;
}

int EmulatorProcess::Terminate() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGTERM);
  return WaitForExit();
}

int EmulatorProcess::Kill() {
  if (pid_ <= 0) return -1;
  ::kill(pid_, SIGKILL);
  return WaitForExit();
}

int EmulatorProcess::RunToEnd(const std::vector<std::string>& args, std::string& stderrText) {
  platform::FileDescriptor out, err;
  pid_t pid = Spawn(args, nullptr, out, &err);
  stderrText = ReadUntil(err.get(), Clock::now() + std::chrono::seconds(10), "");
  int status = 0;
  if (!WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; })) {
    ::kill(pid, SIGKILL);  // it should have ended by itself
    ::waitpid(pid, &status, 0);
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace kessmar::test
