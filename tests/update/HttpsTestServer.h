// A local HTTPS server standing in for the update server: it makes its own certificate
// authority and a server certificate for 127.0.0.1 in a folder of the test, listens on a free
// loopback port and serves what the test puts on it.
#pragma once

#include <atomic>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace httplib {
class SSLServer;
struct Request;
struct Response;
}  // namespace httplib

namespace kessmar::testing {

// Writes ca.pem (a certificate authority) and server.pem / server.key (signed by it, for
// IP:127.0.0.1) into folder. Throws std::runtime_error when OpenSSL fails.
void MakeTestCertificates(const std::filesystem::path& folder);

// Writes a new Ed25519 key pair for signing updates: privateKey as "openssl genpkey" writes it,
// publicKey as "openssl pkey -pubout" does. Throws std::runtime_error when OpenSSL fails.
void MakeTestSigningKey(const std::filesystem::path& privateKey,
                        const std::filesystem::path& publicKey);

class HttpsTestServer {
 public:
  using Handler = std::function<void(const httplib::Request&, httplib::Response&)>;

  // Makes the certificates in folder and starts serving. Throws std::runtime_error (with the
  // reason) when the server cannot start.
  explicit HttpsTestServer(const std::filesystem::path& folder);
  ~HttpsTestServer();
  HttpsTestServer(const HttpsTestServer&) = delete;
  HttpsTestServer& operator=(const HttpsTestServer&) = delete;

  std::string BaseUrl() const { return "https://127.0.0.1:" + std::to_string(port_); }
  std::string Url(const std::string& path) const { return BaseUrl() + path; }
  std::filesystem::path CaFile() const { return folder_ / "ca.pem"; }

  // GET path answers 200 with content.
  void Serve(const std::string& path, std::string content);
  // GET path runs handler.
  void Handle(const std::string& path, Handler handler);
  // Announces `announced` bytes but sends only `sent` of them, then drops the connection.
  void ServeShortBody(const std::string& path, size_t announced, size_t sent);

  // How many requests for path arrived; the client ports they came from.
  int Requests(const std::string& path) const;
  std::set<int> ClientPorts() const;
  // The value of header `name` in the last request for path.
  std::string LastHeader(const std::string& path, const std::string& name) const;

 private:
  void Dispatch(const httplib::Request& request, httplib::Response& response);

  std::filesystem::path folder_;
  std::unique_ptr<httplib::SSLServer> server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Handler> handlers_;
  std::map<std::string, int> requests_;
  std::map<std::string, std::map<std::string, std::string>> lastHeaders_;
  std::set<int> clientPorts_;
};

}  // namespace kessmar::testing
