// The hand-over of an application update to the embedded updater.
#include <chrono>
#include <cstdlib>
#include <system_error>

#include "common/IniFile.h"
#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/KnownFolders.h"
#include "platform/Processes.h"
#include "platform/UserMessages.h"
#include "update/EmbeddedUpdater.h"
#include "update/UpdaterCommandLine.h"
#include "update/VersionText.h"
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

std::filesystem::path TWebUpdate::HandOverRecord() const {
  return std::filesystem::path(TempFolder()) / "handover.ini";
}

// What was handed to the updater: the control file's SHA-256 and the version it announced.
void TWebUpdate::RecordHandOver() {
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::system_clock::now().time_since_epoch());
  std::string record =
      "[handover]\ncontrol=" + Sha256Text(platform::Sha256Of(controlText_)) + "\nversion=" +
      ReadVersionText(ReadControlFile().ReadString("update", "newversion")).ToString() +
      "\ntime=" + std::to_string(now.count()) + "\n";
  try {
    platform::ReplaceFileContent(HandOverRecord(), record);
  } catch (const platform::FileError& e) {
    ReportStatus(976, e.what(), 1, 0);  // the update goes on; only the memory is lost
  }
}

// True when this control file was handed to the updater within the last day and the program
// running now is not the version it announced: that hand-over failed, and offering the same
// again would only repeat it. A hand-over that worked is forgotten.
bool TWebUpdate::HandOverFailedRecently() {
  std::optional<std::string> text;
  try {
    text = platform::ReadFileIfPresent(HandOverRecord());
  } catch (const platform::FileError&) {
  }
  if (!text) return false;
  const ControlFile record = ControlFile::Parse(*text);
  const std::string version = record.ReadString("handover", "version");
  std::error_code ignored;
  if (FileVersionOf(ProgramPath()).ToString() == version) {
    std::filesystem::remove(HandOverRecord(), ignored);
    return false;
  }
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  const std::string time = record.ReadString("handover", "time");
  const long long then = time.empty() ? 0 : std::atoll(time.c_str());
  const bool sameControl =
      record.ReadString("handover", "control") ==
      (controlDigest_.empty() ? Sha256Text(platform::Sha256Of(controlText_)) : controlDigest_);
  if (!sameControl || now - then >= 24 * 60 * 60 || now < then) return false;
  Refuse("The updater could not install version " + version +
         " of this control file; it is offered again when the control file changes or a day "
         "has passed");
  return true;
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
  // Exactly the components fetched in this run; the updater refuses everything when one it is
  // given is missing.
  for (const std::string& component : FetchedComponents) {
    if (!call.appComponents.empty()) call.appComponents += ",";
    call.appComponents += component;
  }
  const std::string commandLine = BuildUpdaterCommandLine(call);
  RecordHandOver();
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
