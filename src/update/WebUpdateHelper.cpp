// The fetches of a check through the fetch helper, in a process of its own.
#include <algorithm>
#include <stdexcept>

#include "platform/HelperProcess.h"
#include "platform/lazy/LazyLibrary.h"
#include "update/FetchProtocol.h"
#include "update/WebUpdate.h"

namespace kessmar {
namespace {

// How long one wait for the helper lets the caller's events wait.
constexpr std::chrono::milliseconds kPumpInterval{5};
// A helper that has answered gets this long to end.
constexpr std::chrono::milliseconds kExitWait{2000};
// An answer's records beside the file's text.
constexpr size_t kRecordsAllowance = 1 << 20;

}  // namespace

TWebUpdate::FetchedText TWebUpdate::HelperFailed(bool controlFile, const std::string& url,
                                                 const std::string& reason) {
  ReportStatus(976, "The update fetch helper " + FetchProgram.string() + " " + reason, 1, 0);
  ReportStatus(917, url, 2, 1);
  if (controlFile) ReportStatus(925, "", 2, 0);
  return {};
}

TWebUpdate::FetchedText TWebUpdate::FetchThroughHelper(bool controlFile, const std::string& url,
                                                       const std::string& folder,
                                                       std::string_view sha256) {
  FetchRequest request;
  request.kind = controlFile ? FetchKind::kControlFile : FetchKind::kSmallFile;
  request.url = url;
  request.folder = folder;
  request.sha256 = sha256;
  request.agent = Agent;
  request.proxy = Proxy;
  request.extraCaFile = ExtraCaFile;
  request.timeOut = TimeOut;
  request.receiveTimeOut = ReceiveTimeOut;
  request.reuseConnections = ExistingConnection;
  request.deadlineMs = std::max<int64_t>(SmallFileDeadline.count(), 0);
  request.maxBytes = std::max<int64_t>(SmallFileMaxBytes, 0);
  request.keys = TrustedKeys;
  // The control file and its signature: two downloads.
  const auto deadline = std::chrono::steady_clock::now() + HelperAllowance +
                        SmallFileDeadline * (controlFile && !TrustedKeys.empty() ? 2 : 1);

  std::unique_ptr<platform::HelperProcess> helper;
  try {
    helper = std::make_unique<platform::HelperProcess>(FetchProgram, std::vector<std::string>{});
  } catch (const platform::HelperProcessError& e) {
    ReportStatus(976, e.what(), 1, 0);
    ReportStatus(917, url, 2, 1);
    if (controlFile) ReportStatus(925, "", 2, 0);
    return {};
  }
  if (!helper->Send(EncodeFetchRequest(request), deadline)) {
    // Mostly a helper that ended at once: its exit code tells more.
    if (const auto exitCode = helper->Wait(kExitWait)) {
      return HelperFailed(
          controlFile, url,
          "ended with exit code " + std::to_string(*exitCode) + " without an answer");
    }
    helper->Kill();
    return HelperFailed(controlFile, url, "did not take its request and was stopped");
  }

  FetchAnswerReader reader(static_cast<size_t>(request.maxBytes) + kRecordsAllowance);
  FetchedText result;
  std::string received;
  for (;;) {
    Pump();
    if (CancelRequested) {
      helper->Kill();
      ReportStatus(964, "", 0, 0);
      return HelperFailed(controlFile, url, "was stopped: the transfer was cancelled");
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      helper->Kill();
      return HelperFailed(controlFile, url, "did not answer in time and was stopped");
    }
    received.clear();
    const auto output =
        helper->Receive(received, std::max<size_t>(reader.Room(), 1), kPumpInterval);
    if (output == platform::HelperProcess::Output::kNothingYet) continue;
    if (output == platform::HelperProcess::Output::kEnd) break;
    std::vector<FetchEvent> events;
    try {
      events = reader.Add(received);
    } catch (const std::runtime_error& e) {
      helper->Kill();
      return HelperFailed(controlFile, url, std::string("answered what it must not: ") + e.what());
    }
    for (FetchEvent& event : events) {
      switch (event.type) {
        case FetchEvent::Type::kReport:
          ReportStatus(event.message, event.text, event.status, event.error);
          break;
        case FetchEvent::Type::kRefusal:
          LastRefusal = event.text;
          if (OnRefused) OnRefused(*this, event.text);
          break;
        case FetchEvent::Type::kLibraryMissing:
          helper->Kill();
          throw platform::LibraryUnavailable(event.library, event.text);
        case FetchEvent::Type::kResult:
          result.code = event.code;
          result.text = std::move(event.body);
          if (controlFile) controlDigest_ = std::move(event.digest);
          break;
      }
    }
    if (reader.Finished()) break;
  }
  const auto exitCode = helper->Wait(kExitWait);
  if (!reader.Finished() || exitCode != 0) {
    if (!exitCode) helper->Kill();
    controlDigest_.clear();
    return HelperFailed(controlFile, url,
                        !exitCode ? "did not end after its answer and was stopped"
                                  : "ended with exit code " + std::to_string(*exitCode) +
                                        (reader.Finished() ? "" : " without an answer"));
  }
  return result;
}

}  // namespace kessmar
