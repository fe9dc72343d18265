// The server locator: a network transport that, before its first connection, searches the
// network (and this machine) for a back-office server offering its database alias, adopts the
// server it found, and then connects like any transport.
//
// The search: adapter choice; the stored choice (OnGetStoredProtocol); the announcement pass
// (one broadcast per protocol tried, each server's aliases reported through OnFoundServer); the
// connection pass (per protocol: broadcast, order by location priority, skip servers without the
// alias, try to connect; the first success ends it). Nothing found: result 8712 and the locator
// connects with its unchanged ServerName. A locator searches once, until a search property
// changes; its search state and the search itself run under a lock of its own, so a request
// arriving during a search waits for it, then connects to what it found.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "backoffice/ServerCandidates.h"
#include "dbclient/NetworkTransport.h"

namespace kessmar {

using dbclient::Protocol;

enum class PriorityAlias { paFindAlias, paNoPriority };
enum class NicChoice { tnDefault, tnLocalNIC, tnDialUp };
enum class SearchState { kNotSearched, kSearching, kSearched };

class TFFConnectionManager : public dbclient::NetworkTransport {
 public:
  // Defaults: ServerName "Local", Protocol ptTCPIP, AliasName "", TryProtocol1..4 ptTCPIP, ptNone,
  // ptNone, ptNone, paFindAlias, plAdviceRemote, tnLocalNIC, WarnOnAutomaticConnect false,
  // Enabled true.
  explicit TFFConnectionManager(std::string name = "FFConnectionManager");

  const std::string& AliasName() const { return aliasName_; }
  void SetAliasName(std::string aliasName);
  // Slots 1 to 4 (std::out_of_range otherwise). A protocol set in one slot is cleared from the
  // others, and ptNone entries move behind the others.
  Protocol TryProtocol(int slot) const;
  void SetTryProtocol(int slot, Protocol protocol);
  PriorityAlias TryPriorityAlias() const { return priorityAlias_; }
  void SetTryPriorityAlias(PriorityAlias priority);
  PriorityLocation TryPriorityLocation() const { return priorityLocation_; }
  void SetTryPriorityLocation(PriorityLocation priority);
  NicChoice TryNIC() const { return nic_; }
  void SetTryNIC(NicChoice nic) { nic_ = nic; }
  bool WarnOnAutomaticConnect() const { return warnOnAutomaticConnect_; }
  void SetWarnOnAutomaticConnect(bool warn) { warnOnAutomaticConnect_ = warn; }
  std::string Version_CM() const { return "Beta 11"; }

  // Events, all optional.
  std::function<void(Protocol& protocol, std::string& serverName)> OnGetStoredProtocol;
  std::function<void(Protocol protocol, const std::string& serverName)> OnSaveProtocol;
  std::function<void(Protocol protocol, const std::string& serverName, bool& flag,
                     const std::string& aliases)>
      OnFoundServer;
  std::function<void(const std::string& adapterName, int adapterNumber, bool& accept,
                     bool& isDialUp)>
      OnFoundNIC;
  std::function<void(std::string& userName, std::string& password)> OnLogin;
  // Shows a message to the user (the warning of WarnOnAutomaticConnect); supplied by the window
  // layer. Unset: the warning is not shown.
  std::function<void(const std::string& message)> ShowMessage;

  // The step after the design-time settings are in place: installs the warning of
  // WarnOnAutomaticConnect.
  void Loaded();

  SearchState State() const;

  // Searches (once, under the lock) and connects with the adopted or unchanged ServerName and
  // Protocol. Throws DatabaseError as NetworkTransport::Connect does.
  std::unique_ptr<dbclient::Connection> Connect(const dbclient::Credentials& credentials,
                                                std::chrono::milliseconds timeout,
                                                bool automatic) override;

  // The search itself: kResultOk with the protocol and server address found, or kServerNotFound
  // (8712). timeout is the requested time-out (single-user probes wait at most 1000 ms of it,
  // network probes 2000 ms). Never throws for a server that cannot be reached or read.
  int Search(Protocol& foundProtocol, std::string& foundServer,
             std::chrono::milliseconds timeout = std::chrono::milliseconds(2000));

 protected:
  // Suppressed while the locator adopts a found server, so that the sessions using it are not
  // disturbed.
  void NotifyDependents() override;

 private:
  void ResetSearch();
  std::vector<Protocol> ProtocolsToTry() const;
  std::optional<platform::NetworkAdapter> ChooseAdapter();
  void SwitchProbe(dbclient::NetworkTransport& probe, Protocol protocol,
                   const std::string& serverName) const;
  std::optional<std::vector<std::string>> ReadAliases(Protocol protocol,
                                                      const std::string& serverName,
                                                      std::chrono::milliseconds timeout);
  int TryConnect(dbclient::NetworkTransport& probe, Protocol protocol,
                 const std::string& serverName, std::chrono::milliseconds timeout);
  dbclient::Credentials Login(const dbclient::Credentials& given);

  std::string aliasName_;
  std::array<Protocol, 4> tryProtocols_{Protocol::ptTCPIP, Protocol::ptNone, Protocol::ptNone,
                                        Protocol::ptNone};
  PriorityAlias priorityAlias_ = PriorityAlias::paFindAlias;
  PriorityLocation priorityLocation_ = PriorityLocation::plAdviceRemote;
  NicChoice nic_ = NicChoice::tnLocalNIC;
  bool warnOnAutomaticConnect_ = false;
  bool warningInstalled_ = false;

  mutable std::recursive_mutex lock_;
  SearchState state_ = SearchState::kNotSearched;
  bool adopting_ = false;
  std::optional<dbclient::Credentials> credentials_;  // from OnLogin, for every connection
};

}  // namespace kessmar
