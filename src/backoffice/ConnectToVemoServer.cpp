#include "backoffice/ConnectToVemoServer.h"

#include "dbclient/DatabaseError.h"
#include "dbclient/ServerAddress.h"

namespace kessmar {
namespace {

constexpr const char* kLocalServer = "VEMOPRO@127.0.0.1";

// "" when SYSI opens, else why not; denied: the server refused the login or a right.
std::string OpenSysi(TunDB& db, bool* denied = nullptr) {
  try {
    // Connected as a table connects (automatically); every table's catalog entry comes with the
    // first request, so that no table's opening asks again.
    db.ffsVEMO.EnsureOpen(true);
    db.ffsVEMO.LoadCatalog();
    db.tblSYSI.Open();
    return "";
  } catch (const dbclient::DatabaseError& e) {
    if (denied != nullptr) *denied = e.IsAccessDenied();
    return e.what();
  } catch (const std::exception& e) {
    return e.what();
  }
}

}  // namespace

std::string ConnectToVemoServer(const std::string& vemoServer, std::unique_ptr<TunDB>& db,
                                const TunDBFactory& makeModule, ServerChoice choice) {
  auto fresh = [&makeModule] { return makeModule ? makeModule() : std::make_unique<TunDB>(); };
  if (vemoServer.empty()) return "";
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
  bool denied = false;
  std::string failure = OpenSysi(*db, &denied);
  if (failure.empty() || denied || choice == ServerChoice::kBind) return "";

  // The built-in configuration: the locator searches.
  db = fresh();
  if (OpenSysi(*db).empty()) return failure;

  // A server on this machine.
  db = fresh();
  db->FFRemoteServerEngine.SetTransport(&db->FFConnectionManager);
  db->FFConnectionManager.SetServerName("");
  db->FFConnectionManager.SetServerName(kLocalServer);
  db->commVEMO.SetServerName(kLocalServer);
  db->SetSessionClientName("commVEMO");
  OpenSysi(*db);
  return failure;
}

}  // namespace kessmar
