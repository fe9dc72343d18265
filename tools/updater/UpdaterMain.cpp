// wusetup: the updater the program carries. It honours the hand-over contract (docs/update.md):
//
//   wusetup <pid> <L|X> <program|null> <params> <component folder> <components...>
//
// It waits for process <pid> to end, puts the components from the component folder in place
// (all or none), and starts <program> with <params> unless it is "null". Its log file is named
// by key LOGFILENAME of section CONFIG in WUPDATE.INI in the user's documents folder: with "L"
// every step is logged there, with "X" only failures. Exit code 0 when the update was installed
// and the program started, 1 when the components could not be put in place (the old program
// is kept and started), 2 for a bad command line, 3 when the process did not end, 4 when the
// program could not be started.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/IniFile.h"
#include "platform/KnownFolders.h"
#include "platform/LocalTime.h"
#include "platform/Processes.h"
#include "update/UpdaterCommandLine.h"
#include "updater/ComponentSwap.h"

namespace {

using kessmar::platform::LocalTime;

constexpr auto kWaitForProgram = std::chrono::minutes(2);

class UpdaterLog {
 public:
  explicit UpdaterLog(bool everyStep) : everyStep_(everyStep) {
    try {
      const auto documents = kessmar::platform::DocumentsFolder();
      const auto name = kessmar::IniFile(documents / "WUPDATE.INI").Read("CONFIG", "LOGFILENAME");
      if (name && !name->empty()) {
        file_ = name->find_first_of("\\/:") == std::string::npos ? documents / *name
                                                                 : std::filesystem::path(*name);
      }
    } catch (const std::exception&) {
      // Without a documents folder there is no log file; failures still reach standard error.
    }
  }

  void Step(const std::string& text) {
    if (everyStep_) Write(text);
  }
  void Failure(const std::string& text) {
    std::fprintf(stderr, "wusetup: %s\n", text.c_str());
    Write(text);
  }

 private:
  void Write(const std::string& text) {
    if (!file_) return;
    const std::tm t = LocalTime(std::chrono::system_clock::now());
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%02d/%02d/%04d %02d:%02d:%02d", t.tm_mday % 100,
                  (t.tm_mon + 1) % 100, (t.tm_year + 1900) % 10000, t.tm_hour % 100, t.tm_min % 100,
                  t.tm_sec % 100);
    std::ofstream out(*file_, std::ios::binary | std::ios::app);
    out << stamp << " : wusetup : " << text << "\r\n";
  }

  bool everyStep_;
  std::optional<std::filesystem::path> file_;
};

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto call = kessmar::ParseUpdaterArguments(args);
  UpdaterLog log(call && call->logging);
  if (!call) {
    log.Failure(
        "Bad command line; expected: <pid> <L|X> <program|null> <params> <folder> "
        "<components>");
    return 2;
  }
  log.Step("Waiting for process " + std::to_string(call->processId) + " to end");
  if (!kessmar::platform::WaitForProcessEnd(call->processId, kWaitForProgram)) {
    log.Failure("Process " + std::to_string(call->processId) +
                " did not end; nothing was replaced");
    return 3;
  }

  const bool restart = call->program != "null";
  const std::filesystem::path program = restart ? std::filesystem::path(call->program) : "";
  const std::filesystem::path programFolder =
      restart ? program.parent_path() : std::filesystem::current_path();
  int code = 0;
  const auto moves = kessmar::PlanComponentMoves(kessmar::SplitComponentList(call->components),
                                                 call->componentFolder, programFolder);
  try {
    kessmar::InstallComponents(moves, program);
    for (const auto& move : moves) log.Step("Installed " + move.destination.string());
  } catch (const std::exception& e) {
    log.Failure(std::string(e.what()) + "; the program was left as it was");
    code = 1;
  }

  if (restart) {
    if (kessmar::platform::StartDetachedProcess(program, kessmar::SplitCommandLine(call->params))) {
      log.Step("Started " + program.string());
    } else {
      log.Failure("Cannot start " + program.string());
      if (code == 0) code = 4;
    }
  }
  return code;
}
