// The hand-over of an application update to the embedded updater.
#include <system_error>

#include "common/IniFile.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/KnownFolders.h"
#include "platform/Processes.h"
#include "platform/UserMessages.h"
#include "update/EmbeddedUpdater.h"
#include "update/UpdaterCommandLine.h"
#include "update/WebUpdate.h"

namespace kessmar {

std::filesystem::path TWebUpdate::ExtractUpdater() {
  const std::filesystem::path program = ProgramPath();
  const auto payload = ReadEmbeddedUpdater(program);
  if (!payload) {
    throw std::runtime_error("The program file " + program.string() + " carries no updater");
  }
  const std::string packed = TempFolder() + "wusetup.ex_";
  try {
    platform::ReplaceFileContent(
        packed, std::string_view(reinterpret_cast<const char*>(payload->data()), payload->size()));
  } catch (const platform::FileError& e) {
    throw std::runtime_error("Cannot write " + packed + ": " + e.what());
  }
  const std::string expanded = ExpandCompressedFile(packed);
  if (expanded == packed) {
    throw std::runtime_error("The updater carried by " + program.string() + " is not compressed");
  }
  try {
    platform::MakeExecutable(expanded);
  } catch (const platform::FileError& e) {
    throw std::runtime_error("Cannot make " + expanded + " executable: " + e.what());
  }
  return expanded;
}

void TWebUpdate::LaunchUpdater() {
  std::error_code ec;
  const std::string currentFolder = std::filesystem::current_path(ec).string();
  ReportStatus(959, currentFolder, 0, 0);
  bool restart = false;
  if (OnAppRestart) {
    restart = OnAppRestart(*this);
  } else {
    restart =
        SilentRestart || (Messages != nullptr &&
                          Messages->Confirm("Shutdown application to update executable files ?"));
  }
  if (!restart) return;

  const std::filesystem::path updater = ExtractUpdater();

  const std::filesystem::path documents = platform::DocumentsFolder();
  std::filesystem::create_directories(documents, ec);
  IniFile(documents / "WUPDATE.INI").Write("CONFIG", "LOGFILENAME", LogFileName);

  UpdaterCall call;
  call.processId = platform::CurrentProcessId();
  call.logging = Logging;
  call.autoRestart = AutoRestart;
  call.appName = AppName;
  call.appParams = AppParams;
  call.currentFolder = currentFolder;
  call.componentFolder = UseWinTempDir ? TempFolder() : TempDirectory;
  call.appComponents = AppComponents;
  const std::string commandLine = BuildUpdaterCommandLine(call);
  ReportStatus(958, commandLine, 0, 0);
  // The start is not checked: the program ends either way.
  if (StartProcess) StartProcess(updater, SplitCommandLine(commandLine));

  if (OnAppDoClose) {
    OnAppDoClose(*this);
  } else if (ApplicationTerminate) {
    ApplicationTerminate();
  }
}

}  // namespace kessmar
