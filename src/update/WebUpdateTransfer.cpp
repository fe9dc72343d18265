// The internet session and the transfer of single files.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <fstream>
#include <system_error>

#include "platform/FileTimes.h"
#include "platform/Files.h"
#include "platform/KnownFolders.h"
#include "platform/LocalTime.h"
#include "platform/Processes.h"
#include "platform/crypto/Crypto.h"
#include "platform/internet/Internet.h"
#include "update/FileMoves.h"
#include "update/StatusMessages.h"
#include "update/UpdateServer.h"
#include "update/WebUpdate.h"

namespace kessmar {
namespace {

constexpr size_t kBlockSize = 4096;
// The longest a transfer waits for the network before the caller's events run again.
constexpr std::chrono::milliseconds kPumpInterval{5};

std::string TwoDigits(int n) {
  return (n >= 0 && n < 10 ? "0" : "") + std::to_string(n);
}

// "dd/mm/yyyy hh:nn:ss" of now, local time.
std::string LogTimestamp() {
  const std::tm t = platform::LocalTime(std::chrono::system_clock::now());
  return TwoDigits(t.tm_mday) + "/" + TwoDigits(t.tm_mon + 1) + "/" +
         std::to_string(t.tm_year + 1900) + " " + TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) +
         ":" + TwoDigits(t.tm_sec);
}

}  // namespace

TWebUpdate::TWebUpdate()
    : StartProcess([](const std::filesystem::path& program, const std::vector<std::string>& args) {
        return platform::StartDetachedProcess(program, args);
      }) {}

TWebUpdate::~TWebUpdate() = default;

void TWebUpdate::Pump() {
  if (ProcessMessages) ProcessMessages();
}

bool TWebUpdate::Cancelled() {
  if (CancelRequested) ReportStatus(964, "", 0, 0);
  return CancelRequested;
}

int TWebUpdate::OpenSession() {
  session_.reset();
  SessionOpen = false;
  ReportStatus(918, "", 3, 0);
  if (UpdateConnect == TUpdateConnect::wucNone) return 0;
  // There is no dial-up here: the system always counts as online.
  ReportStatus(921, "", 3, 0);
  if (!FetchProgram.empty()) {
    // The helper opens its own; the files of an update open one here when they are fetched.
    SessionOpen = true;
    return 0;
  }
  if (!OpenInternetSession()) {
    ReportStatus(922, "", 1, 0);
    return 2;
  }
  SessionOpen = true;
  return 0;
}

bool TWebUpdate::OpenInternetSession() {
  platform::InternetSettings settings;
  settings.agent = Agent;
  settings.proxy = Proxy;
  settings.connectTimeout = std::chrono::milliseconds(std::max<int32_t>(TimeOut, 0));
  settings.receiveTimeout = std::chrono::milliseconds(std::max<int32_t>(ReceiveTimeOut, 0));
  settings.reuseConnections = ExistingConnection;
  settings.extraCaFile = ExtraCaFile;
  try {
    session_ = std::make_unique<platform::InternetSession>(settings);
  } catch (const platform::InternetError&) {
    return false;
  }
  return true;
}

void TWebUpdate::CloseSession() {
  if (session_ || SessionOpen) {
    session_.reset();
    ReportStatus(949, "", 3, 0);
  }
  if (!ControlFilePath.empty()) {
    std::error_code ignored;
    std::filesystem::remove(ControlFilePath, ignored);
  }
  control_ = ControlFile();
  controlReadFrom_.reset();
  controlText_.clear();
  controlDigest_.clear();
  SessionOpen = false;
}

std::string TWebUpdate::UrlFileName(const std::string& url) {
  std::string name = url;
  for (const char mark : {'/', '\\', '?'}) {
    if (const auto at = name.rfind(mark); at != std::string::npos) name.erase(0, at + 1);
  }
  return name;
}

