#include "backoffice/ServerCandidates.h"

#include <cctype>

#include "common/Text.h"
#include "dbclient/ServerAddress.h"
#include "platform/net/NetworkAdapters.h"

namespace kessmar {
namespace {}  // namespace

std::vector<std::string> LocalAddresses(dbclient::Protocol protocol,
                                        const std::vector<std::string>& servers) {
  std::vector<std::string> local;
  if (protocol != dbclient::Protocol::ptTCPIP) return local;
  try {
    for (const auto& adapter : platform::ListNetworkAdapters()) {
      if (adapter.address == platform::Ipv4Address{0x7F000001}) continue;
      local.push_back(adapter.name + ": " + adapter.address.ToString());
    }
  } catch (const std::exception&) {
    // Without the adapter list every server counts as remote.
  }
  if (servers.size() == 1 && EqualsIgnoringCase(servers.front(), "local@127.0.0.1")) {
    local.push_back("local@127.0.0.1");
  }
  return local;
}

bool IsLocalServer(const std::string& server, const std::vector<std::string>& localAddresses) {
  const std::string address = dbclient::AddressPart(server);
  for (const auto& local : localAddresses) {
    if (EqualsIgnoringCase(dbclient::AddressPart(local), address)) return true;
  }
  return false;
}

std::vector<std::string> OrderCandidates(dbclient::Protocol protocol, PriorityLocation priority,
                                         const std::vector<std::string>& servers,
                                         const std::vector<std::string>& localAddresses) {
  if (priority == PriorityLocation::plNoPriority || protocol == dbclient::Protocol::ptSingleUser) {
    return servers;
  }
  const bool localFirst =
      priority == PriorityLocation::plForceLocal || priority == PriorityLocation::plAdviceLocal;
  std::vector<std::string> preferred;
  std::vector<std::string> others;
  for (const auto& server : servers) {
    (IsLocalServer(server, localAddresses) == localFirst ? preferred : others).push_back(server);
  }
  const bool forced =
      priority == PriorityLocation::plForceRemote || priority == PriorityLocation::plForceLocal;
  const bool networkProtocol =
      protocol == dbclient::Protocol::ptTCPIP || protocol == dbclient::Protocol::ptIPXSPX;
  if (!(forced && networkProtocol)) preferred.insert(preferred.end(), others.begin(), others.end());
  return preferred;
}

}  // namespace kessmar
