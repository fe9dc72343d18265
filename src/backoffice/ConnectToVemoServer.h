// Pointing the data module at the back-office server before a batch is transferred.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "backoffice/TunDB.h"

namespace kessmar {

using TunDBFactory = std::function<std::unique_ptr<TunDB>()>;

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
// Shows nothing and throws nothing (an allocation failure aside).
void ConnectToVemoServer(const std::string& vemoServer, std::unique_ptr<TunDB>& db,
                         const TunDBFactory& makeModule = {});

}  // namespace kessmar
