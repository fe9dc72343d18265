// Pointing the data module at the back-office server before a batch is transferred.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "backoffice/TunDB.h"

namespace kessmar {

using TunDBFactory = std::function<std::unique_ptr<TunDB>()>;

// How ConnectToVemoServer may look for a server.
enum class ServerChoice {
  kFallBack,  // the remembered address, else the locator's search, else this machine
  kBind,      // the given address only (kessmar-batch vemo --server)
};

// The status window's ConnectToVemoServer, on the main window's VemoServer text and the window's
// data module (which it may replace; makeModule makes the fresh ones, std::make_unique<TunDB> when
// empty):
//  1. vemoServer empty: nothing; the tables reach the server through the locator's search.
//  2. Otherwise the session goes through commVEMO's own TCP/IP transport to vemoServer (the
//     locator disabled, its ServerName set to vemoServer), and SYSI is opened.
//  3. That failing: a fresh data module (locator enabled, so the first table searches), SYSI
//     opened again.
//  4. That failing too: another fresh module pointed at "VEMOPRO@127.0.0.1" (locator and commVEMO,
//     the session through commVEMO), SYSI opened; a failure here is ignored (the tables then fail
//     to open later).
// Steps 3 and 4 are left out with ServerChoice::kBind, and when the server of step 2 refused
// the login or a right (it is there; another server must not get the batch instead): the
// module then stays pointed at vemoServer, whose tables fail with that reason.
// Returns the technical reason why vemoServer failed when it fell back, else "". Shows nothing
// and throws nothing (an allocation failure aside).
std::string ConnectToVemoServer(const std::string& vemoServer, std::unique_ptr<TunDB>& db,
                                const TunDBFactory& makeModule = {},
                                ServerChoice choice = ServerChoice::kFallBack);

}  // namespace kessmar
