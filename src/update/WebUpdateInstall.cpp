// Placing the downloaded files of an update: plain moves, SZDD expansion, cabinets, and the
// actions after the download.
#include <system_error>

#include "common/CodePage.h"
#include "common/Text.h"
#include "platform/ExecutableCheck.h"
#include "platform/Processes.h"
#include "platform/ShellOpen.h"
#include "platform/archive/Archive.h"
#include "update/FileMoves.h"
#include "update/UpdaterCommandLine.h"
#include "update/VersionText.h"
#include "update/WebUpdate.h"

namespace kessmar {
namespace {

// The cabinet's stored name as a relative path below the target folder: "\" separates folders.
// nullopt for a name that would leave the target folder (absolute, or with a ".." part) or names
// no file.
std::optional<std::filesystem::path> SafeRelativeName(const platform::CabinetEntry& entry) {
  std::string name = entry.utf8 ? entry.name : Cp1252ToUtf8(entry.name);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.empty() || name.front() == '/' || name.find(':') != std::string::npos) {
    return std::nullopt;
  }
  std::filesystem::path relative;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") return std::nullopt;
    if (!part.empty() && part != ".") relative /= part;
    start = end + 1;
  }
  if (relative.empty() || name.back() == '/') return std::nullopt;
  return relative;
}

}  // namespace

// The updater takes a component from the component folder by the file name of its entry in
// appcomps, exactly as written; a download is a component when its name is one of these.
bool TWebUpdate::IsComponent(const std::string& name) const {
  for (const std::string& component : SplitComponentList(AppComponents)) {
    if (std::filesystem::path(component).filename() == name) return true;
  }
  return false;
}

// Files of the names this update downloads may be left from an earlier download that was
// declined or stopped; none of them may be taken for a file of this one.
void TWebUpdate::RemoveLeftovers() {
  const std::filesystem::path folder = TempFolder();
  std::vector<std::string> names;
  for (const std::string& component : SplitComponentList(AppComponents)) {
    names.push_back(std::filesystem::path(component).filename().string());
  }
  const ControlFile& control = ReadControlFile();
  const int32_t count = control.ReadInteger("files", "count", 0);
  const auto made =
      std::min<size_t>(static_cast<size_t>(std::max(count, 0)), control.SectionCount());
  for (size_t i = 1; i <= made; ++i) {
    names.push_back(UrlFileName(control.ReadString("file" + std::to_string(i), "url")));
  }
  for (const TFileDescription& entry : FileEntries) names.push_back(UrlFileName(entry.URL));
  std::error_code ec;
  for (const std::string& name : names) {
    if (name.empty() || name == "." || name == "..") continue;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(folder / name, ec)) ||
        std::filesystem::is_symlink(std::filesystem::symlink_status(folder / name, ec))) {
      std::filesystem::remove(folder / name, ec);
    }
  }
}

// Why the downloaded program component must not go to the updater, or nullopt. The program
// component is the component that replaces the running program or the program started after
// the update.
std::optional<std::string> TWebUpdate::ProgramComponentProblem(const std::string& downloaded,
                                                               const std::string& name) const {
  const std::filesystem::path program = ProgramPath();
  const std::filesystem::path restarted = AppName;
  if (program.filename() != name && restarted.filename() != name) return std::nullopt;
  if (auto problem = platform::ExecutableProblem(downloaded)) {
    return name + " is no complete program for this machine: " + *problem;
  }
  const std::string announced = ReadControlFile().ReadString("update", "newversion");
  const VersionWords fresh = FileVersionOf(downloaded);
  const VersionWords expected = ReadVersionText(announced);
  if (!fresh.Valid() || !expected.Valid() || fresh.high != expected.high ||
      fresh.low != expected.low) {
    return name + " is version " + fresh.ToString() + ", not the announced " +
           (expected.Valid() ? expected.ToString() : "\"" + announced + "\"");
  }
  const VersionWords running = FileVersionOf(program);
  if (!fresh.NewerThan(running)) {
    return name + " " + fresh.ToString() + " is not newer than the running " + running.ToString();
  }
  return std::nullopt;
}

