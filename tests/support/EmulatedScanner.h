// The scanner emulator as a child process registered in a test's own ports directory, with a
// client for its control socket.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "support/ChildProcess.h"

namespace kessmar::testing {

class EmulatedScanner {
 public:
  // Starts the emulator with extra arguments and waits for its READY line.
  EmulatedScanner(const std::filesystem::path& portsDir, const std::vector<std::string>& args)
      : portsDir_(portsDir) {
    std::vector<std::string> all{"--ports-dir", portsDir.string()};
    all.insert(all.end(), args.begin(), args.end());
    process_ = std::make_unique<ChildProcess>(KESSMAR_EMULATOR_PATH, all);
    const auto line = process_->ReadLine(std::chrono::seconds(10));
    if (!line || line->rfind("READY ", 0) != 0) throw std::runtime_error("emulator did not start");
    std::istringstream words(*line);
    std::string ready;
    words >> ready >> com_ >> device_;
  }

  const std::string& com() const { return com_; }           // "COM3"
  int number() const { return std::stoi(com_.substr(3)); }  // 3
  ChildProcess& process() { return *process_; }

  // Sends one control command and returns the answer line ("" when there is none).
  std::string Control(const std::string& command) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = (portsDir_ / (com_ + ".ctl")).string();
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      const std::string line = command + "\n";
      if (write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size())) {
        timeval timeout{2, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        char buffer[256];
        ssize_t n;
        while (answer.find('\n') == std::string::npos &&
               (n = read(fd, buffer, sizeof buffer)) > 0) {
          answer.append(buffer, static_cast<size_t>(n));
        }
      }
    }
    close(fd);
    if (auto pos = answer.find('\n'); pos != std::string::npos) answer.resize(pos);
    return answer;
  }

  int StoredCount() {
    const std::string answer = Control("count");
    return answer.empty() ? -1 : std::atoi(answer.c_str());
  }

 private:
  std::filesystem::path portsDir_;
  std::unique_ptr<ChildProcess> process_;
  std::string com_;
  std::string device_;
};

}  // namespace kessmar::testing
