#include "backoffice/TFFConnectionManager.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

#include "common/Text.h"
#include "dbclient/Client.h"
#include "dbclient/DatabaseError.h"
#include "dbclient/RemoteServerEngine.h"
#include "dbclient/ResultCodes.h"
#include "dbclient/Session.h"

namespace kessmar {
namespace {

using dbclient::kResultOk;
using dbclient::kServerNotFound;
using std::chrono::milliseconds;

// The name the probe carries while it broadcasts; any fixed name does.
constexpr const char* kPlaceholderServer = "Kessmar@Search";

constexpr milliseconds kNetworkProbeTimeout{2000};
constexpr milliseconds kSingleUserProbeLimit{1000};

// Holds a flag up for a scope, also when an exception passes.
class Flag {
 public:
  explicit Flag(bool& flag) : flag_(flag) { flag_ = true; }
  Flag(const Flag&) = delete;
  Flag& operator=(const Flag&) = delete;
  ~Flag() { flag_ = false; }

 private:
  bool& flag_;
};

bool HasAlias(const std::vector<std::string>& aliases, const std::string& wanted) {
  return std::any_of(aliases.begin(), aliases.end(),
                     [&](const std::string& alias) { return EqualsIgnoringCase(alias, wanted); });
}

}  // namespace

TFFConnectionManager::TFFConnectionManager(std::string name)
    : NetworkTransport(std::move(name), Protocol::ptTCPIP) {
  SetServerName("Local");
}

void TFFConnectionManager::ResetSearch() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  state_ = SearchState::kNotSearched;
}

void TFFConnectionManager::SetAliasName(std::string aliasName) {
  aliasName_ = std::move(aliasName);
  ResetSearch();
}

Protocol TFFConnectionManager::TryProtocol(int slot) const {
  if (slot < 1 || slot > 4) throw std::out_of_range("TryProtocol slot must be 1 to 4");
  return tryProtocols_[static_cast<size_t>(slot - 1)];
}

void TFFConnectionManager::SetTryProtocol(int slot, Protocol protocol) {
  if (slot < 1 || slot > 4) throw std::out_of_range("TryProtocol slot must be 1 to 4");
  if (protocol != Protocol::ptNone) {
    for (auto& entry : tryProtocols_) {
      if (entry == protocol) entry = Protocol::ptNone;
    }
  }
  tryProtocols_[static_cast<size_t>(slot - 1)] = protocol;
  std::stable_partition(tryProtocols_.begin(), tryProtocols_.end(),
                        [](Protocol p) { return p != Protocol::ptNone; });
  ResetSearch();
}

void TFFConnectionManager::SetTryPriorityAlias(PriorityAlias priority) {
  priorityAlias_ = priority;
  ResetSearch();
}

void TFFConnectionManager::SetTryPriorityLocation(PriorityLocation priority) {
  priorityLocation_ = priority;
  ResetSearch();
}

void TFFConnectionManager::Loaded() {
  warningInstalled_ = warnOnAutomaticConnect_;
}

SearchState TFFConnectionManager::State() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return state_;
}

void TFFConnectionManager::NotifyDependents() {
  if (adopting_) return;
  NetworkTransport::NotifyDependents();
}

std::vector<Protocol> TFFConnectionManager::ProtocolsToTry() const {
  std::vector<Protocol> protocols;
  for (Protocol protocol : tryProtocols_) {
    if (protocol == Protocol::ptNone) break;
    if (protocol == Protocol::ptRegistry) continue;
    protocols.push_back(protocol);
  }
  return protocols;
}

std::optional<platform::NetworkAdapter> TFFConnectionManager::ChooseAdapter() {
  if (nic_ == NicChoice::tnDefault) return std::nullopt;
  std::vector<platform::NetworkAdapter> adapters;
  try {
    for (auto& adapter : platform::ListNetworkAdapters()) {
      // The host's network adapters: loopback and interfaces that are down do not count.
      if (!adapter.loopback && adapter.up) adapters.push_back(std::move(adapter));
    }
  } catch (const std::exception&) {
    return std::nullopt;  // no adapter list: no particular adapter
  }
  if (OnFoundNIC) {
    for (size_t i = 0; i < adapters.size(); ++i) {
      bool accept = false;
      bool isDialUp = false;
      OnFoundNIC(adapters[i].name, static_cast<int>(i), accept, isDialUp);
      if (accept) return adapters[i];
    }
    return std::nullopt;
  }
  // Dial-up adapters are not recognised, so tnDialUp takes none.
  if (nic_ == NicChoice::tnLocalNIC && !adapters.empty()) return adapters.front();
  return std::nullopt;
}

void TFFConnectionManager::SwitchProbe(dbclient::NetworkTransport& probe, Protocol protocol,
                                       const std::string& serverName) const {
  probe.SetEnabled(false);
  if (probe.GetProtocol() != protocol || !probe.IsStarted()) {
    probe.Shutdown();
    probe.SetProtocol(protocol);
    try {
      probe.Start();
    } catch (const dbclient::DatabaseError&) {
      // A protocol that cannot start here: the probe stays stopped.
    }
  }
  // Several single-user servers may run on this machine, each with its own socket: the probe is
  // given the address for ptSingleUser too, not only for the network protocols.
  probe.SetServerName(serverName);
  probe.SetEnabled(true);
}

dbclient::Credentials TFFConnectionManager::Login(const dbclient::Credentials& given) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (credentials_) return *credentials_;
  if (!OnLogin) return given;
  std::string user;
  std::string password;
  OnLogin(user, password);
  if (user.size() > 31) user.resize(31);
  credentials_ = dbclient::Credentials{user, password};
  return *credentials_;
}

