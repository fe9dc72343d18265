// The back-office data module: the server locator, the remote engine it serves, the client and
// the communications engine, the database session and every table of the order transfer, with
// their design-time settings. Created and destroyed with the status window, so every transfer
// starts with a fresh connection.
//
// Design-time settings:
//   FFConnectionManager   ServerName BuiltInServerName(), Protocol ptTCPIP, AliasName
//                         "VEMOPRO2FFDATABASE", TryProtocol1 ptTCPIP, TryProtocol2 ptSingleUser,
//                         the other properties at their defaults, Enabled true
//   FFRemoteServerEngine  transport FFConnectionManager
//   ffcVEMO               client "ffclientvemo" on FFRemoteServerEngine, time-out 2000 ms
//   commVEMO              communications engine "commVEMO", ptTCPIP, attached to
//                         FFRemoteServerEngine, time-out 2000 ms
//   ffsVEMO               session "ffSessionVemo", client "ffclientvemo", time-out 2000 ms
//   tables                of session ffsVEMO; tblARTK on index "ARTK_fullcod" with the
//                         calculated field ARTK_intoms, tblARVP on field ARVP_BARCODE, tblRLTI
//                         on index "idxRLTI_nummer"
// Members are declared in the order they depend on each other: tables go first, the locator last.
#pragma once

#include <string>
#include <string_view>

#include "backoffice/TFFConnectionManager.h"
#include "dbclient/Client.h"
#include "dbclient/RemoteServerEngine.h"
#include "dbclient/Session.h"
#include "dbclient/Table.h"

namespace kessmar {

// The locator's design-time server address: "VEMOPRO@" and a fixed LAN address, unless
// KESSMAR_VEMO_SERVER gives another. While discovery is confined (KESSMAR_DISCOVERY_ADDR set, as
// in every test and the demo) it is "VEMOPRO@127.0.0.254" (nothing listens there), so that a
// failed search never sends anything to the LAN.
std::string BuiltInServerName();

class TunDB {
 public:
  // Never throws (nothing is connected yet).
  TunDB();
  TunDB(const TunDB&) = delete;
  TunDB& operator=(const TunDB&) = delete;

  // Makes the client of that name ("ffclientvemo" or "commVEMO", without regard to case) the
  // session's client. Throws std::invalid_argument for any other name.
  void SetSessionClientName(std::string_view clientName);

  TFFConnectionManager FFConnectionManager;
  dbclient::RemoteServerEngine FFRemoteServerEngine;
  dbclient::Client ffcVEMO;
  dbclient::CommsEngine commVEMO;
  dbclient::Session ffsVEMO;

  dbclient::Table tblARTK;
  dbclient::Table tblARVP;
  dbclient::Table tblBEST;
  dbclient::Table tblBERG;
  dbclient::Table tblSYSC;
  dbclient::Table tblSYSI;
  dbclient::Table tblRLTI;
  dbclient::Table tblARPZ;
  dbclient::Table tblDEBT;
  dbclient::Table tblKODB;
  dbclient::Table tblKOGP;
  dbclient::Table tblVALU;
  dbclient::Table tblONDR;
  dbclient::Table tblCONS;
};

}  // namespace kessmar
