// A short-lived helper program that this process starts, feeds and reads, and never leaves
// behind: one that has not ended by the time its owner goes is killed and reaped.
#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace kessmar::platform {

class HelperProcessError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HelperProcess {
 public:
  // Starts program with args (without the program itself) in a process group of its own. Its
  // standard input and output are a private channel to this process; its standard error is
  // this process's; no other descriptor is passed on. Throws HelperProcessError naming the
  // program when it cannot be started (also: no helper programs on this system).
  HelperProcess(const std::filesystem::path& program, const std::vector<std::string>& args);
  // Kills the helper (and whatever it started in its group) unless it has ended, and reaps it.
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  // Writes data to the helper's input by the deadline, then closes its input. False when the
  // helper did not take all of it in time or has ended. Never throws except std::bad_alloc.
  bool Send(std::string_view data, std::chrono::steady_clock::time_point deadline);

  enum class Output { kData, kNothingYet, kEnd };
  // Appends at most maxBytes of what the helper wrote to `to`, waiting at most maxWait for
  // something to arrive. kEnd once its output is closed. Never throws except std::bad_alloc.
  Output Receive(std::string& to, size_t maxBytes, std::chrono::milliseconds maxWait);

  // Waits at most maxWait for the helper to end: its exit code (-1 when a signal ended it), or
  // nullopt while it runs. Never throws.
  std::optional<int> Wait(std::chrono::milliseconds maxWait);

  // Kills the helper's group and reaps it, unless it has ended already. Never throws.
  void Kill();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace kessmar::platform
