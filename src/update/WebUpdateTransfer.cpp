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
#include "platform/internet/Internet.h"
#include "update/FileMoves.h"
#include "update/StatusMessages.h"
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
    ReportStatus(922, "", 1, 0);
    return 2;
  }
  SessionOpen = true;
  return 0;
}

void TWebUpdate::CloseSession() {
  if (session_) {
    session_.reset();
    ReportStatus(949, "", 3, 0);
  }
  if (!ControlFilePath.empty()) {
    std::error_code ignored;
    std::filesystem::remove(ControlFilePath, ignored);
  }
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
  std::string folder = UseWinTempDir ? platform::TemporaryFolder().string() : TempDirectory;
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
}

bool TWebUpdate::DownloadFile(const std::string& url, const std::string& targetFolder) {
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
  if (!session_) return openFailed("No internet session is open");
  // A name that is no file name would make the target the folder itself or its parent.
  if (name.empty() || name == "." || name == "..") return openFailed("No file name in " + url);

  std::unique_ptr<platform::InternetRequest> request;
  try {
    request = session_->OpenUrl(url);
  } catch (const platform::InternetError& e) {
    return openFailed(e.what());
  }
  for (;;) {
    const auto state = request->WaitForResponse(kPumpInterval);
    if (state == platform::InternetRequest::State::kResponse) break;
    if (state == platform::InternetRequest::State::kFailed) return openFailed(request->ErrorText());
    Pump();
    if (Cancelled()) return false;
  }
  const int code = request->StatusCode();
  if (code >= 300) {
    ReportStatus(916, std::to_string(code), 6, code);
    return false;
  }

  std::optional<platform::UniqueFile> temp;
  try {
    temp.emplace(TempFolder(), "WUPD");
  } catch (const std::exception& e) {
    return openFailed(std::string("Cannot create a temporary file: ") + e.what());
  }
  const int64_t contentLength = std::max<int64_t>(request->ContentLength(), 0);
  bool failed = false;
  bool received = false;
  int64_t total = 0;
  // The data goes to the file as it arrives; progress, the cancel test and the caller's events
  // follow every 4096-byte block of it. The sink runs inside the transfer library: an error of
  // a hook is held and raised again once the library has returned.
  std::exception_ptr hookError;
  const platform::InternetRequest::Sink sink = [&](const char* data, size_t size) {
    try {
      temp->Write(data, size);
    } catch (const platform::FileError& e) {
      ReportStatus(976, temp->Path().string() + ": " + e.what(), 1, 0);
      failed = true;
      return false;
    }
    received = true;
    try {
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
    } catch (...) {
      hookError = std::current_exception();
      failed = true;
      return false;
    }
    return true;
  };
  while (!CancelRequested && !failed) {
    Pump();
    const auto state = request->Receive(sink, kPumpInterval);
    if (state == platform::InternetRequest::State::kEnd) {
      if (OnFileProgress) OnFileProgress(*this, target, total, contentLength);
      break;
    }
    if (state == platform::InternetRequest::State::kFailed) failed = true;
    if (state == platform::InternetRequest::State::kStopped) break;
  }
  request.reset();
  if (hookError) {
    try {
      temp->Close();
    } catch (const platform::FileError&) {
      // The hook's error is the one to report.
    }
    std::error_code ignored;
    std::filesystem::remove(temp->Path(), ignored);
    std::rethrow_exception(hookError);
  }
  try {
    temp->Close();
  } catch (const platform::FileError& e) {
    ReportStatus(976, temp->Path().string() + ": " + e.what(), 1, 0);
    failed = true;
  }
  if (contentLength > 0 && !failed && total != contentLength) {
    ReportStatus(908, url, 20, 10);
    failed = true;
  }
  if (CancelRequested || failed) {
    std::error_code ec;
    if (!std::filesystem::remove(temp->Path(), ec) && ec) {
      AppendToLog("Unable to delete file " + temp->Path().string());
    }
    return false;
  }
  const bool placed = PlaceDownloadedFile(temp->Path(), target);
  return received && placed;
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
