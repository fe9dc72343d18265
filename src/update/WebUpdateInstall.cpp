// Placing the downloaded files of an update: plain moves, SZDD expansion, cabinets, and the
// actions after the download.
#include <system_error>

#include "common/CodePage.h"
#include "common/Text.h"
#include "platform/Processes.h"
#include "platform/ShellOpen.h"
#include "platform/archive/Archive.h"
#include "update/FileMoves.h"
#include "update/UpdaterCommandLine.h"
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

int TWebUpdate::InstallFileEntries() {
  int result = 0;
  // A component fetched by an earlier update of this run is no part of this one.
  AppComponentFetched = false;
  const std::string components = ToUpperAscii(AppComponents);
  for (size_t i = 0; i < FileEntries.size(); ++i) {
    const TFileDescription entry = FileEntries[i];
    const std::string name = UrlFileName(entry.URL);
    ActiveIndex = static_cast<int>(i);
    std::error_code ec;
    if (!entry.TargetDir.empty() && !std::filesystem::is_directory(entry.TargetDir, ec)) {
      std::filesystem::create_directories(entry.TargetDir, ec);
    }
    const std::string folder = UseWinTempDir ? TempFolder() : entry.TargetDir;
    if (!DownloadFile(entry.URL, folder)) {
      result = -1;
      ReportStatus(946, entry.URL, 2, 9);
      AppUpdateAnnounced = false;
      continue;
    }
    const std::string downloaded = folder + name;
    const std::string ext = ToUpperAscii(std::filesystem::path(name).extension().string());

    if (components.find(ToUpperAscii(name)) != std::string::npos) {
      // Only the updater may put a component in place: it stays in the download folder.
      AppComponentFetched = true;
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
    // Every name is checked before anything is written: a hostile cabinet writes nothing.
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
