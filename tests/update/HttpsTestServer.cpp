#include "update/HttpsTestServer.h"

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace kessmar::testing {
namespace {

[[noreturn]] void Fail(const std::string& what) {
  throw std::runtime_error("Test certificates: " + what);
}

struct KeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
  void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

void AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) Fail(std::string("extension ") + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

Cert NewCertificate(EVP_PKEY* key, const char* commonName, long serial) {
  Cert cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 30L * 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("Kessmar tests"), -1, -1, 0);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  return cert;
}

void WritePem(const std::filesystem::path& file, const std::function<int(FILE*)>& write) {
  FILE* out = std::fopen(file.c_str(), "w");
  if (out == nullptr) Fail("cannot write " + file.string());
  const int ok = write(out);
  std::fclose(out);
  if (ok != 1) Fail("cannot write " + file.string());
}

}  // namespace

void MakeTestCertificates(const std::filesystem::path& folder) {
  Key caKey(EVP_EC_gen("P-256"));
  Key serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) Fail("key generation");

  Cert ca = NewCertificate(caKey.get(), "Kessmar Test CA", 1);
  X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get()));
  AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE");
  AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign");
  AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash");
  if (X509_sign(ca.get(), caKey.get(), EVP_sha256()) == 0) Fail("signing the CA");

  Cert server = NewCertificate(serverKey.get(), "127.0.0.1", 2);
  X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get()));
  AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE");
  AddExtension(server.get(), ca.get(), NID_key_usage, "critical,digitalSignature");
  AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth");
  AddExtension(server.get(), ca.get(), NID_subject_alt_name, "IP:127.0.0.1");
  AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid");
  if (X509_sign(server.get(), caKey.get(), EVP_sha256()) == 0) Fail("signing the server");

  WritePem(folder / "ca.pem", [&](FILE* f) { return PEM_write_X509(f, ca.get()); });
  WritePem(folder / "server.pem", [&](FILE* f) { return PEM_write_X509(f, server.get()); });
  WritePem(folder / "server.key", [&](FILE* f) {
    return PEM_write_PrivateKey(f, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
}

HttpsTestServer::HttpsTestServer(const std::filesystem::path& folder) : folder_(folder) {
  std::filesystem::create_directories(folder);
  MakeTestCertificates(folder);
  server_ = std::make_unique<httplib::SSLServer>((folder / "server.pem").c_str(),
                                                 (folder / "server.key").c_str());
  if (!server_->is_valid()) throw std::runtime_error("The HTTPS test server cannot load its keys");
  server_->Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
    Dispatch(request, response);
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("The HTTPS test server cannot bind to 127.0.0.1");
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server_->is_running()) {
    if (std::chrono::steady_clock::now() > deadline) {
      throw std::runtime_error("The HTTPS test server did not start");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

HttpsTestServer::~HttpsTestServer() {
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

void HttpsTestServer::Handle(const std::string& path, Handler handler) {
  std::lock_guard lock(mutex_);
  handlers_[path] = std::move(handler);
}

void HttpsTestServer::Serve(const std::string& path, std::string content) {
  Handle(path, [content = std::move(content)](const httplib::Request&, httplib::Response& res) {
    res.set_content(content, "application/octet-stream");
  });
}

void HttpsTestServer::ServeShortBody(const std::string& path, size_t announced, size_t sent) {
  Handle(path, [announced, sent](const httplib::Request&, httplib::Response& res) {
    res.set_content_provider(announced, "application/octet-stream",
                             [sent](size_t offset, size_t, httplib::DataSink& sink) {
                               if (offset >= sent)
                                 return false;  // drops the connection before the announced end
                               const std::string part(sent - offset, 'x');
                               sink.write(part.data(), part.size());
                               return true;
                             });
  });
}

void HttpsTestServer::Dispatch(const httplib::Request& request, httplib::Response& response) {
  Handler handler;
  {
    std::lock_guard lock(mutex_);
    ++requests_[request.path];
    clientPorts_.insert(request.remote_port);
    auto& headers = lastHeaders_[request.path];
    headers.clear();
    for (const auto& [name, value] : request.headers) headers[name] = value;
    if (auto it = handlers_.find(request.path); it != handlers_.end()) handler = it->second;
  }
  if (handler) {
    handler(request, response);
  } else {
    response.status = 404;
    response.set_content("Not found", "text/plain");
  }
}

int HttpsTestServer::Requests(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = requests_.find(path);
  return it == requests_.end() ? 0 : it->second;
}

std::set<int> HttpsTestServer::ClientPorts() const {
  std::lock_guard lock(mutex_);
  return clientPorts_;
}

std::string HttpsTestServer::LastHeader(const std::string& path, const std::string& name) const {
  std::lock_guard lock(mutex_);
  auto it = lastHeaders_.find(path);
  if (it == lastHeaders_.end()) return {};
  auto h = it->second.find(name);
  return h == it->second.end() ? std::string() : h->second;
}

}  // namespace kessmar::testing