std::string TWebUpdate::TempFolder() const {
  std::string note;
  std::string folder = UseWinTempDir ? platform::TemporaryFolder(&note).string() : TempDirectory;
  if (!note.empty() && !temporaryFolderNoted_) {
    temporaryFolderNoted_ = true;
    if (OnNotice) OnNotice(note);
  }
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

void TWebUpdate::AppendToLog(const std::string& line) {
  try {
    std::filesystem::path file = LogFileName;
    if (LogFileName.find_first_of("\\/:") == std::string::npos) {
      file = platform::DocumentsFolder() / LogFileName;
    }
    std::ofstream out(file, std::ios::binary | std::ios::app);
    out << line << "\r\n";
  } catch (...) {
    // A log line that cannot be written is dropped.
  }
}

void TWebUpdate::ReportStatus(int message, const std::string& argument, int status, int error) {
  const std::string text = StatusMessage(message, argument);
  if (Logging) {
    AppendToLog(LogTimestamp() + " : [" + std::to_string(message) + "] " + text +
                " (Status:" + std::to_string(status) + ") (Error:" + std::to_string(error) + ")");
  }
  if (OnStatus) OnStatus(*this, text, status, error);
  if (OnReport) OnReport(message, argument, status, error);
}

bool TWebUpdate::DownloadRefused(const std::string& url, const std::string& reason) {
  Refuse(reason);
  ReportStatus(917, url, 2, 1);
  return false;
}

void TWebUpdate::Refuse(const std::string& reason) {
  LastRefusal = reason;
  ReportStatus(976, reason, 1, 0);
  if (OnRefused) OnRefused(*this, reason);
}

TWebUpdate::TransferLimits TWebUpdate::FileLimits(
    int64_t bytes, std::optional<platform::Sha256Digest> sha256) const {
  TransferLimits limits;
  limits.maxBytes = bytes > 0 ? bytes : FileMaxBytes;
  limits.exactBytes = bytes > 0 ? bytes : -1;
  limits.sha256 = sha256;
  limits.deadline = FileDeadlineBase + std::chrono::milliseconds(limits.maxBytes * 1000 /
                                                                 std::max<int64_t>(MinimumRate, 1));
  return limits;
}

bool TWebUpdate::DownloadFile(const std::string& url, const std::string& targetFolder) {
  return DownloadFile(url, targetFolder, FileLimits(0, std::nullopt));
}

bool TWebUpdate::DownloadFile(const std::string& url, const std::string& targetFolder,
                              const TransferLimits& limits) {
  ReportStatus(915, url, 3, 0);
  const std::string name = UrlFileName(url);
  const std::string target = targetFolder + name;
  // After a cancel every download of the run ends at once.
  if (Cancelled()) return false;
  auto openFailed = [&](const std::string& reason) {
    ReportStatus(976, reason, 1, 0);
    ReportStatus(917, url, 2, 1);
    return false;
  };
  if (!session_ && SessionOpen && !OpenInternetSession()) {
    return openFailed("Cannot open an internet session");
  }
  if (!session_) return openFailed("No internet session is open");
  // Anyone on the way could change what plain http carries; no request is made.
  if (!IsHttpsUrl(url)) return DownloadRefused(url, "Not an https address: " + url);
  // A name that is no file name would make the target the folder itself or its parent.
  if (name.empty() || name == "." || name == "..") return openFailed("No file name in " + url);

  const auto deadline = std::chrono::steady_clock::now() + limits.deadline;
  std::unique_ptr<platform::InternetRequest> request;
  try {
    request = session_->OpenUrl(url);
  } catch (const platform::InternetError& e) {
    return openFailed(e.what());
  }
  const auto code = WaitForResponse(*request, url, deadline);
  if (!code) return false;
  if (*code >= 300) {
    ReportStatus(916, std::to_string(*code), 6, *code);
    return false;
  }
  const int64_t announced = request->ContentLength();
  if (announced > limits.maxBytes ||
      (limits.exactBytes >= 0 && announced >= 0 && announced != limits.exactBytes)) {
    return DownloadRefused(
        url, "The server announces " + std::to_string(announced) + " bytes for " + url +
                 "; expected " +
                 std::to_string(limits.exactBytes >= 0 ? limits.exactBytes : limits.maxBytes) +
                 (limits.exactBytes >= 0 ? "" : " at most"));
  }

  std::optional<platform::UniqueFile> temp;
  try {
    temp.emplace(TempFolder(), "WUPD");
  } catch (const std::exception& e) {
    return openFailed(std::string("Cannot create a temporary file: ") + e.what());
  }
  bool received = false;
  const Received result = ReceiveBody(*request, *temp, url, target, limits, deadline, received);
  request.reset();
  if (result != Received::kComplete) {
    std::error_code ec;
    if (!std::filesystem::remove(temp->Path(), ec) && ec) {
      AppendToLog("Unable to delete file " + temp->Path().string());
    }
    return false;
  }
  const bool placed = PlaceDownloadedFile(temp->Path(), target);
  return received && placed;
}

// Waits for the response's headers, running the caller's events meanwhile. The status code, or
// nullopt when the request failed, was cancelled or ran past its deadline.
std::optional<int> TWebUpdate::WaitForResponse(platform::InternetRequest& request,
                                               const std::string& url,
                                               std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto state = request.WaitForResponse(kPumpInterval);
    if (state == platform::InternetRequest::State::kResponse) return request.StatusCode();
    if (state == platform::InternetRequest::State::kFailed) {
      ReportStatus(976, request.ErrorText(), 1, 0);
      ReportStatus(917, url, 2, 1);
      return std::nullopt;
    }
    Pump();
    if (Cancelled()) return std::nullopt;
    if (std::chrono::steady_clock::now() > deadline) {
      DownloadRefused(url, "No answer from " + url + " in time");
      return std::nullopt;
    }
  }
}