std::optional<std::vector<std::string>> TFFConnectionManager::ReadAliases(
    Protocol protocol, const std::string& serverName, milliseconds timeout) {
  try {
    dbclient::NetworkTransport transport(Name() + ".aliases", protocol);
    transport.SetServerName(serverName);
    dbclient::RemoteServerEngine engine("", &transport);
    dbclient::Client client("", &engine);
    client.SetTimeout(timeout);
    dbclient::Session session("", &client);
    session.SetTimeout(timeout);
    session.SetCredentials(Login({}));
    return session.DatabaseAliases();
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

int TFFConnectionManager::TryConnect(dbclient::NetworkTransport& probe, Protocol protocol,
                                     const std::string& serverName, milliseconds timeout) {
  try {
    const dbclient::Credentials credentials = Login({});
    if (probe.ConnectRequest(credentials, timeout) != kResultOk) return kServerNotFound;
    if (OnSaveProtocol) OnSaveProtocol(protocol, serverName);
    return kResultOk;
  } catch (const std::exception&) {
    return kServerNotFound;
  }
}

int TFFConnectionManager::Search(Protocol& foundProtocol, std::string& foundServer,
                                 milliseconds timeout) {
  foundProtocol = Protocol::ptTCPIP;
  foundServer.clear();
  dbclient::NetworkTransport probe(Name() + ".probe", Protocol::ptTCPIP);
  dbclient::RemoteServerEngine probeEngine(Name() + ".engine", &probe);
  probe.SetAdapter(ChooseAdapter());
  auto probeTimeout = [timeout](Protocol protocol) {
    return protocol == Protocol::ptSingleUser ? std::min(timeout, kSingleUserProbeLimit)
                                              : kNetworkProbeTimeout;
  };

  // The stored choice.
  if (OnGetStoredProtocol) {
    Protocol stored = Protocol::ptNone;
    std::string server;
    OnGetStoredProtocol(stored, server);
    if (stored != Protocol::ptNone) {
      SwitchProbe(probe, stored, server);
      if (TryConnect(probe, stored, server, probeTimeout(stored)) == kResultOk) {
        foundProtocol = stored;
        foundServer = server;
        return kResultOk;
      }
    }
  }

  // Announcement pass.
  for (Protocol protocol : ProtocolsToTry()) {
    SwitchProbe(probe, protocol, kPlaceholderServer);
    if (!probe.IsStarted()) continue;
    std::vector<std::string> servers;
    try {
      servers = probe.Broadcast();
    } catch (const std::exception&) {
      continue;
    }
    if (!OnFoundServer) continue;
    for (const auto& server : servers) {
      std::string list;
      if (const auto aliases = ReadAliases(protocol, server, probeTimeout(protocol))) {
        for (const auto& alias : *aliases) list += (list.empty() ? "" : "\n") + alias;
      }
      bool flag = false;
      OnFoundServer(protocol, server, flag, list);
    }
  }

  // Connection pass.
  for (Protocol protocol : ProtocolsToTry()) {
    SwitchProbe(probe, protocol, kPlaceholderServer);
    std::vector<std::string> servers;
    if (probe.IsStarted()) {
      try {
        servers = probe.Broadcast();
      } catch (const std::exception&) {
        if (protocol == Protocol::ptTCPIP) servers.push_back("local@127.0.0.1");
      }
    }
    std::vector<std::string> local;
    if (priorityLocation_ != PriorityLocation::plNoPriority) {
      local = LocalAddresses(protocol, servers);
    }
    for (const auto& server : OrderCandidates(protocol, priorityLocation_, servers, local)) {
      SwitchProbe(probe, protocol, server);
      if (priorityAlias_ == PriorityAlias::paFindAlias) {
        const auto aliases = ReadAliases(protocol, server, probeTimeout(protocol));
        if (!aliases || !HasAlias(*aliases, aliasName_)) continue;
      }
      if (TryConnect(probe, protocol, server, probeTimeout(protocol)) == kResultOk) {
        foundProtocol = protocol;
        foundServer = server;
        return kResultOk;
      }
    }
  }
  return kServerNotFound;
}

std::unique_ptr<dbclient::Connection> TFFConnectionManager::Connect(
    const dbclient::Credentials& credentials, milliseconds timeout, bool automatic) {
  if (automatic && warningInstalled_ && warnOnAutomaticConnect_ && ShowMessage) {
    ShowMessage("TFFConnectionManager (" + Name() +
                "):\n\nWarning: connection attempted by [automatic] components!");
  }
  dbclient::Credentials use = credentials;
  {
    std::lock_guard<std::recursive_mutex> guard(lock_);
    if (Enabled()) {
      if (state_ == SearchState::kNotSearched) {
        state_ = SearchState::kSearching;
        Protocol protocol = Protocol::ptTCPIP;
        std::string server;
        int result = kServerNotFound;
        try {
          result = Search(protocol, server, timeout);
        } catch (...) {
          state_ = SearchState::kSearched;
          throw;
        }
        state_ = SearchState::kSearched;
        if (result == kResultOk) {
          Flag adopting(adopting_);
          const bool changed = protocol != GetProtocol() || server != ServerName();
          if (changed || !IsStarted()) {
            SetProtocol(protocol);
            SetServerName(server);
            Shutdown();
            Start();
          }
        }
      }
    }
    // Read under the lock: a search in another thread may be setting them.
    if (credentials_) use = *credentials_;
  }
  return NetworkTransport::Connect(use, timeout, automatic);
}

}  // namespace kessmar
