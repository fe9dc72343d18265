// The internet session on libcurl: one multi handle per session holds the connection cache,
// one easy handle per request. The multi interface lets every wait be bounded.
#include <curl/curl.h>

#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

#include "platform/internet/Internet.h"
#include "platform/lazy/Libraries.h"

namespace kessmar::platform {
namespace {

constexpr long kSystemConnectTimeoutMs = 60000;
constexpr long kSystemReceiveTimeoutS = 60;
constexpr long kReceiveBufferSize = 64 * 1024;

bool IsHttps(const std::string& url) {
  return url.size() >= 8 && strncasecmp(url.c_str(), "https://", 8) == 0;
}

}  // namespace

struct InternetSession::Shared {
  // First in, last out: libcurl stays loaded until the multi handle is cleaned up.
  std::unique_ptr<LibcurlUse> library;
  InternetSettings settings;
  CURLM* multi = nullptr;
  std::string systemCaPath;
  bool driving = false;  // inside the library: its callbacks run, it cannot be entered again
  ~Shared() {
    if (multi != nullptr) curl_multi_cleanup(multi);
  }
};

struct InternetRequest::Transfer {
  Transfer() = default;
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;
  ~Transfer() {
    if (easy != nullptr) curl_easy_cleanup(easy);
    curl_slist_free_all(headers);
  }

  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  bool added = false;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  // Body data that arrives before there is a sink pauses the transfer until Receive.
  bool paused = false;
  const InternetRequest::Sink* sink = nullptr;
  bool delivered = false;
  bool refused = false;
  bool responseSeen = false;
  // Of the latest response: whether its body carries its own end.
  bool chunked = false;
  bool lengthGiven = false;
  bool done = false;
  CURLcode result = CURLE_OK;
};

namespace {

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<InternetRequest::Transfer*>(user);
  const size_t n = size * count;
  t->responseSeen = true;
  if (t->sink == nullptr) {
    t->paused = true;
    return CURL_WRITEFUNC_PAUSE;  // the library keeps the data for the sink
  }
  if (!(*t->sink)(data, n)) {
    t->refused = true;
    return 0;  // ends the transfer
  }
  t->delivered = true;
  return n;
}

// The blank line after a header block: the response is final unless it is an interim (1xx) or
// a redirect that will be followed.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<InternetRequest::Transfer*>(user);
  const size_t n = size * count;
  const std::string_view line(data, n);
  if (line.size() >= 5 && strncasecmp(data, "HTTP/", 5) == 0) {
    t->chunked = false;  // a new response (after a redirect or an interim one)
    t->lengthGiven = false;
  } else if (line.size() >= 18 && strncasecmp(data, "transfer-encoding:", 18) == 0) {
    for (size_t i = 18; i + 7 <= line.size(); ++i) {
      if (strncasecmp(data + i, "chunked", 7) == 0) t->chunked = true;
    }
  } else if (line.size() >= 15 && strncasecmp(data, "content-length:", 15) == 0) {
    t->lengthGiven = true;
  }
  if ((n == 2 && data[0] == '\r' && data[1] == '\n') || (n == 1 && data[0] == '\n')) {
    long code = 0;
    curl_easy_getinfo(t->easy, CURLINFO_RESPONSE_CODE, &code);
    char* redirect = nullptr;
    curl_easy_getinfo(t->easy, CURLINFO_REDIRECT_URL, &redirect);
    const bool followed = code >= 300 && code < 400 && redirect != nullptr;
    if (code >= 200 && !followed) t->responseSeen = true;
  }
  return n;
}

// Runs the session's transfers; waits at most maxWait for the sockets when nothing happened.
void Drive(InternetSession::Shared& session, std::chrono::milliseconds maxWait,
           InternetRequest::Transfer& mine) {
  auto progressed = [&] { return mine.done || mine.delivered || mine.responseSeen; };
  const bool before = progressed();
  session.driving = true;
  for (int round = 0; round < 2; ++round) {
    int running = 0;
    curl_multi_perform(session.multi, &running);
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(session.multi, &left)) {
      if (message->msg != CURLMSG_DONE) continue;
      InternetRequest::Transfer* t = nullptr;
      curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &t);
      if (t != nullptr) {
        t->done = true;
        t->result = message->data.result;
      }
    }
    if (round == 1 || (progressed() && !before) || mine.done || mine.delivered ||
        maxWait.count() <= 0) {
      break;
    }
    curl_multi_poll(session.multi, nullptr, 0, static_cast<int>(maxWait.count()), nullptr);
  }
  session.driving = false;
}

}  // namespace

InternetSession::InternetSession(const InternetSettings& settings)
    : shared_(std::make_shared<Shared>()) {
  // libcurl is loaded for the first session, and unloaded after the last one.
  try {
    shared_->library = std::make_unique<LibcurlUse>();
  } catch (const LibraryUnavailable& e) {
    throw InternetError(e.what());
  }
  shared_->settings = settings;
  shared_->multi = curl_multi_init();
  if (shared_->multi == nullptr) throw InternetError("Cannot open an internet session");
  if (!settings.reuseConnections) curl_multi_setopt(shared_->multi, CURLMOPT_MAXCONNECTS, 0L);
  // The library's own certificate folder, kept when an extra file of authorities is named.
  if (CURL* probe = curl_easy_init()) {
    char* path = nullptr;
    if (curl_easy_getinfo(probe, CURLINFO_CAPATH, &path) == CURLE_OK && path != nullptr) {
      shared_->systemCaPath = path;
    }
    curl_easy_cleanup(probe);
  }
}

