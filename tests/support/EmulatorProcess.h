// Test helpers: a scratch folder, and the scanner-emulator program run as a child process.
// On Linux the emulator is a child of the test (EmulatorProcess.cpp). Under Wine the test starts
// the Linux emulator as a Unix process, maps its pseudo-terminal into the prefix as its COM port
// and registers that port in the Ports class, as Windows lists a real one
// (EmulatorProcessWin32.cpp).
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

#ifdef _WIN32
#include <memory>
#else
#include "platform/FileDescriptor.h"
#endif

namespace kessmar::test {

using ScratchFolder = ::kessmar::testing::TempDir;

// Scratch folders for discovery, named in this process's environment (and so inherited by the
// emulators it starts) for the life of the object: KESSMAR_PORTS_DIR, an empty fake sysfs
// (KESSMAR_SYSFS_ROOT), an empty /dev (KESSMAR_DEV_ROOT) and XDG_DATA_HOME. The machine's own
// serial ports therefore never show up in a test. On Windows only the ports folder is used (the
// emulators' own files); ports are listed by SetupAPI.
class EmulatorSandbox {
 public:
  EmulatorSandbox();
  EmulatorSandbox(const EmulatorSandbox&) = delete;
  EmulatorSandbox& operator=(const EmulatorSandbox&) = delete;
  std::filesystem::path PortsDirectory() const { return folder_.Path() / "ports"; }

 private:
  ScratchFolder folder_;
  ::kessmar::testing::ScopedEnvironment environment_;
};

// Polls condition every few milliseconds for at most timeoutMs; returns its last value.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

#ifndef _WIN32
// One line sent to the control socket at path, and the answer without its line end ("" when
// the socket cannot be reached).
std::string SendControlLine(const std::filesystem::path& socketPath, const std::string& line);
#endif

class EmulatorProcess {
 public:
  // Starts scanner-emulator with --ports-dir portsDirectory and args, its standard input a pipe,
  // and waits for its READY line. Throws std::runtime_error when it does not get ready. On
  // Windows the port is then also \\.\COMn of the Wine prefix and a Ports-class device named
  // as --name says; outside Wine it throws, as the Linux emulator cannot run.
  EmulatorProcess(const std::filesystem::path& portsDirectory,
                  const std::vector<std::string>& args = {});
  // Ends the emulator (SIGTERM, then SIGKILL if it lingers) unless that happened already.
  ~EmulatorProcess();
  EmulatorProcess(const EmulatorProcess&) = delete;
  EmulatorProcess& operator=(const EmulatorProcess&) = delete;

  int ComNumber() const { return comNumber_; }
  const std::string& Device() const { return device_; }
  pid_t Pid() const { return pid_; }

  // One control command and its answer.
  std::string Control(const std::string& line) const;
  // Writes text to the emulator's standard input.
  void WriteInput(const std::string& text);
  void CloseInput();

  // SIGTERM and the exit status (as from waitpid); SIGKILL and the status. On Windows the
  // status is not known: 0 once the emulator has ended.
  int Terminate();
  int Kill();

#ifndef _WIN32
  // Runs the emulator to its end with args (standard input empty) and returns its exit code;
  // stderrText receives what it wrote to standard error.
  static int RunToEnd(const std::vector<std::string>& args, std::string& stderrText);
#endif

 private:
  int WaitForExit();

  std::filesystem::path portsDirectory_;
  pid_t pid_ = -1;
  int comNumber_ = 0;
  std::string device_;
#ifdef _WIN32
  struct WineSide;
  std::unique_ptr<WineSide> wine_;
#else
  platform::FileDescriptor stdin_;
  platform::FileDescriptor stdout_;
#endif
};

}  // namespace kessmar::test
