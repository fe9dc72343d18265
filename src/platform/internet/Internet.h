// HTTP and HTTPS downloads: an internet session and the requests made in it.
//
// Requests never block for long: every call that waits takes a limit, so that the caller can
// keep its event loop running between calls. Certificates are always checked; there is no way
// to turn that off.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace kessmar::platform {

class InternetError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct InternetSettings {
  std::string agent;  // the User-Agent of every request
  std::string proxy;  // empty: the system's proxy settings (the *_proxy environment variables)
  // 0: the system's time-outs (60 s to connect; a transfer that receives nothing for 60 s fails).
  std::chrono::milliseconds connectTimeout{0};
  std::chrono::milliseconds receiveTimeout{0};
  // Requests reuse the session's open connections; false opens a new connection every time.
  bool reuseConnections = true;
  // A file of PEM certificates trusted in addition to the system's certificate authorities.
  std::string extraCaFile;
};

class InternetRequest;

// One internet session: settings and a cache of open connections shared by its requests.
// Requests keep what they need of the session alive, so the session may go first.
class InternetSession {
 public:
  // Throws InternetError when the session cannot be set up.
  explicit InternetSession(const InternetSettings& settings);
  InternetSession(const InternetSession&) = delete;
  InternetSession& operator=(const InternetSession&) = delete;
  ~InternetSession();

  // Starts a GET of url (http or https only; redirects are followed, an https request only to
  // https) with request headers that forbid every cache to answer. Nothing is read yet. Throws
  // InternetError when the request cannot be started (for example a malformed url).
  std::unique_ptr<InternetRequest> OpenUrl(const std::string& url);

  struct Shared;

 private:
  std::shared_ptr<Shared> shared_;
};

class InternetRequest {
 public:
  enum class State {
    kWaiting,   // nothing new yet: call again
    kResponse,  // the response's status line and headers have arrived (WaitForResponse)
    kData,      // body data went to the sink (Receive)
    kEnd,       // the body is complete (Receive)
    kStopped,   // the sink refused data; the transfer is over
    kFailed,    // the request failed: ErrorText() says why
  };

  // Receives a piece of the body (of any size, in order); false stops the transfer.
  using Sink = std::function<bool(const char* data, size_t size)>;

  InternetRequest(std::shared_ptr<InternetSession::Shared> session, const std::string& url);
  InternetRequest(const InternetRequest&) = delete;
  InternetRequest& operator=(const InternetRequest&) = delete;
  ~InternetRequest();

  // Waits at most maxWait for the final response's headers. kResponse, kWaiting or kFailed.
  State WaitForResponse(std::chrono::milliseconds maxWait);

  // The HTTP status code of the final response (0 before it arrived).
  int StatusCode() const;
  // The announced Content-Length, -1 when none was announced.
  int64_t ContentLength() const;

  // Runs the transfer, handing every piece of body data to sink as it arrives (the sink runs
  // inside this call, and may take a while). Waits at most maxWait when nothing arrives. kData
  // when data went to the sink, kEnd at the end of a complete body, kWaiting, kStopped, or
  // kFailed (a broken connection, a body shorter than announced, a body over HTTP/1 with neither
  // a length nor chunks, which ends where the connection ends and so cannot be told complete, a
  // time-out, or a request made from inside a sink of the same session, which cannot run).
  State Receive(const Sink& sink, std::chrono::milliseconds maxWait);

  // Why the request failed, as the transfer library words it.
  const std::string& ErrorText() const { return error_; }

  struct Transfer;

 private:
  State Failed(const std::string& reason);

  std::shared_ptr<InternetSession::Shared> session_;
  std::unique_ptr<Transfer> transfer_;
  std::string error_;
};

}  // namespace kessmar::platform
