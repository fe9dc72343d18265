// TWebUpdate: the update component. It reaches the supplier's update server over HTTP(S), reads
// the update control file, decides whether an update is available, downloads and places the
// update's files, and hands an application update over to the embedded updater.
//
// Everything runs on the caller's (user-interface) thread. Transfers never block for long: the
// ProcessMessages hook is called after every 4096-byte block and at least every 5 ms while a
// transfer waits, so the caller's event loop keeps running. Hooks may therefore call back into
// the component (RequestCancel); they must not start another operation on it.
//
// Failures of the transfer, the control file and the installation are results (return values
// and status reports), as the operations below state. Exceptions leave the component only where
// an operation says so: a {LAD} folder the system cannot name, a temporary folder that cannot be
// made, an error thrown by a hook, and LaunchUpdater's failures.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/FileTimes.h"
#include "update/ControlFile.h"
#include "update/UpdateSignature.h"
#include "update/UpdateTypes.h"

namespace kessmar {

namespace platform {
class InternetSession;
class InternetRequest;
class UniqueFile;
}  // namespace platform
class ShellOpen;
class UserMessages;

class TWebUpdate {
 public:
  TWebUpdate();
  ~TWebUpdate();
  TWebUpdate(const TWebUpdate&) = delete;
  TWebUpdate& operator=(const TWebUpdate&) = delete;

  // ---- Settings (the component's properties) ----
  std::string Agent = "TWebUpdate";
  TUpdateType UpdateType = TUpdateType::httpUpdate;
  TUpdateConnect UpdateConnect = TUpdateConnect::wucNoConnect;
  TUpdateUpdate UpdateUpdate = TUpdateUpdate::wuuSilent;
  bool ExistingConnection = false;
  bool HTTPKeepAliveAuthentication = false;
  TCertCheck CertCheck = TCertCheck::ccEnable;
  TAuthenticate Authenticate = TAuthenticate::waNever;
  std::string UserID;
  std::string Password;
  std::string Proxy;           // empty: the system's settings
  int32_t TimeOut = 0;         // ms; 0: the system's
  int32_t ReceiveTimeOut = 0;  // ms; 0: the system's
  bool UseWinTempDir = true;   // the system's temporary folder, else TempDirectory
  std::string TempDirectory = ".";
  bool Logging = false;
  std::string LogFileName = "WUPDATE.LOG";
  std::string URL;  // of the control file; prefixes are expanded
  TVersionCheck VersionCheck = TVersionCheck::vcUpdateOnly;
  std::string DateFormat = "dd/mm/yyyy";
  std::string DateSeparator = "/";
  std::string TimeFormat = "hh:nn";
  std::string TimeSeparator = ":";
  std::string Signature = "WebUpdate";
  bool SignatureCheck = false;
  bool UseCRC32 = false;
  std::string LanguageID;
  bool ExtractCAB = true;
  bool KeepIntermediateFiles = false;
  bool AutoRestart = true;
  // A PEM file of certificate authorities trusted besides the system's (tests, the demo).
  std::string ExtraCaFile;
  // The supplier's public keys. With at least one, the control file must carry a good signature
  // (UrlFileName + ".sig" beside it) and a "sha256=" for every file entry and the what's-new
  // text; without keys the signature is not asked for (a given sha256 is still checked).
  UpdateKeys TrustedKeys;

  // The helper program that fetches the control file (with its signature) and the what's-new
  // text in a process of its own, so that a check never loads the transfer and signature
  // libraries into this one; empty: they are fetched here. Downloads of the update's files
  // always run here. See FetchHelper.h.
  std::filesystem::path FetchProgram;

