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
#include "update/UpdateTypes.h"

namespace kessmar {

namespace platform {
class InternetSession;
}
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

  // ---- Internet session and file transfer ----

  // 0 opened; 1 no connection and UpdateConnect is wucNoConnect; 2 the session could not be
  // opened; 3 dialling failed. Here the system always counts as online, so only 0 and 2 occur.
  // With wucNone returns 0 without opening anything.
  int OpenSession();
  // Closes the session (if open) and deletes the control-file copy when ControlFilePath is set.
  void CloseSession();
  // Downloads url to targetFolder + UrlFileName(url). True only when data arrived and the file
  // is in place; every failure is a report and false (see docs/update.md for the details). The
  // data goes to a "WUPD" file in TempFolder() first and replaces the target only when the
  // transfer is complete; an existing target stays untouched on failure. An exception thrown by
  // OnFileProgress or ProcessMessages ends the transfer (its file removed) and is rethrown.
  bool DownloadFile(const std::string& url, const std::string& targetFolder);
  // Everything after the last "/", then after the last "\", then after the last "?".
  static std::string UrlFileName(const std::string& url);
  // The temporary folder, ending in "/". Throws std::runtime_error when the system's
  // temporary folder cannot be made (see platform/KnownFolders.h).
  std::string TempFolder() const;
  void RequestCancel() { CancelRequested = true; }
  // Appends line + CR LF to the log file (LogFileName, in the documents folder unless it holds
  // a "/", "\" or ":"); drops the line when the file cannot be written. Never throws.
  void AppendToLog(const std::string& line);
  // Status report: calls OnStatus, and with Logging on appends the dated line to the log.
  void ReportStatus(int message, const std::string& argument, int status, int error);

  // ---- Control file and version check ----

  // The composite check: opens a session, fetches and evaluates the control file, fetches the
  // what's-new text for OnDownloadedWhatsNew, closes the session. True when an update is
  // available.
  bool QueryUpdateAvailable(bool changeToProgramFolder);
  // 0 fetched; 4 control file not found; 5 signature mismatch (only with SignatureCheck).
  int FetchControlFile();
  UpdateOutcome EvaluateControlFile();
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
  // Expands {WIN} {SYS} {APP} {TMP} {DOC} {PF} {LAD}. Throws std::runtime_error "Could not find
  // Local Application Data folder location." when {LAD} cannot be named.
  std::string ExpandPathPrefixes(const std::string& text) const;

  // ---- Installation ----

  // Downloads and places every entry; 0, or -1 when at least one entry failed.
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
  ControlFile ReadControlFile() const;
  std::filesystem::path ProgramPath() const;
  void Pump();
  bool Cancelled();
  bool PlaceDownloadedFile(const std::filesystem::path& temp, const std::string& target);

  std::unique_ptr<platform::InternetSession> session_;
};

}  // namespace kessmar
