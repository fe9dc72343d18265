#include "backoffice/ConnectToVemoServer.h"

#include "dbclient/ServerAddress.h"

namespace kessmar {
namespace {

constexpr const char* kLocalServer = "VEMOPRO@127.0.0.1";

bool OpensSysi(TunDB& db) {
  try {
    db.tblSYSI.Open();
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace

void ConnectToVemoServer(const std::string& vemoServer, std::unique_ptr<TunDB>& db,
                         const TunDBFactory& makeModule) {
  auto fresh = [&makeModule] { return makeModule ? makeModule() : std::make_unique<TunDB>(); };
  if (vemoServer.empty()) return;
  if (!db) db = fresh();

  // The address that worked last time, through commVEMO's own transport.
  db->ffsVEMO.Close();
  db->ffcVEMO.SetActive(false);
  db->FFConnectionManager.SetEnabled(false);
  db->commVEMO.SetActive(false);
  db->commVEMO.SetServerName(vemoServer);
  db->SetSessionClientName("commVEMO");
  db->commVEMO.SetServerEngine(nullptr);
  db->FFConnectionManager.SetServerName(
      dbclient::Truncated(vemoServer, dbclient::kServerNameWriteLimit));
  if (OpensSysi(*db)) return;

  // The built-in configuration: the locator searches.
  db = fresh();
  if (OpensSysi(*db)) return;

  // A server on this machine.
  db = fresh();
  db->FFRemoteServerEngine.SetTransport(&db->FFConnectionManager);
  db->FFConnectionManager.SetServerName("");
  db->FFConnectionManager.SetServerName(kLocalServer);
  db->commVEMO.SetServerName(kLocalServer);
  db->SetSessionClientName("commVEMO");
  OpensSysi(*db);
}

}  // namespace kessmar