  // ---- Limits ----
  // The control file and the what's-new text: each within this time and size.
  std::chrono::milliseconds SmallFileDeadline{60'000};
  int64_t SmallFileMaxBytes = 1 << 20;
  // A file entry may take this long plus one second per MinimumRate bytes of its size.
  std::chrono::milliseconds FileDeadlineBase{60'000};
  int64_t MinimumRate = 32 * 1024;
  // The size of a file entry without "filesize", and of any other download.
  int64_t FileMaxBytes = int64_t{1} << 30;
  // What a cabinet may expand to.
  int64_t CabinetMaxBytes = int64_t{2} << 30;
  size_t CabinetMaxFiles = 10'000;
  // What the fetch helper may take beyond the deadlines of its downloads (its start and end)
  // before it is stopped.
  std::chrono::milliseconds HelperAllowance{10'000};

  // ---- Hooks (std::function; empty means not attached) ----
  // Runs the caller's pending events; called between blocks and while a transfer waits.
  std::function<void()> ProcessMessages;
  std::function<void(TWebUpdate& sender, const std::string& fileName, int64_t pos, int64_t size)>
      OnFileProgress;
  std::function<void(TWebUpdate& sender, const std::vector<std::string>& text, int& res)>
      OnDownloadedWhatsNew;
  std::function<void(TWebUpdate& sender, const std::string& message, int status, int error)>
      OnStatus;
  std::function<void(TWebUpdate& sender)> OnSuccess;
  // Decides about the restart in LaunchUpdater instead of the question.
  std::function<bool(TWebUpdate& sender)> OnAppRestart;
  // Closes the program in LaunchUpdater instead of ApplicationTerminate.
  std::function<void(TWebUpdate& sender)> OnAppDoClose;
  // Told why an update (or one of its files) was refused: not https, a body without its end,
  // a wrong size, signature or SHA-256, a program that is no newer version, an unsafe value.
  // The program logs it. LastRefusal keeps the last reason until the next check starts.
  std::function<void(TWebUpdate& sender, const std::string& reason)> OnRefused;
  // Told every status report (its number, argument, status and error) as ReportStatus makes it.
  std::function<void(int message, const std::string& argument, int status, int error)> OnReport;
  // Told what else the program should log (a temporary folder taken by someone else).
  std::function<void(const std::string& text)> OnNotice;

  // ---- What the component uses of its surroundings (not owned; may stay unset) ----
  UserMessages* Messages = nullptr;  // the shutdown question; unset: the answer is No
  ShellOpen* Shell = nullptr;        // opens a "runafter" document
  // Asks the application to end through its normal termination.
  std::function<void()> ApplicationTerminate;
  // Starts a program detached; the default is platform::StartDetachedProcess.
  std::function<bool(const std::filesystem::path& program, const std::vector<std::string>& args)>
      StartProcess;
  // The program file that carries the updater, and the folder {APP} names; empty: the running
  // executable and its folder.
  std::filesystem::path ProgramFile;

  // ---- Run-time state ----
  bool SessionOpen = false;
  bool Dialled = false;
  bool CancelRequested = false;
  std::string ControlFilePath;
  bool AppUpdateAnnounced = false;
  std::string AppName;
  std::string AppParams;
  std::string AppComponents;
  bool SilentRestart = false;
  platform::LocalDateTime ServerDate;
  platform::LocalDateTime LocalDate;
  std::string NewVersionText;
  std::string LocalVersionText;
  std::string UpdateDescription;
  TFileList FileEntries;
  int ActiveIndex = 0;
  bool AppComponentFetched = false;
  std::string LastRefusal;
  // Set by the check when an application update was found but the program's folder cannot be
  // written by this user (a package-installed program): such updates are not offered.
  bool ProgramFolderReadOnly = false;
  // The entries of AppComponents whose files were fetched by the last InstallFileEntries: only
  // these go to the updater.
  std::vector<std::string> FetchedComponents;

  // ---- Internet session and file transfer ----

  // 0 opened; 1 no connection and UpdateConnect is wucNoConnect; 2 the session could not be
  // opened; 3 dialling failed. Here the system always counts as online, so only 0 and 2 occur.
  // With wucNone returns 0 without opening anything.
  int OpenSession();
  // Closes the session (if open) and deletes the control-file copy when ControlFilePath is set.
  void CloseSession();
  // What a single download must hold to.
  struct TransferLimits {
    int64_t maxBytes = 0;                          // a larger body is refused
    int64_t exactBytes = -1;                       // when >= 0, any other size is refused
    std::optional<platform::Sha256Digest> sha256;  // when set, other content is refused
    std::chrono::milliseconds deadline{0};         // the whole transfer, from the request on
  };
  // Downloads url to targetFolder + UrlFileName(url). True only when data arrived and the file
  // is in place; every failure is a report and false (see docs/update.md for the details). Only
  // https is fetched, and only a body that carries its end (a length, chunks, or HTTP/2). The
  // data goes to a "WUPD" file in TempFolder() first and replaces the target only when the
  // transfer is complete and within limits; an existing target stays untouched on failure. An
  // exception thrown by OnFileProgress or ProcessMessages ends the transfer (its file removed)
  // and is rethrown. Without limits: at most FileMaxBytes, in the time that size may take.
  bool DownloadFile(const std::string& url, const std::string& targetFolder);
  bool DownloadFile(const std::string& url, const std::string& targetFolder,
                    const TransferLimits& limits);
  // The limits of a file of `bytes` (its "filesize", or 0 when unknown) with the given SHA-256.
  TransferLimits FileLimits(int64_t bytes, std::optional<platform::Sha256Digest> sha256) const;
  // Everything after the last "/", then after the last "\", then after the last "?".
  static std::string UrlFileName(const std::string& url);
  // The temporary folder, ending in "/": a private folder of this user (see
  // platform/KnownFolders.h; a fallback is told to OnNotice once). Throws std::runtime_error
  // when none can be made.
  std::string TempFolder() const;
  void RequestCancel() { CancelRequested = true; }
  // Appends line + CR LF to the log file (LogFileName, in the documents folder unless it holds
  // a "/", "\" or ":"); drops the line when the file cannot be written. Never throws.
  void AppendToLog(const std::string& line);
  // Status report: calls OnStatus, and with Logging on appends the dated line to the log.
  void ReportStatus(int message, const std::string& argument, int status, int error);
  // Records and reports why something was refused (LastRefusal, OnRefused, report 976).
  void Refuse(const std::string& reason);

  // ---- Control file and version check ----

  // Loads the transfer library unless the fetch helper does the fetching (then the helper
  // tells, and the check throws). Throws platform::LibraryUnavailable naming it.
  void RequireTransferLibrary() const;

  // The composite check: opens a session, fetches and evaluates the control file, fetches the
  // what's-new text for OnDownloadedWhatsNew, closes the session. True when an update is
  // available.
  bool QueryUpdateAvailable(bool changeToProgramFolder);
  // 0 fetched; 4 control file not found (also: not https); 5 refused: a missing or wrong
  // signature (with TrustedKeys, or SignatureCheck's plain compare), a file or what's-new URL
  // that is not https, a missing or malformed sha256 (with TrustedKeys), a quote or control
  // character in appname, appparam or appcomps. The control file is read once here; the steps
  // after it use what was read, until CloseSession.
  int FetchControlFile();
  UpdateOutcome EvaluateControlFile();
  // The network part of FetchControlFile, run here or by the fetch helper: the control file
  // downloaded into folder and read (else report 925 and code 4), report 926, its signature
  // checked when there are TrustedKeys (else report 927, the file removed, code 5).
  struct FetchedText {
    int code = 4;
    std::string text;
  };
  FetchedText FetchControlText(const std::string& url, const std::string& folder);
  // A small file (at most SmallFileMaxBytes, within SmallFileDeadline) as text, its download
  // removed again; nullopt when it cannot be fetched or has another SHA-256 than a given one
  // (with TrustedKeys, a sha256 must be given).
  std::optional<std::string> DownloadSmallFile(const std::string& url, std::string_view sha256);
  // Reads FileEntries; returns the count announced by [files] count. Never more entries are
  // made than the control file has sections.
  int LoadFileEntries();
  // Keeps the entries that need updating; 0, or -1 when none remains.
  int SelectFileEntries();
  // The what's-new text as UTF-8 lines, or nullopt.
  std::optional<std::vector<std::string>> FetchWhatsNew();
  // True when the local file needs the update; may rewrite newVersion and localPath to the
  // normalised version texts (version rule).
  bool CompareWithLocal(std::string& newVersion, std::string& localPath, int32_t newChecksum,
                        int32_t newSize);
  // ProgramFile, or the running executable when that is empty.
  std::filesystem::path ProgramPath() const;
  // Expands {WIN} {SYS} {APP} {TMP} {DOC} {PF} {LAD}. Throws std::runtime_error "Could not find
  // Local Application Data folder location." when {LAD} cannot be named.
  std::string ExpandPathPrefixes(const std::string& text) const;

  // ---- Installation ----

  // Removes what an earlier download may have left in the temporary folder under the names of
  // this update's files, then downloads and places every entry; 0, or -1 when at least one
  // entry failed. A file must match its "filesize" and "sha256"; the program component must be
  // a complete executable for this machine whose version is newversion and newer than the
  // running program's, or it is removed and counts as failed.
  int InstallFileEntries();
  // Runs the [action] part of the control file; -1 when cancelled, else 0.
  int RunPostUpdateActions();
  bool ApplicationUpdatePending() const {
    return AppUpdateAnnounced && !CancelRequested && AppComponentFetched;
  }
  // Asks (unless SilentRestart), extracts and starts the updater, and asks the program to end.
  // Throws std::runtime_error naming the file when the updater cannot be written out or the
  // program carries none; nothing is started then.
  void LaunchUpdater();
  // Writes the embedded updater as TempFolder() + "wusetup.ex_" and expands it to
  // "wusetup.exe" (made executable); returns that path. Throws std::runtime_error.
  std::filesystem::path ExtractUpdater();
  // Expands an SZDD file into the name its header gives (path with its last character
  // replaced) and deletes the compressed file. A file that is not compressed is left as it is
  // and path returned. Throws std::runtime_error when a compressed file cannot be expanded
  // (the compressed file then stays).
  std::string ExpandCompressedFile(const std::string& path);
  // Unpacks every file of the cabinet into targetFolder (the current folder when empty),
  // creating sub-folders and setting the stored file times; 0, or -1 when the cabinet cannot be
  // opened, is no cabinet, names a file outside the target folder, or a file cannot be written.
  int ExtractCabinet(const std::string& cabinetPath, const std::string& targetFolder);

 private:
  enum class Received { kComplete, kFailed, kCancelled };

  const ControlFile& ReadControlFile() const;
  void Pump();
  bool Cancelled();
  bool DownloadRefused(const std::string& url, const std::string& reason);
  // The three steps of DownloadFile.
  std::optional<int> WaitForResponse(platform::InternetRequest& request, const std::string& url,
                                     std::chrono::steady_clock::time_point deadline);
  Received ReceiveBody(platform::InternetRequest& request, platform::UniqueFile& temp,
                       const std::string& url, const std::string& target,
                       const TransferLimits& limits, std::chrono::steady_clock::time_point deadline,
                       bool& received);
  bool FollowBlocks(size_t size, const std::string& target, int64_t& total, int64_t contentLength);
  Received CheckBody(const std::string& url, int64_t total, int64_t contentLength,
                     const TransferLimits& limits, std::optional<platform::Sha256>& sha);
  bool PlaceDownloadedFile(const std::filesystem::path& temp, const std::string& target);
  // The steps of FetchControlFile after the download.
  bool ControlFileSignatureGood(const std::string& url, const std::string& text);
  std::optional<std::string> UnsafeControlFileValue(const ControlFile& control) const;
  // FetchControlText or DownloadSmallFile through FetchProgram: its reports and refusals are
  // made here as they arrive. A helper that fails, hangs, or answers what it must not is
  // stopped and counts as a failed download (reports 976 and 917). Throws
  // platform::LibraryUnavailable when the helper cannot load the transfer library.
  FetchedText FetchThroughHelper(bool controlFile, const std::string& url,
                                 const std::string& folder, std::string_view sha256);
  bool OpenInternetSession();
  FetchedText HelperFailed(bool controlFile, const std::string& url, const std::string& reason);
  // The steps of InstallFileEntries.
  void RemoveLeftovers();
  bool IsComponent(const std::string& name) const;
  std::optional<std::string> ProgramComponentProblem(const std::string& downloaded,
                                                     const std::string& name) const;
  // The hand-over memory: a failed hand-over of the same control file is not offered again
  // within a day.
  std::filesystem::path HandOverRecord() const;
  bool HandOverFailedRecently();
  void RecordHandOver();

  std::unique_ptr<platform::InternetSession> session_;
  mutable bool temporaryFolderNoted_ = false;
  // The control file as read from ControlFilePath (read once; a path set from outside is read
  // at first use).
  mutable ControlFile control_;
  mutable std::optional<std::string> controlReadFrom_;
  std::string controlText_;    // the bytes of the control file as fetched (and verified)
  std::string controlDigest_;  // their SHA-256 as the fetch helper told it, or empty
};

}  // namespace kessmar
