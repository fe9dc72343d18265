// The Windows program fetches in its own process: it has no helper programs yet.
#include "platform/HelperProcess.h"

namespace kessmar::platform {

struct HelperProcess::State {};

HelperProcess::HelperProcess(const std::filesystem::path& program,
                             const std::vector<std::string>& /*args*/) {
  throw HelperProcessError("The helper " + program.string() +
                           " cannot be started: no helper programs on this system");
}

HelperProcess::~HelperProcess() = default;

bool HelperProcess::Send(std::string_view /*data*/,
                         std::chrono::steady_clock::time_point /*deadline*/) {
  return false;
}

HelperProcess::Output HelperProcess::Receive(std::string& /*to*/, size_t /*maxBytes*/,
                                             std::chrono::milliseconds /*maxWait*/) {
  return Output::kEnd;
}

std::optional<int> HelperProcess::Wait(std::chrono::milliseconds /*maxWait*/) {
  return -1;
}

void HelperProcess::Kill() {}

}  // namespace kessmar::platform
