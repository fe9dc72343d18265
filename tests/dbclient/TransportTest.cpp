// Transports against real parts: discovery over loopback with real responders, single-user
// connections through the local registry, the connection request's result codes, and the
// database aliases a server offers.
#include <gtest/gtest.h>

#include <algorithm>

#include "dbclient/ConnectedSession.h"
#include "dbclient/DatabaseError.h"
#include "dbclient/Discovery.h"
#include "dbclient/ResultCodes.h"
#include "dbclient/Table.h"
#include "support/BackOfficeFixture.h"

namespace kessmar::testing {
namespace {

using dbclient::NetworkTransport;
using dbclient::Protocol;

bool Contains(const std::vector<std::string>& list, const std::string& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

TEST(DiscoveryTest, FindsEveryResponderOnTheLoopbackNetwork) {
  BackOfficeServer::TestPort();  // this test's own discovery port
  dbclient::DiscoveryResponder inProcess("INPROC@127.0.0.3", BackOfficeServer::DiscoveryPort());
  // Two responders of backoffice-server (no database needed to answer).
  BackOfficeServerOptions none;
  auto first = std::make_unique<ChildProcess>(
      KESSMAR_BACKOFFICE_SERVER,
      std::vector<std::string>{"announce", "--name", "ALPHA", "--address", "127.0.0.1",
                               "--discovery-port",
                               std::to_string(BackOfficeServer::DiscoveryPort())});
  auto second = std::make_unique<ChildProcess>(
      KESSMAR_BACKOFFICE_SERVER,
      std::vector<std::string>{"announce", "--address", "127.0.0.2"});  // port from environment
  ASSERT_TRUE(first->ReadLine(std::chrono::seconds(5)));
  ASSERT_TRUE(second->ReadLine(std::chrono::seconds(5)));

  std::thread answer([&] {
    inProcess.ServeUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(800));
  });
  NetworkTransport transport("probe", Protocol::ptTCPIP);
  const auto servers = transport.Broadcast();
  answer.join();
  EXPECT_EQ(servers.size(), 3u);
  EXPECT_TRUE(Contains(servers, "ALPHA@127.0.0.1"));
  EXPECT_TRUE(Contains(servers, "VEMOPRO@127.0.0.2"));
  EXPECT_TRUE(Contains(servers, "INPROC@127.0.0.3"));
}

TEST(DiscoveryTest, NoResponderMeansNoServers) {
  BackOfficeServer::TestPort();
  NetworkTransport transport("probe", Protocol::ptTCPIP);
  transport.SetBroadcastWait(std::chrono::milliseconds(150));
  EXPECT_TRUE(transport.Broadcast().empty());
}

class TransportTest : public BackOfficeFixture {};

TEST_F(TransportTest, SingleUserReachesServersOfThisMachineThroughTheRegistry) {
  NetworkTransport local("local", Protocol::ptSingleUser);
  const auto servers = local.Broadcast();
  ASSERT_TRUE(Contains(servers, Server().SingleUserAddress())) << servers.size();

  ConnectedSession db(Server().SingleUserAddress(), Protocol::ptSingleUser);
  dbclient::Table sysi(db.session, "SYSI", "SYSTEM", "tblSYSI");
  sysi.Open();
  EXPECT_TRUE(db.session.IsOpen());
  // A network address is no server of this machine for ptSingleUser.
  ConnectedSession wrong(Server().ServerAddress(), Protocol::ptSingleUser);
  EXPECT_THROW(wrong.session.Open(), dbclient::DatabaseError);
}

TEST_F(TransportTest, ConnectionRequestReportsAResultCode) {
  NetworkTransport transport("probe", Protocol::ptTCPIP);
  transport.SetServerName(Server().ServerAddress());
  EXPECT_EQ(transport.ConnectRequest({}, std::chrono::milliseconds(2000)), dbclient::kResultOk);

  transport.SetServerName("GONE@127.0.0.9");  // nobody listens there
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(transport.ConnectRequest({}, std::chrono::milliseconds(2000)),
            dbclient::kServerNotFound);
  EXPECT_LT(ElapsedMs(start), 1000);
  EXPECT_NE(transport.LastError().find("GONE@127.0.0.9"), std::string::npos)
      << transport.LastError();

  transport.SetServerName("Local");  // not a server address
  EXPECT_EQ(transport.ConnectRequest({}, std::chrono::milliseconds(2000)),
            dbclient::kServerNotFound);
  transport.SetServerName(Server().ServerAddress());
  transport.SetEnabled(false);
  EXPECT_EQ(transport.ConnectRequest({}, std::chrono::milliseconds(2000)),
            dbclient::kServerNotFound);

  NetworkTransport ipx("ipx", Protocol::ptIPXSPX);
  EXPECT_THROW(ipx.Start(), dbclient::DatabaseError);
  EXPECT_THROW(ipx.Broadcast(), dbclient::DatabaseError);
  ipx.SetServerName(Server().ServerAddress());
  EXPECT_EQ(ipx.ConnectRequest({}, std::chrono::milliseconds(2000)), dbclient::kServerNotFound);
}

TEST_F(TransportTest, AliasesAreTheSchemasOfTheDatabase) {
  ConnectedSession db(Server().ServerAddress());
  const auto aliases = db.session.DatabaseAliases();
  EXPECT_TRUE(Contains(aliases, "DATA"));
  EXPECT_TRUE(Contains(aliases, "SYSTEM"));
  EXPECT_TRUE(Contains(aliases, "VEMOPRO2FFDATABASE"));
  EXPECT_FALSE(Contains(aliases, "pg_catalog"));
}

TEST_F(TransportTest, RestartingTheTransportClosesItsSessions) {
  ConnectedSession db(Server().ServerAddress());
  db.session.Open();
  db.transport.SetServerName("OTHER@127.0.0.1");  // a started transport restarts
  EXPECT_FALSE(db.session.IsOpen());
  db.transport.SetServerName(Server().ServerAddress());
  db.client.SetActive(false);
  db.session.Open();
  EXPECT_TRUE(db.client.Active());
  db.client.SetActive(false);  // deactivating the client closes its sessions
  EXPECT_FALSE(db.session.IsOpen());
}

}  // namespace
}  // namespace kessmar::testing
