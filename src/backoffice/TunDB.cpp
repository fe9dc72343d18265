#include "backoffice/TunDB.h"

#include <cctype>
#include <cstdlib>
#include <stdexcept>

#include "backoffice/ArtkIntoms.h"
#include "common/Text.h"
#include "platform/EnvironmentOverrides.h"

namespace kessmar {
namespace {

using std::chrono::milliseconds;
constexpr milliseconds kTimeout{2000};

// The back office's server at the supplier's usual LAN address.
constexpr const char* kDesignTimeServer = "VEMOPRO@192.168.1.10";
constexpr const char* kConfinedServer = "VEMOPRO@127.0.0.254";

}  // namespace

std::string BuiltInServerName() {
  if (const auto server = platform::EnvironmentOverride(platform::env::kVemoServer)) {
    return *server;
  }
  if (platform::EnvironmentOverride(platform::env::kDiscoveryAddr)) return kConfinedServer;
  return kDesignTimeServer;
}

TunDB::TunDB()
    : FFConnectionManager("FFConnectionManager"),
      FFRemoteServerEngine("FFRemoteServerEngine", &FFConnectionManager),
      ffcVEMO("ffclientvemo", &FFRemoteServerEngine),
      commVEMO("commVEMO", Protocol::ptTCPIP, &FFRemoteServerEngine),
      ffsVEMO("ffSessionVemo", &ffcVEMO),
      tblARTK(ffsVEMO, "artk", "DATA", "tblARTK"),
      tblARVP(ffsVEMO, "arvp", "DATA", "tblARVP"),
      tblBEST(ffsVEMO, "BEST", "SYSTEM", "tblBEST"),
      tblBERG(ffsVEMO, "BERG", "SYSTEM", "tblBERG"),
      tblSYSC(ffsVEMO, "SYSC", "SYSTEM", "tblSYSC"),
      tblSYSI(ffsVEMO, "SYSI", "SYSTEM", "tblSYSI"),
      tblRLTI(ffsVEMO, "RLTI", "SYSTEM", "tblRLTI"),
      tblARPZ(ffsVEMO, "ARPZ", "DATA", "tblARPZ"),
      tblDEBT(ffsVEMO, "DEBT", "SYSTEM", "tblDEBT"),
      tblKODB(ffsVEMO, "KODB", "SYSTEM", "tblKODB"),
      tblKOGP(ffsVEMO, "KOGP", "SYSTEM", "tblKOGP"),
      tblVALU(ffsVEMO, "VALU", "SYSTEM", "tblVALU"),
      tblONDR(ffsVEMO, "ONAD", "DATA", "tblONDR"),
      tblCONS(ffsVEMO, "CONS", "SYSTEM", "tblCONS") {
  FFConnectionManager.SetServerName(BuiltInServerName());
  FFConnectionManager.SetProtocol(Protocol::ptTCPIP);
  FFConnectionManager.SetAliasName("VEMOPRO2FFDATABASE");
  FFConnectionManager.SetTryProtocol(1, Protocol::ptTCPIP);
  FFConnectionManager.SetTryProtocol(2, Protocol::ptSingleUser);
  FFConnectionManager.SetWarnOnAutomaticConnect(false);
  FFConnectionManager.SetEnabled(true);
  FFConnectionManager.Loaded();
  ffcVEMO.SetTimeout(kTimeout);
  commVEMO.SetTimeout(kTimeout);
  ffsVEMO.SetTimeout(kTimeout);
  tblARTK.SetIndexName("ARTK_fullcod");
  AddArtkIntoms(tblARTK);
  tblARVP.SetIndexFieldNames("ARVP_BARCODE");
  tblRLTI.SetIndexName("idxRLTI_nummer");
}

void TunDB::SetSessionClientName(std::string_view clientName) {
  if (EqualsIgnoringCase(clientName, ffcVEMO.Name())) {
    ffsVEMO.SetClient(&ffcVEMO);
  } else if (EqualsIgnoringCase(clientName, commVEMO.Name())) {
    ffsVEMO.SetClient(&commVEMO);
  } else {
    throw std::invalid_argument("the data module has no client named \"" + std::string(clientName) +
                                "\"");
  }
}

}  // namespace kessmar
