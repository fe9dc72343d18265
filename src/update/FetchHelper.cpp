#include "update/FetchHelper.h"

#include "platform/AppPaths.h"
#include "platform/EnvironmentOverrides.h"
#include "platform/Processes.h"
#include "platform/crypto/Crypto.h"
#include "platform/lazy/Libraries.h"
#include "update/FetchProtocol.h"
#include "update/WebUpdate.h"

namespace kessmar {

void ServeFetchRequest(std::string_view requestBytes,
                       const std::function<void(std::string_view)>& write) {
  const FetchRequest request = DecodeFetchRequest(requestBytes);
  try {
    platform::RequireLibcurl();
  } catch (const platform::LibraryUnavailable& e) {
    // The program words it as its own: the library, and why.
    std::string reason = e.what();
    const std::string prefix = e.Library() + " is unavailable: ";
    if (reason.rfind(prefix, 0) == 0) reason.erase(0, prefix.size());
    write(EncodeLibraryMissing(e.Library(), reason));
    write(EncodeResult(4, "", ""));
    return;
  }
  TWebUpdate web;
  web.UpdateConnect = TUpdateConnect::wucConnectSilent;
  web.Agent = request.agent;
  web.Proxy = request.proxy;
  web.ExtraCaFile = request.extraCaFile;
  web.TimeOut = request.timeOut;
  web.ReceiveTimeOut = request.receiveTimeOut;
  web.ExistingConnection = request.reuseConnections;
  web.SmallFileDeadline = std::chrono::milliseconds(request.deadlineMs);
  web.SmallFileMaxBytes = request.maxBytes;
  web.TrustedKeys = request.keys;
  // The program's temporary folder, which it made private; the signature goes there too.
  web.UseWinTempDir = false;
  web.TempDirectory = request.folder;
  if (web.OpenSession() != 0) {
    write(EncodeReport(922, "", 1, 0));
    if (request.kind == FetchKind::kControlFile) write(EncodeReport(925, "", 2, 0));
    write(EncodeResult(4, "", ""));
    return;
  }
  // Only the fetch's own reports: the program made those of its session.
  web.OnReport = [&](int message, const std::string& argument, int status, int error) {
    write(EncodeReport(message, argument, status, error));
  };
  web.OnRefused = [&](TWebUpdate&, const std::string& reason) { write(EncodeRefusal(reason)); };
  if (request.kind == FetchKind::kControlFile) {
    const TWebUpdate::FetchedText fetched = web.FetchControlText(request.url, request.folder);
    write(EncodeResult(fetched.code, fetched.text,
                       fetched.code == 0 ? Sha256Text(platform::Sha256Of(fetched.text)) : ""));
  } else {
    const auto text = web.DownloadSmallFile(request.url, request.sha256);
    write(EncodeResult(text ? 0 : 4, text.value_or(""), ""));
  }
}

std::filesystem::path DefaultFetchProgram() {
  if (auto named = platform::EnvironmentOverride(platform::env::kUpdateFetcher)) return *named;
  try {
    std::filesystem::path beside = platform::ExecutablePath().parent_path() / kFetchHelperName;
    if (platform::IsRunnableProgram(beside)) return beside;
  } catch (const std::exception&) {
    // No known program folder: the program fetches for itself.
  }
  return {};
}

}  // namespace kessmar
