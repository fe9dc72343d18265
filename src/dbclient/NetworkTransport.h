// The client's network transport: the protocol and server address through which sessions reach
// a server, the "broadcast" that lists the servers it can reach, and the connection request.
//
//   ptTCPIP       broadcasts a discovery request over UDP (Discovery.h); connects over TCP to
//                 the address part of the server address (a socket folder also works).
//   ptSingleUser  lists the servers of this machine from the local registry
//                 (LocalServerRegistry.h); connects through the Unix-domain socket in the
//                 address part, with the port the registry gives for it.
//   ptIPXSPX, ptRegistry, ptNone   cannot start.
// Port (unless the registry gives one), user, password and TLS come from libpq's environment and
// files, never from here.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "dbclient/Connection.h"
#include "dbclient/Protocol.h"
#include "platform/net/NetworkAdapters.h"

namespace kessmar::dbclient {

class NetworkTransport {
 public:
  explicit NetworkTransport(std::string name = "", Protocol protocol = Protocol::ptTCPIP);
  NetworkTransport(const NetworkTransport&) = delete;
  NetworkTransport& operator=(const NetworkTransport&) = delete;
  virtual ~NetworkTransport();

  const std::string& Name() const { return name_; }

  Protocol GetProtocol() const { return protocol_; }
  // Changes the protocol; a started transport is restarted (its dependents are told).
  virtual void SetProtocol(Protocol protocol);

  // The server address, read back with at most 63 characters.
  std::string ServerName() const;
  // The address as it was set (at most kServerNameWriteLimit characters), uncut.
  const std::string& FullServerName() const { return serverName_; }
  // Keeps at most 255 characters; a started transport is restarted when the value changes.
  virtual void SetServerName(std::string_view serverName);

  // A disabled transport refuses connection requests.
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled) { enabled_ = enabled; }

  bool IsStarted() const { return started_; }
  // Starts the transport for its protocol. Throws DatabaseError (08001) for a protocol that
  // cannot start here (ptIPXSPX, ptRegistry, ptNone).
  void Start();
  // Stops a started transport and tells its dependents (their connections are closed).
  void Shutdown();

  // The network adapter a TCP/IP broadcast goes out of (its broadcast address, from its own
  // address); none: the limited broadcast address from any address.
  void SetAdapter(std::optional<platform::NetworkAdapter> adapter) {
    adapter_ = std::move(adapter);
  }
  const std::optional<platform::NetworkAdapter>& Adapter() const { return adapter_; }
  // How long a TCP/IP broadcast collects answers (300 ms unless set).
  void SetBroadcastWait(std::chrono::milliseconds wait) { broadcastWait_ = wait; }

  // The servers this transport can reach with its protocol, as server addresses, in the order
  // they answered. Starts the transport when needed. Throws DatabaseError when the protocol cannot
  // start or the request cannot be sent.
  std::vector<std::string> Broadcast();

  // A new connection to the server of ServerName with the protocol, within timeout. automatic:
  // asked for by a component connecting on its own (a table being opened), not by an explicit
  // open. Starts the transport when needed. Throws DatabaseError: 08001 when the transport is
  // disabled, cannot start, the server address names no server, or the server cannot be reached.
  virtual std::unique_ptr<Connection> Connect(const Credentials& credentials,
                                              std::chrono::milliseconds timeout, bool automatic);

  // The connection request as a result code: kResultOk when a connection to the server could be
  // made (it is closed again), kServerNotFound otherwise; LastError() then says why. Never
  // throws.
  int ConnectRequest(const Credentials& credentials, std::chrono::milliseconds timeout);
  const std::string& LastError() const { return lastError_; }

  // Components whose connections depend on this transport: onShutdown runs when the transport
  // stops or restarts. The caller removes its entry before it goes.
  void AddDependent(const void* owner, std::function<void()> onShutdown);
  void RemoveDependent(const void* owner);

 protected:
  // Tells every dependent that the transport stopped.
  virtual void NotifyDependents();
  // Where a connection to serverName with protocol goes. Throws DatabaseError (08001).
  ConnectTarget TargetFor(Protocol protocol, const std::string& serverName,
                          const Credentials& credentials) const;
  std::unique_ptr<Connection> ConnectWith(Protocol protocol, const std::string& serverName,
                                          const Credentials& credentials,
                                          std::chrono::milliseconds timeout);

 private:
  void Restart();

  std::string name_;
  Protocol protocol_;
  std::string serverName_;
  bool enabled_ = true;
  bool started_ = false;
  std::optional<platform::NetworkAdapter> adapter_;
  std::chrono::milliseconds broadcastWait_{300};
  std::string lastError_;
  std::mutex dependentsLock_;  // sessions of several threads may connect through one transport
  std::vector<std::pair<const void*, std::function<void()>>> dependents_;
};

// Whether protocol can run on this machine (ptTCPIP and ptSingleUser).
bool ProtocolAvailable(Protocol protocol);

}  // namespace kessmar::dbclient
