// Clients: what a session names to reach a server. A Client reaches it through a remote server
// engine; a CommsEngine (communications engine) through its own transport with its own protocol
// and server address, or through a remote server engine while it is attached to one.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/NetworkTransport.h"
#include "dbclient/RemoteServerEngine.h"

namespace kessmar::dbclient {

class Session;

class Client {
 public:
  explicit Client(std::string name, RemoteServerEngine* engine = nullptr);
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;
  virtual ~Client();

  const std::string& Name() const { return name_; }

  // Not owned; it must outlive the sessions connected through this client.
  void SetServerEngine(RemoteServerEngine* engine) { engine_ = engine; }
  RemoteServerEngine* ServerEngine() const { return engine_; }

  // Active while a session is connected through it. Deactivating closes its sessions.
  bool Active() const { return active_.load(); }
  void SetActive(bool active);

  // Time-out of connection requests (2000 ms unless set).
  std::chrono::milliseconds Timeout() const { return timeout_; }
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }

  // The transport its sessions connect through. Throws DatabaseError (08001) when there is none.
  virtual NetworkTransport& Transport();

 private:
  friend class Session;
  void Attach(Session* session);
  void Detach(Session* session);
  // The sessions attached now, taken under the lock.
  std::vector<Session*> Sessions() const;

  std::string name_;
  RemoteServerEngine* engine_;
  std::atomic<bool> active_ = false;
  std::chrono::milliseconds timeout_{2000};
  // Sessions of several threads may attach to one client, as they connect through one transport.
  mutable std::mutex sessionsLock_;
  std::vector<Session*> sessions_;
};

class CommsEngine : public Client {
 public:
  CommsEngine(std::string name, Protocol protocol, RemoteServerEngine* engine = nullptr);

  // Its own transport's server address and protocol.
  std::string ServerName() const { return own_.ServerName(); }
  void SetServerName(std::string_view serverName) { own_.SetServerName(serverName); }
  Protocol GetProtocol() const { return own_.GetProtocol(); }
  void SetProtocol(Protocol protocol) { own_.SetProtocol(protocol); }

  // The attached engine's transport, else its own.
  NetworkTransport& Transport() override;
  NetworkTransport& OwnTransport() { return own_; }

 private:
  NetworkTransport own_;
};

}  // namespace kessmar::dbclient