InternetSession::~InternetSession() = default;

std::unique_ptr<InternetRequest> InternetSession::OpenUrl(const std::string& url) {
  return std::make_unique<InternetRequest>(shared_, url);
}

InternetRequest::InternetRequest(std::shared_ptr<InternetSession::Shared> session,
                                 const std::string& url)
    : session_(std::move(session)), transfer_(std::make_unique<Transfer>()) {
  Transfer& t = *transfer_;
  const InternetSettings& s = session_->settings;
  t.easy = curl_easy_init();
  if (t.easy == nullptr) throw InternetError("Cannot create a request for " + url);
  CURL* e = t.easy;
  curl_easy_setopt(e, CURLOPT_PRIVATE, &t);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, t.errorBuffer);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, IsHttps(url) ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!s.extraCaFile.empty()) {
    curl_easy_setopt(e, CURLOPT_CAINFO, s.extraCaFile.c_str());
    if (!session_->systemCaPath.empty()) {
      curl_easy_setopt(e, CURLOPT_CAPATH, session_->systemCaPath.c_str());
    }
  }
  if (!s.agent.empty()) curl_easy_setopt(e, CURLOPT_USERAGENT, s.agent.c_str());
  if (!s.proxy.empty()) curl_easy_setopt(e, CURLOPT_PROXY, s.proxy.c_str());
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS,
                   s.connectTimeout.count() > 0 ? static_cast<long>(s.connectTimeout.count())
                                                : kSystemConnectTimeoutMs);
  const long receiveS = s.receiveTimeout.count() > 0
                            ? static_cast<long>((s.receiveTimeout.count() + 999) / 1000)
                            : kSystemReceiveTimeoutS;
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, receiveS);
  if (!s.reuseConnections) {
    curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  }
  // Neither the server's nor any proxy's cache may answer.
  t.headers = curl_slist_append(t.headers, "Cache-Control: no-cache");
  t.headers = curl_slist_append(t.headers, "Pragma: no-cache");
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, t.headers);
  if (curl_easy_setopt(e, CURLOPT_URL, url.c_str()) != CURLE_OK) {
    throw InternetError("Cannot request " + url);
  }
  if (curl_multi_add_handle(session_->multi, e) != CURLM_OK) {
    throw InternetError("Cannot start the request for " + url);
  }
  t.added = true;
}

InternetRequest::~InternetRequest() {
  // The transfer itself (its handle and headers) goes with transfer_, also when the
  // constructor failed half-way.
  if (transfer_->added) curl_multi_remove_handle(session_->multi, transfer_->easy);
}

InternetRequest::State InternetRequest::Failed(const std::string& reason) {
  error_ = reason;
  return State::kFailed;
}

InternetRequest::State InternetRequest::WaitForResponse(std::chrono::milliseconds maxWait) {
  Transfer& t = *transfer_;
  if (session_->driving) return Failed("The internet session is busy with another transfer");
  if (!t.responseSeen && !t.done) Drive(*session_, maxWait, t);
  if (t.done && t.result != CURLE_OK) {
    return Failed(t.errorBuffer[0] != '\0' ? t.errorBuffer : curl_easy_strerror(t.result));
  }
  return (t.responseSeen || t.done) ? State::kResponse : State::kWaiting;
}

int InternetRequest::StatusCode() const {
  long code = 0;
  curl_easy_getinfo(transfer_->easy, CURLINFO_RESPONSE_CODE, &code);
  return static_cast<int>(code);
}

int64_t InternetRequest::ContentLength() const {
  curl_off_t length = -1;
  if (curl_easy_getinfo(transfer_->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) {
    return -1;
  }
  return static_cast<int64_t>(length);
}

InternetRequest::State InternetRequest::Receive(const Sink& sink,
                                                std::chrono::milliseconds maxWait) {
  Transfer& t = *transfer_;
  if (t.refused) return State::kStopped;
  if (!t.done) {
    if (session_->driving) return Failed("The internet session is busy with another transfer");
    t.sink = &sink;
    t.delivered = false;
    if (t.paused) {
      // Hands over the data held since the headers, then goes on receiving.
      t.paused = false;
      session_->driving = true;
      curl_easy_pause(t.easy, CURLPAUSE_CONT);
      session_->driving = false;
    }
    Drive(*session_, maxWait, t);
    t.sink = nullptr;
    if (t.refused) return State::kStopped;
    if (t.delivered) return State::kData;
  }
  if (!t.done) return State::kWaiting;
  if (t.result != CURLE_OK) {
    return Failed(t.errorBuffer[0] != '\0' ? t.errorBuffer : curl_easy_strerror(t.result));
  }
  // Over HTTP/1 a body without length or chunks ends where the connection ends, and so does
  // one cut short on the way: it cannot be told complete.
  long version = 0;
  curl_easy_getinfo(t.easy, CURLINFO_HTTP_VERSION, &version);
  if (version < CURL_HTTP_VERSION_2_0 && !t.chunked && !t.lengthGiven) {
    return Failed("The body ended with the connection, without a length to tell it complete");
  }
  return State::kEnd;
}

}  // namespace kessmar::platform
