#include "dbclient/NetworkTransport.h"

#include <algorithm>

#include "dbclient/Discovery.h"
#include "dbclient/LocalServerRegistry.h"
#include "dbclient/ResultCodes.h"
#include "dbclient/ServerAddress.h"

namespace kessmar::dbclient {

bool ProtocolAvailable(Protocol protocol) {
  return protocol == Protocol::ptTCPIP || protocol == Protocol::ptSingleUser;
}

NetworkTransport::NetworkTransport(std::string name, Protocol protocol)
    : name_(std::move(name)), protocol_(protocol) {}

NetworkTransport::~NetworkTransport() = default;

void NetworkTransport::SetProtocol(Protocol protocol) {
  if (protocol == protocol_) return;
  protocol_ = protocol;
  if (started_) Restart();
}

std::string NetworkTransport::ServerName() const {
  return Truncated(serverName_, kServerNameReadLimit);
}

void NetworkTransport::SetServerName(std::string_view serverName) {
  std::string value = Truncated(serverName, kServerNameWriteLimit);
  if (value == serverName_) return;
  serverName_ = std::move(value);
  if (started_) Restart();
}

void NetworkTransport::Start() {
  if (started_) return;
  if (!ProtocolAvailable(protocol_)) {
    throw DatabaseError(std::string("transport ") + (name_.empty() ? "" : name_ + " ") +
                            "cannot start: protocol " + ProtocolName(protocol_) +
                            " is not available on this system",
                        sqlstate::kCannotConnect, {serverName_, "", ""});
  }
  started_ = true;
}

void NetworkTransport::Shutdown() {
  if (!started_) return;
  started_ = false;
  NotifyDependents();
}

void NetworkTransport::Restart() {
  Shutdown();
  Start();
}

void NetworkTransport::AddDependent(const void* owner, std::function<void()> onShutdown) {
  std::lock_guard<std::mutex> guard(dependentsLock_);
  std::erase_if(dependents_, [owner](const auto& entry) { return entry.first == owner; });
  dependents_.emplace_back(owner, std::move(onShutdown));
}

void NetworkTransport::RemoveDependent(const void* owner) {
  std::lock_guard<std::mutex> guard(dependentsLock_);
  std::erase_if(dependents_, [owner](const auto& entry) { return entry.first == owner; });
}

void NetworkTransport::NotifyDependents() {
  // A dependent removes itself while it is told; work on a copy.
  std::vector<std::pair<const void*, std::function<void()>>> dependents;
  {
    std::lock_guard<std::mutex> guard(dependentsLock_);
    dependents = dependents_;
  }
  for (const auto& [owner, onShutdown] : dependents) onShutdown();
}

std::vector<std::string> NetworkTransport::Broadcast() {
  Start();
  if (protocol_ == Protocol::ptSingleUser) {
    std::vector<std::string> servers;
    for (const auto& entry : LocalServerRegistry().List()) {
      servers.push_back(entry.ServerAddress());
    }
    return servers;
  }
  return DiscoverServers(ChooseDiscoveryRoute(adapter_), broadcastWait_);
}

ConnectTarget NetworkTransport::TargetFor(Protocol protocol, const std::string& serverName,
                                          const Credentials& credentials) const {
  const auto address = ServerAddress::Split(serverName);
  if (!address) {
    throw DatabaseError("\"" + serverName + "\" is not a server address (NAME@address)",
                        sqlstate::kCannotConnect, {serverName, "", ""});
  }
  ConnectTarget target;
  target.serverLabel = serverName;
  target.host = address->address;
  target.credentials = credentials;
  const bool socketFolder = !target.host.empty() && target.host[0] == '/';
  if (protocol == Protocol::ptSingleUser && !socketFolder) {
    throw DatabaseError("\"" + serverName + "\" names no server on this machine",
                        sqlstate::kCannotConnect, {serverName, "", ""});
  }
  if (socketFolder) {
    if (const auto entry = LocalServerRegistry().FindBySocketFolder(target.host)) {
      target.port = entry->port;
    }
  }
  return target;
}

std::unique_ptr<Connection> NetworkTransport::ConnectWith(Protocol protocol,
                                                          const std::string& serverName,
                                                          const Credentials& credentials,
                                                          std::chrono::milliseconds timeout) {
  return Connection::Open(TargetFor(protocol, serverName, credentials), timeout);
}

std::unique_ptr<Connection> NetworkTransport::Connect(const Credentials& credentials,
                                                      std::chrono::milliseconds timeout,
                                                      bool /*automatic*/) {
  if (!enabled_) {
    throw DatabaseError("transport " + name_ + " is disabled", sqlstate::kCannotConnect,
                        {serverName_, "", ""});
  }
  Start();
  return ConnectWith(protocol_, serverName_, credentials, timeout);
}

int NetworkTransport::ConnectRequest(const Credentials& credentials,
                                     std::chrono::milliseconds timeout) {
  try {
    Connect(credentials, timeout, false);
    lastError_.clear();
    return kResultOk;
  } catch (const std::exception& e) {
    lastError_ = e.what();
    return kServerNotFound;
  }
}

}  // namespace kessmar::dbclient