// Receives the body into temp: progress, the cancel test and the caller's events follow every
// 4096-byte block; the size and the SHA-256 are checked against limits as the data arrives and
// at its end. The sink runs inside the transfer library: an error of a hook is held and raised
// again once the library has returned (temp removed first).
TWebUpdate::Received TWebUpdate::ReceiveBody(platform::InternetRequest& request,
                                             platform::UniqueFile& temp, const std::string& url,
                                             const std::string& target,
                                             const TransferLimits& limits,
                                             std::chrono::steady_clock::time_point deadline,
                                             bool& received) {
  const int64_t contentLength = std::max<int64_t>(request.ContentLength(), 0);
  std::optional<platform::Sha256> sha;
  if (limits.sha256) sha.emplace();
  bool failed = false;
  int64_t total = 0;
  std::exception_ptr hookError;
  const platform::InternetRequest::Sink sink = [&](const char* data, size_t size) {
    if (total + static_cast<int64_t>(size) > limits.maxBytes) {
      Refuse(url + " sends more than " + std::to_string(limits.maxBytes) + " bytes");
      failed = true;
      return false;
    }
    try {
      temp.Write(data, size);
      if (sha) sha->Update(data, size);
    } catch (const std::exception& e) {
      ReportStatus(976, temp.Path().string() + ": " + e.what(), 1, 0);
      failed = true;
      return false;
    }
    received = true;
    try {
      return FollowBlocks(size, target, total, contentLength);
    } catch (...) {
      hookError = std::current_exception();
      failed = true;
      return false;
    }
  };
  while (!CancelRequested && !failed) {
    Pump();
    const auto state = request.Receive(sink, kPumpInterval);
    if (state == platform::InternetRequest::State::kEnd) {
      if (OnFileProgress) OnFileProgress(*this, target, total, contentLength);
      break;
    }
    if (state == platform::InternetRequest::State::kFailed) {
      Refuse(url + ": " + request.ErrorText());
      failed = true;
    }
    if (state == platform::InternetRequest::State::kStopped) break;
    if (!failed && std::chrono::steady_clock::now() > deadline) {
      Refuse(url + " did not arrive in time");
      failed = true;
    }
  }
  try {
    temp.Close();
  } catch (const platform::FileError& e) {
    if (!hookError) ReportStatus(976, temp.Path().string() + ": " + e.what(), 1, 0);
    failed = true;
  }
  if (hookError) {
    std::error_code ignored;
    std::filesystem::remove(temp.Path(), ignored);
    std::rethrow_exception(hookError);
  }
  if (CancelRequested) return Received::kCancelled;
  if (failed) return Received::kFailed;
  return CheckBody(url, total, contentLength, limits, sha);
}

// Progress, the cancel test and the caller's events for every 4096-byte block of a piece of
// size bytes; false when the transfer is to stop.
bool TWebUpdate::FollowBlocks(size_t size, const std::string& target, int64_t& total,
                              int64_t contentLength) {
  for (size_t offset = 0; offset < size; offset += kBlockSize) {
    total += static_cast<int64_t>(std::min(kBlockSize, size - offset));
    if (OnFileProgress) OnFileProgress(*this, target, total, contentLength);
    if (CancelRequested) {
      ReportStatus(964, "", 0, 0);
      return false;
    }
    Pump();
    if (CancelRequested) return false;
  }
  return true;
}

// The whole body against what was announced and what limits ask.
TWebUpdate::Received TWebUpdate::CheckBody(const std::string& url, int64_t total,
                                           int64_t contentLength, const TransferLimits& limits,
                                           std::optional<platform::Sha256>& sha) {
  if (contentLength > 0 && total != contentLength) {
    ReportStatus(908, url, 20, 10);
    return Received::kFailed;
  }
  if (limits.exactBytes >= 0 && total != limits.exactBytes) {
    Refuse(url + " has " + std::to_string(total) + " bytes, not the " +
           std::to_string(limits.exactBytes) + " of its filesize");
    return Received::kFailed;
  }
  if (sha && sha->Finish() != *limits.sha256) {
    Refuse(url + " does not have the SHA-256 its control file states");
    return Received::kFailed;
  }
  return Received::kComplete;
}

// Puts the complete download in the target's place in one step; an existing target (read-only
// or not) is replaced, and stays as it was when that fails.
bool TWebUpdate::PlaceDownloadedFile(const std::filesystem::path& temp, const std::string& target) {
  std::error_code ec;
  bool placed = true;
  if (std::filesystem::is_directory(std::filesystem::symlink_status(target, ec))) {
    ReportStatus(972, target, 19, 6);
    AppendToLog("Unable to delete file " + target);
    placed = false;
  } else if (!MoveFileReplacing(temp, target)) {
    platform::ClearReadOnlyAndHidden(target);
    if (!MoveFileReplacing(temp, target)) {
      ReportStatus(973, temp.string() + " to " + target, 19, 7);
      AppendToLog("Unable to rename file " + temp.string() + " to " + target);
      placed = false;
    }
  }
  if (!placed) std::filesystem::remove(temp, ec);
  return placed;
}

}  // namespace kessmar
