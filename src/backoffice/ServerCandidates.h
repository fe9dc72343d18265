// The order in which the server locator tries the servers a broadcast found: local or remote
// servers first as its location priority says, and only one group when it forces one.
#pragma once

#include <string>
#include <vector>

#include "dbclient/Protocol.h"

namespace kessmar {

enum class PriorityLocation {
  plForceRemote,
  plAdviceRemote,
  plForceLocal,
  plAdviceLocal,
  plNoPriority
};

// The local addresses of this host for protocol, as "<adapter>: <address>" texts: for ptTCPIP
// every IPv4 address of the host's adapters except 127.0.0.1, plus "local@127.0.0.1" when that
// is the only server found; none for other protocols. Never throws (no adapters: none).
std::vector<std::string> LocalAddresses(dbclient::Protocol protocol,
                                        const std::vector<std::string>& servers);

// Whether server (NAME@address) is one of localAddresses: its address part equals the address
// part of one of them (the text after ": " or "@").
bool IsLocalServer(const std::string& server, const std::vector<std::string>& localAddresses);

// The servers to try, in order. plNoPriority and ptSingleUser keep the broadcast's order;
// otherwise each server is classified once and the preferred group (local for plForceLocal and
// plAdviceLocal, remote for the others) comes first, each group in the broadcast's order; for
// ptTCPIP and ptIPXSPX, plForceRemote and plForceLocal keep the preferred group only.
std::vector<std::string> OrderCandidates(dbclient::Protocol protocol, PriorityLocation priority,
                                         const std::vector<std::string>& servers,
                                         const std::vector<std::string>& localAddresses);

}  // namespace kessmar
