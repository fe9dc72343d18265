// ConnectToVemoServer and its fallbacks against real servers: the remembered address, the search
// when it is gone, the local server when nothing is found, and the built-in configuration when
// no address is remembered.
#include <gtest/gtest.h>

#include "backoffice/ArtkIntoms.h"
#include "backoffice/ConnectToVemoServer.h"
#include "backoffice/TunDB.h"
#include "support/BackOfficeFixture.h"

namespace kessmar::testing {
namespace {

// Counts the data modules made.
struct Modules {
  int made = 0;
  TunDBFactory Factory() {
    return [this] {
      ++made;
      return std::make_unique<TunDB>();
    };
  }
};

class ConnectToVemoServerTest : public BackOfficeFixture {};

TEST_F(ConnectToVemoServerTest, EmptyAddressKeepsTheBuiltInConfigurationWhichSearches) {
  auto responder = Server().Announce();
  auto db = std::make_unique<TunDB>();
  TunDB* const original = db.get();
  Modules modules;
  ConnectToVemoServer("", db, modules.Factory());
  EXPECT_EQ(db.get(), original);
  EXPECT_EQ(modules.made, 0);
  EXPECT_EQ(db->ffsVEMO.ClientName(), "ffclientvemo");
  EXPECT_FALSE(db->ffsVEMO.IsOpen());
  EXPECT_EQ(db->FFConnectionManager.State(), SearchState::kNotSearched);
  // The first table opened finds the server by broadcast; its address is then the locator's.
  db->tblSYSI.Open();
  EXPECT_EQ(db->FFConnectionManager.ServerName(), Server().ServerAddress());
}

TEST_F(ConnectToVemoServerTest, RememberedAddressIsUsedDirectly) {
  auto db = std::make_unique<TunDB>();
  TunDB* const original = db.get();
  Modules modules;
  ConnectToVemoServer(Server().ServerAddress(), db, modules.Factory());
  EXPECT_EQ(db.get(), original);
  EXPECT_EQ(modules.made, 0);
  EXPECT_TRUE(db->tblSYSI.IsOpen());
  EXPECT_EQ(db->ffsVEMO.ClientName(), "commVEMO");
  EXPECT_EQ(db->commVEMO.ServerEngine(), nullptr);
  EXPECT_EQ(db->commVEMO.ServerName(), Server().ServerAddress());
  EXPECT_FALSE(db->FFConnectionManager.Enabled());
  EXPECT_EQ(db->FFConnectionManager.ServerName(), Server().ServerAddress());
  EXPECT_EQ(db->FFConnectionManager.State(), SearchState::kNotSearched);  // no search ran
}

TEST_F(ConnectToVemoServerTest, AddressOfAServerThatIsGoneFallsBackToTheSearch) {
  auto responder = Server().Announce();
  auto db = std::make_unique<TunDB>();
  Modules modules;
  ConnectToVemoServer("VEMOPRO@127.0.0.9", db, modules.Factory());
  EXPECT_EQ(modules.made, 1);
  EXPECT_TRUE(db->tblSYSI.IsOpen());
  EXPECT_TRUE(db->FFConnectionManager.Enabled());
  EXPECT_EQ(db->ffsVEMO.ClientName(), "ffclientvemo");
  // What AddOrderLine copies to VemoServer: the address found.
  EXPECT_EQ(db->FFConnectionManager.ServerName(), Server().ServerAddress());
}

TEST_F(ConnectToVemoServerTest, NothingFoundFallsBackToTheServerOnThisMachine) {
  // No responder: the search finds nothing on the network, but the single-user pass finds
  // this machine's server through its registry; without that, 127.0.0.1 is the last resort.
  auto db = std::make_unique<TunDB>();
  Modules modules;
  db->FFConnectionManager.SetTryProtocol(2, dbclient::Protocol::ptNone);
  ConnectToVemoServer("VEMOPRO@127.0.0.9", db, [&] {
    auto module = modules.Factory()();
    module->FFConnectionManager.SetTryProtocol(2, dbclient::Protocol::ptNone);
    return module;
  });
  EXPECT_EQ(modules.made, 2);
  EXPECT_TRUE(db->tblSYSI.IsOpen());
  EXPECT_EQ(db->ffsVEMO.ClientName(), "commVEMO");
  EXPECT_EQ(db->commVEMO.ServerName(), "VEMOPRO@127.0.0.1");
  EXPECT_EQ(db->FFConnectionManager.ServerName(), "VEMOPRO@127.0.0.1");
}

TEST_F(ConnectToVemoServerTest, SingleUserPassFindsTheServerOfThisMachine) {
  auto db = std::make_unique<TunDB>();
  Modules modules;
  ConnectToVemoServer("VEMOPRO@127.0.0.9", db, modules.Factory());
  EXPECT_EQ(modules.made, 1);
  EXPECT_TRUE(db->tblSYSI.IsOpen());
  EXPECT_EQ(db->FFConnectionManager.GetProtocol(), dbclient::Protocol::ptSingleUser);
  EXPECT_EQ(db->FFConnectionManager.ServerName(), Server().SingleUserAddress());
}

TEST_F(ConnectToVemoServerTest, ArticleDescriptionKeepsItsSlashes) {
  Server().Exec(R"SQL(
    INSERT INTO "DATA"."artk" ("ARTK_nummer", "ARTK_fullcod", "ARTK_Merk",
        "ARTK_Filteromschrijving", "ARTK_kenmerk", "ARTK_typen") VALUES
      (1, '12345678', 'Bosch', 'Boormachine', '18V', 'GSB 18V-55'),
      (2, '23456789', 'Makita', '', '18V', NULL),
      (3, '34567890', NULL, NULL, NULL, NULL),
      (4, '45678901', repeat('M', 20), repeat('F', 30), repeat('K', 30), repeat('T', 30)))SQL");
  auto db = std::make_unique<TunDB>();
  ConnectToVemoServer(Server().ServerAddress(), db);
  db->tblARTK.Open();
  auto intoms = [&](const char* code) {
    EXPECT_TRUE(db->tblARTK.FindKey(code));
    return db->tblARTK.FieldByName("ARTK_intoms").AsString();
  };
  EXPECT_EQ(intoms("12345678"), "Bosch/Boormachine/18V/GSB 18V-55");
  EXPECT_EQ(intoms("23456789"), "Makita//18V/");
  EXPECT_EQ(intoms("34567890"), "///");
  const std::string longest = intoms("45678901");
  EXPECT_EQ(longest.size(), kArtkIntomsSize);
  EXPECT_EQ(longest.substr(0, 22), std::string(20, 'M') + "/F");
}

}  // namespace
}  // namespace kessmar::testing
