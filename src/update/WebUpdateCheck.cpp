// The update control file and the version check.
#include <exception>
#include <system_error>

#include "common/CodePage.h"
#include "platform/AppPaths.h"
#include "platform/Files.h"
#include "platform/FolderAccess.h"
#include "platform/KnownFolders.h"
#include "platform/lazy/Libraries.h"
#include "update/Checksums.h"
#include "update/FileEntries.h"
#include "update/PathPrefixes.h"
#include "update/UpdateDates.h"
#include "update/UpdateServer.h"
#include "update/VersionText.h"
#include "update/WebUpdate.h"

namespace kessmar {
namespace {

std::vector<std::string> TextLines(std::string text) {
  if (!IsUtf8(text)) text = Cp1252ToUtf8(text);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

int64_t FileSizeOrMinusOne(const std::string& path) {
  try {
    platform::InputFile in(path);
    return static_cast<int64_t>(in.Size());
  } catch (const platform::FileError&) {
    return -1;
  }
}

}  // namespace

std::filesystem::path TWebUpdate::ProgramPath() const {
  return ProgramFile.empty() ? platform::ExecutablePath() : ProgramFile;
}

const ControlFile& TWebUpdate::ReadControlFile() const {
  if (controlReadFrom_ != ControlFilePath) {
    control_ = ControlFilePath.empty() ? ControlFile() : ControlFile::Load(ControlFilePath);
    controlReadFrom_ = ControlFilePath;
  }
  return control_;
}

std::string TWebUpdate::ExpandPathPrefixes(const std::string& text) const {
  if (text.find('{') == std::string::npos) return text;
  return kessmar::ExpandPathPrefixes(
      text, [this](const std::string& name) -> std::optional<std::string> {
        if (name == "WIN") return platform::WindowsFolder().string();
        if (name == "SYS") return platform::SystemFolder().string();
        if (name == "APP") return ProgramPath().parent_path().string();
        if (name == "TMP") return TempFolder();
        if (name == "DOC") return platform::DocumentsFolder().string();
        if (name == "PF") return platform::ProgramFilesFolder().string();
        if (name == "LAD") {
          if (auto folder = platform::LocalAppDataFolder()) return folder->string();
          throw std::runtime_error("Could not find Local Application Data folder location.");
        }
        return std::nullopt;
      });
}

bool TWebUpdate::QueryUpdateAvailable(bool changeToProgramFolder) {
  if (changeToProgramFolder) std::filesystem::current_path(ProgramPath().parent_path());
  CancelRequested = false;
  LastRefusal.clear();
  ProgramFolderReadOnly = false;
  if (OpenSession() != 0) return false;
  // A check that throws (a library the fetch helper cannot load) leaves no session open.
  struct CloseOnThrow {
    TWebUpdate& web;
    int uncaught = std::uncaught_exceptions();
    ~CloseOnThrow() {
      if (std::uncaught_exceptions() > uncaught) web.CloseSession();
    }
  } closeOnThrow{*this};
  bool available = false;
  if (SessionOpen) {
    if (FetchControlFile() == 0) {
      const UpdateOutcome outcome = EvaluateControlFile();
      available = outcome != UpdateOutcome::NoUpdate;
      if (available && AppUpdateAnnounced &&
          !platform::CanWriteInFolder(ProgramPath().parent_path())) {
        // Installed by the system's package manager: only that may replace the program.
        ProgramFolderReadOnly = true;
        ReportStatus(976, "The program's folder cannot be written: no application update", 1, 0);
        available = false;
      }
      // Read also when nothing is offered: a hand-over that worked is forgotten.
      if (HandOverFailedRecently() && AppUpdateAnnounced) available = false;
      if (available && outcome == UpdateOutcome::UnconditionalUpdate && LoadFileEntries() > 0) {
        SelectFileEntries();
      }
    }
  }
  if (available && OnDownloadedWhatsNew) {
    if (auto lines = FetchWhatsNew()) {
      int res = 1;
      OnDownloadedWhatsNew(*this, *lines, res);
    }
  }
  CloseSession();
  return available;
}

int TWebUpdate::FetchControlFile() {
  CancelRequested = false;
  control_ = ControlFile();
  controlReadFrom_.reset();
  controlText_.clear();
  controlDigest_.clear();
  const std::string url = ExpandPathPrefixes(URL);
  if (url.empty()) {
    ReportStatus(925, "", 2, 0);
    return 4;
  }
  const std::string folder = TempFolder();
  FetchedText fetched = FetchProgram.empty() ? FetchControlText(url, folder)
                                             : FetchThroughHelper(true, url, folder, "");
  if (fetched.code == 4) return 4;
  ControlFilePath = folder + UrlFileName(url);
  // Nothing of a refused control file is read later.
  controlReadFrom_ = ControlFilePath;
  auto refused = [&] {
    std::error_code ignored;
    std::filesystem::remove(ControlFilePath, ignored);
    return 5;
  };
  if (fetched.code != 0) return refused();
  std::optional<std::string> text = std::move(fetched.text);
  ControlFile control = ControlFile::Parse(*text);
  if (SignatureCheck && control.ReadString("update", "signature") != Signature) {
    ReportStatus(927, "", 11, 4);
    return refused();
  }
  if (const auto problem = UnsafeControlFileValue(control)) {
    Refuse("The control file is refused: " + *problem);
    return refused();
  }
  control_ = std::move(control);
  controlText_ = std::move(*text);
  AppUpdateAnnounced = control_.ReadInteger("application", "appupdate", 0) == 1;
  AppName = ExpandPathPrefixes(control_.ReadString("application", "appname"));
  AppParams = control_.ReadString("application", "appparam");
  if (AppName.empty()) AppUpdateAnnounced = false;
  if (AppParams.empty()) AppParams = " ";
  AppComponents = ExpandPathPrefixes(control_.ReadString("application", "appcomps"));
  SilentRestart = control_.ReadInteger("application", "silentrestart", 0) == 1;
  return 0;
}

TWebUpdate::FetchedText TWebUpdate::FetchControlText(const std::string& url,
                                                     const std::string& folder) {
  TransferLimits limits;
  limits.maxBytes = SmallFileMaxBytes;
  limits.deadline = SmallFileDeadline;
  std::optional<std::string> text;
  if (DownloadFile(url, folder, limits)) {
    try {
      text = platform::ReadFileIfPresent(folder + UrlFileName(url));
    } catch (const platform::FileError& e) {
      ReportStatus(976, e.what(), 1, 0);
    }
  }
  if (!text) {
    ReportStatus(925, "", 2, 0);
    return {};
  }
  ReportStatus(926, "", 3, 0);
  if (!TrustedKeys.empty() && !ControlFileSignatureGood(url, *text)) {
    ReportStatus(927, "", 11, 4);
    std::error_code ignored;
    std::filesystem::remove(folder + UrlFileName(url), ignored);
    return {5, ""};
  }
  return {0, std::move(*text)};
}

void TWebUpdate::RequireTransferLibrary() const {
  if (FetchProgram.empty()) platform::RequireLibcurl();
}

// The detached signature beside the control file, by one of the trusted keys.
bool TWebUpdate::ControlFileSignatureGood(const std::string& url, const std::string& text) {
  const std::string sigUrl = url + ".sig";
  TransferLimits limits;
  limits.maxBytes = 4096;
  limits.deadline = SmallFileDeadline;
  const std::string folder = TempFolder();
  std::optional<std::string> signature;
  if (DownloadFile(sigUrl, folder, limits)) {
    try {
      signature = platform::ReadFileIfPresent(folder + UrlFileName(sigUrl));
    } catch (const platform::FileError&) {
    }
  }
  std::error_code ignored;
  std::filesystem::remove(folder + UrlFileName(sigUrl), ignored);
  if (!signature) {
    Refuse("The control file has no signature: " + sigUrl + " cannot be fetched");
    return false;
  }
  if (!SignedByOneOf(text, *signature, TrustedKeys)) {
    Refuse("The control file's signature is not the supplier's");
    return false;
  }
  return true;
}

// Why the control file must not be used, or nullopt: a download that is not https, a missing
// sha256 in a signed update, a value that would break the updater's command line.
std::optional<std::string> TWebUpdate::UnsafeControlFileValue(const ControlFile& control) const {
  const bool signedUpdate = !TrustedKeys.empty();
  auto checkFile = [&](const std::string& what, const std::string& url,
                       const std::string& sha256) -> std::optional<std::string> {
    if (!IsHttpsUrl(url)) return what + " is not https: " + url;
    if (!sha256.empty() && !ReadSha256Text(sha256)) return what + " has a malformed sha256";
    if (signedUpdate && sha256.empty()) return what + " has no sha256";
    return std::nullopt;
  };
  const int32_t count = control.ReadInteger("files", "count", 0);
  const auto made =
      std::min<size_t>(static_cast<size_t>(std::max(count, 0)), control.SectionCount());
  for (size_t i = 1; i <= made; ++i) {
    const std::string section = "file" + std::to_string(i);
    if (auto problem = checkFile("The entry [" + section + "]",
                                 ExpandPathPrefixes(control.ReadString(section, "url")),
                                 control.ReadString(section, "sha256"))) {
      return problem;
    }
  }
  const std::string whatsNew = "whatsnew" + LanguageID;
  const std::string whatsNewUrl = control.ReadString(whatsNew, "file");
  if (!whatsNewUrl.empty()) {
    if (auto problem =
            checkFile("The what's-new text", whatsNewUrl, control.ReadString(whatsNew, "sha256"))) {
      return problem;
    }
  }
  for (const char* key : {"appname", "appparam", "appcomps"}) {
    for (const unsigned char c : control.ReadString("application", key)) {
      if (c == '"' || c < 0x20 || c == 0x7F) {
        return std::string(key) + " holds a quote or a control character";
      }
    }
  }
  return std::nullopt;
}

UpdateOutcome TWebUpdate::EvaluateControlFile() {
  const ControlFile control = ReadControlFile();
  UpdateOutcome outcome = UpdateOutcome::NoUpdate;
  UpdateDescription = control.ReadString("update", "descr");

  const std::string date = control.ReadString("update", "date");
  if (!date.empty()) {
    ReportStatus(928, "", 3, 0);
    ServerDate = ReadControlDate(date, control.ReadString("update", "time"));
    const std::string local = ExpandPathPrefixes(control.ReadString("update", "localversion"));
    LocalDate = kEarliestDate;
    if (!local.empty()) {
      if (auto time = platform::LastWriteTime(local)) LocalDate = *time;
    }
    if (LocalDate >= ServerDate) {
      ReportStatus(930, "", 4, 0);
    } else {
      ReportStatus(929, FormatDateTime(ServerDate), 5, 0);
      outcome = UpdateOutcome::DateUpdate;
    }
  }

  if (!control.ReadString("update", "unconditional").empty() &&
      outcome == UpdateOutcome::NoUpdate) {
    outcome = UpdateOutcome::UnconditionalUpdate;
  }

  if (outcome == UpdateOutcome::NoUpdate) {
    std::string newVersion = control.ReadString("update", "newversion");
    const int32_t newSize = control.ReadInteger("update", "newsize", 0);
    std::string local = ExpandPathPrefixes(control.ReadString("update", "localversion"));
    const int32_t newChecksum = control.ReadInteger("update", "newchecksum", -1);
    if ((!newVersion.empty() || newSize > 0 || newChecksum != -1) && !local.empty()) {
      if (newChecksum != -1) {
        ReportStatus(931, "", 3, 0);
        outcome = UpdateOutcome::ChecksumUpdate;
      } else if (newSize < 1) {
        ReportStatus(933, "", 3, 0);
        outcome = UpdateOutcome::VersionUpdate;
      } else {
        ReportStatus(932, "", 3, 0);
        outcome = UpdateOutcome::SizeUpdate;
      }
      if (CompareWithLocal(newVersion, local, newChecksum, newSize)) {
        ReportStatus(929, newVersion, 5, 0);
      } else {
        ReportStatus(930, "", 4, 0);
        outcome = UpdateOutcome::NoUpdate;
      }
      NewVersionText = newVersion;
      LocalVersionText = local;
    }
  }
  return outcome;
}

bool TWebUpdate::CompareWithLocal(std::string& newVersion, std::string& localPath,
                                  int32_t newChecksum, int32_t newSize) {
  if (newVersion.empty() && newSize == 0 && newChecksum == -1) return true;
  if (localPath.empty() && VersionCheck == TVersionCheck::vcUpdateOnly) return true;
  std::error_code ec;
  if (!std::filesystem::exists(localPath, ec) && VersionCheck == TVersionCheck::vcAlways) {
    return true;
  }
  bool answer = false;
  if (newChecksum != -1) {
    const auto computed = static_cast<int32_t>(FileChecksum(localPath, UseCRC32));
    answer = computed != newChecksum;
    ReportStatus(944,
                 "Checksum compare of " + localPath + ":" + std::to_string(computed) + ":" +
                     std::to_string(newChecksum),
                 3, 0);
  } else if (newSize <= 0) {
    const VersionWords local = FileVersionOf(localPath);
    const VersionWords fresh = ReadVersionText(newVersion);
    ReportStatus(944,
                 "Version compare of " + localPath + ":" + local.ToString() + " with " +
                     newVersion + ":" + fresh.ToString(),
                 3, 0);
    if (!fresh.Valid()) return false;
    if (!local.Valid() && VersionCheck == TVersionCheck::vcUpdateOnly) return false;
    newVersion = fresh.ToString();
    localPath = local.ToString();
    answer = fresh.NewerThan(local);
  } else {
    const int64_t size = FileSizeOrMinusOne(localPath);
    answer = size != newSize && (size > 0 || VersionCheck == TVersionCheck::vcAlways);
  }
  return answer;
}

int TWebUpdate::LoadFileEntries() {
  FileEntries.clear();
  const ControlFile control = ReadControlFile();
  const int32_t count = control.ReadInteger("files", "count", 0);
  if (count <= 0) return count;
  ReportStatus(943, "", 3, 0);
  // An entry comes from a section; a count beyond the file's sections is a damaged file, and
  // must not make millions of empty entries.
  const auto made = std::min<size_t>(static_cast<size_t>(count), control.SectionCount());
  for (size_t i = 1; i <= made; ++i) {
    FileEntries.push_back(
        ReadFileDescription(control, "file" + std::to_string(i),
                            [this](const std::string& text) { return ExpandPathPrefixes(text); }));
  }
  return count;
}

int TWebUpdate::SelectFileEntries() {
  TFileList kept;
  for (TFileDescription& entry : FileEntries) {
    ReportStatus(971,
                 entry.URL + "[" + entry.LocalVersion + ",nv=" + entry.NewVersion +
                     ",nd=" + entry.NewDate + ",ns=" + std::to_string(entry.NewSize) +
                     ",nc=" + std::to_string(entry.NewCheckSum) + "]",
                 0, 0);
    bool keep = true;
    if (!entry.LocalVersion.empty() && !entry.NewDate.empty()) {
      const auto date = ReadControlDate(entry.NewDate, entry.NewTime);
      const auto local = platform::LastWriteTime(entry.LocalVersion);
      keep = !(local && *local >= date);
    } else {
      std::string version = entry.NewVersion;
      std::string local = entry.LocalVersion;
      keep = CompareWithLocal(version, local, entry.NewCheckSum, entry.NewSize);
      if (!keep) ReportStatus(930, "", 0, 0);
    }
    if (keep) kept.push_back(std::move(entry));
  }
  FileEntries = std::move(kept);
  return FileEntries.empty() ? -1 : 0;
}

std::optional<std::vector<std::string>> TWebUpdate::FetchWhatsNew() {
  const std::string section = "whatsnew" + LanguageID;
  const std::string url = ReadControlFile().ReadString(section, "file");
  if (url.empty()) return std::nullopt;
  ReportStatus(937, "", 12, 0);
  const std::string sha256 = ReadControlFile().ReadString(section, "sha256");
  std::optional<std::string> text;
  if (FetchProgram.empty()) {
    text = DownloadSmallFile(url, sha256);
  } else if (FetchedText fetched = FetchThroughHelper(false, url, TempFolder(), sha256);
             fetched.code == 0) {
    text = std::move(fetched.text);
  }
  if (!text) return std::nullopt;
  return TextLines(std::move(*text));
}

std::optional<std::string> TWebUpdate::DownloadSmallFile(const std::string& url,
                                                         std::string_view sha256) {
  TransferLimits limits;
  limits.maxBytes = SmallFileMaxBytes;
  limits.deadline = SmallFileDeadline;
  if (!sha256.empty()) {
    limits.sha256 = ReadSha256Text(sha256);
    if (!limits.sha256) return std::nullopt;
  } else if (!TrustedKeys.empty()) {
    return std::nullopt;
  }
  const std::string folder = TempFolder();
  if (!DownloadFile(url, folder, limits)) return std::nullopt;
  const std::filesystem::path file = folder + UrlFileName(url);
  std::optional<std::string> text;
  try {
    text = platform::ReadFileIfPresent(file);
  } catch (const platform::FileError&) {
  }
  std::error_code ignored;
  std::filesystem::remove(file, ignored);
  return text;
}

}  // namespace kessmar