int TWebUpdate::InstallFileEntries() {
  int result = 0;
  // A component fetched by an earlier update of this run is no part of this one.
  AppComponentFetched = false;
  FetchedComponents.clear();
  if (UseWinTempDir) RemoveLeftovers();
  for (size_t i = 0; i < FileEntries.size(); ++i) {
    const TFileDescription entry = FileEntries[i];
    const std::string name = UrlFileName(entry.URL);
    ActiveIndex = static_cast<int>(i);
    std::error_code ec;
    if (!entry.TargetDir.empty() && !std::filesystem::is_directory(entry.TargetDir, ec)) {
      std::filesystem::create_directories(entry.TargetDir, ec);
    }
    const std::string folder = UseWinTempDir ? TempFolder() : entry.TargetDir;
    std::optional<platform::Sha256Digest> sha256;
    if (!entry.Sha256.empty()) sha256 = ReadSha256Text(entry.Sha256);
    const bool shaUsable = entry.Sha256.empty() ? TrustedKeys.empty() : sha256.has_value();
    if (!shaUsable || !DownloadFile(entry.URL, folder, FileLimits(entry.FileSize, sha256))) {
      result = -1;
      ReportStatus(946, entry.URL, 2, 9);
      AppUpdateAnnounced = false;
      continue;
    }
    const std::string downloaded = folder + name;
    const std::string ext = ToUpperAscii(std::filesystem::path(name).extension().string());

    if (IsComponent(name)) {
      if (auto problem = ProgramComponentProblem(downloaded, name)) {
        Refuse(*problem);
        std::filesystem::remove(downloaded, ec);
        result = -1;
        ReportStatus(946, entry.URL, 2, 9);
        AppUpdateAnnounced = false;
        continue;
      }
      // Only the updater may put a component in place: it stays in the download folder.
      AppComponentFetched = true;
      for (const std::string& component : SplitComponentList(AppComponents)) {
        if (std::filesystem::path(component).filename() == name) {
          FetchedComponents.push_back(component);
        }
      }
      ReportStatus(962, name, 0, 0);
      continue;
    }
    if (ext != ".CAB" && ext != ".PAT" && UseWinTempDir && !entry.TargetDir.empty()) {
      MoveFileReplacing(downloaded, entry.TargetDir + name);  // a failure leaves it downloaded
    }
    if (ext != ".CAB" && ExtractCAB && entry.Compressed) {
      // Expanded in the current folder; a file already placed above is not there to move.
      if (MoveFileReplacing(downloaded, name)) {
        try {
          const std::string expanded = ExpandCompressedFile(name);
          if (expanded != name && !KeepIntermediateFiles) std::filesystem::remove(name, ec);
        } catch (const std::runtime_error& e) {
          ReportStatus(976, e.what(), 1, 0);  // the compressed file stays
        }
      }
    }
    if (ext == ".CAB" && ExtractCAB && entry.Compressed) {
      if (ExtractCabinet(downloaded, entry.TargetDir) == -1) {
        ReportStatus(947, downloaded, 8, 0);
      } else if (!KeepIntermediateFiles) {
        std::filesystem::remove(downloaded, ec);
      }
    }
  }
  return result;
}

std::string TWebUpdate::ExpandCompressedFile(const std::string& path) {
  const auto header = platform::ReadSzddHeader(path);
  // Not compressed after all: kept as it is, under its own name.
  if (!header) return path;
  std::string expanded = path;
  const char last = header->missingChar;
  if (!expanded.empty() && last != '\0' && last != '/' && expanded.back() != '/') {
    expanded.back() = last;
  }
  try {
    platform::ExpandSzdd(path, expanded);
  } catch (const platform::ArchiveError& e) {
    throw std::runtime_error(e.what());
  }
  if (expanded != path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
  }
  return expanded;
}

int TWebUpdate::ExtractCabinet(const std::string& cabinetPath, const std::string& targetFolder) {
  try {
    platform::Cabinet cabinet(cabinetPath);
    const std::filesystem::path base = targetFolder.empty() ? std::filesystem::current_path()
                                                            : std::filesystem::path(targetFolder);
    // Every name and the sizes are checked before anything is written: a hostile cabinet
    // writes nothing.
    if (cabinet.Entries().size() > CabinetMaxFiles) {
      Refuse(cabinetPath + " holds more than " + std::to_string(CabinetMaxFiles) + " files");
      return -1;
    }
    int64_t expanded = 0;
    for (const auto& entry : cabinet.Entries()) expanded += entry.length;
    if (expanded > CabinetMaxBytes) {
      Refuse(cabinetPath + " expands to more than " + std::to_string(CabinetMaxBytes) + " bytes");
      return -1;
    }
    std::vector<std::filesystem::path> targets;
    for (const auto& entry : cabinet.Entries()) {
      const auto relative = SafeRelativeName(entry);
      if (!relative) return -1;
      targets.push_back(base / *relative);
    }
    for (size_t i = 0; i < targets.size(); ++i) {
      std::filesystem::create_directories(targets[i].parent_path());
      cabinet.Extract(i, targets[i]);
      const auto& time = cabinet.Entries()[i].time;
      if (time) {
        platform::SetLastWriteTime(targets[i], *time);
      } else {
        platform::SetLastWriteTimeNow(targets[i]);
      }
    }
    return 0;
  } catch (const std::exception&) {
    return -1;  // the result tells: the cabinet stays for the caller to report
  }
}

int TWebUpdate::RunPostUpdateActions() {
  if (CancelRequested) return -1;
  const ControlFile control = ReadControlFile();
  if (!control.ReadString("action", "updateURL").empty()) ReportStatus(941, "", 3, 0);
  const std::string runafter = ExpandPathPrefixes(control.ReadString("action", "runafter"));
  const std::string params = control.ReadString("action", "runafterparam");
  if (!runafter.empty()) {
    // A program is started with its parameters; anything else opens with its default program.
    if (platform::IsRunnableProgram(runafter)) {
      if (StartProcess) StartProcess(runafter, SplitCommandLine(params));
    } else if (Shell != nullptr) {
      Shell->Open(runafter);
    }
  }
  ReportStatus(948, "", 3, 0);
  return 0;
}

}  // namespace kessmar
