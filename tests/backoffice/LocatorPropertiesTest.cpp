// The locator's properties with their defaults and the data module's values, the rules of the
// TryProtocol slots, the search state, and the order in which found servers are tried.
#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "backoffice/ServerCandidates.h"
#include "backoffice/TFFConnectionManager.h"
#include "backoffice/TunDB.h"
#include "support/ScopedEnvironment.h"

namespace kessmar {
namespace {

using dbclient::Protocol;
using testing::ScopedEnvironment;

TEST(LocatorPropertiesTest, DefaultsAndTheDataModulesValues) {
  TFFConnectionManager plain;
  EXPECT_EQ(plain.ServerName(), "Local");
  EXPECT_EQ(plain.GetProtocol(), Protocol::ptTCPIP);
  EXPECT_EQ(plain.AliasName(), "");
  EXPECT_EQ(plain.TryProtocol(1), Protocol::ptTCPIP);
  EXPECT_EQ(plain.TryProtocol(2), Protocol::ptNone);
  EXPECT_EQ(plain.TryProtocol(4), Protocol::ptNone);
  EXPECT_EQ(plain.TryPriorityAlias(), PriorityAlias::paFindAlias);
  EXPECT_EQ(plain.TryPriorityLocation(), PriorityLocation::plAdviceRemote);
  EXPECT_EQ(plain.TryNIC(), NicChoice::tnLocalNIC);
  EXPECT_FALSE(plain.WarnOnAutomaticConnect());
  EXPECT_EQ(plain.Version_CM(), "Beta 11");
  EXPECT_TRUE(plain.Enabled());
  EXPECT_EQ(plain.State(), SearchState::kNotSearched);

  TunDB db;
  const TFFConnectionManager& locator = db.FFConnectionManager;
  EXPECT_EQ(locator.ServerName(), BuiltInServerName());
  EXPECT_EQ(locator.AliasName(), "VEMOPRO2FFDATABASE");
  EXPECT_EQ(locator.TryProtocol(1), Protocol::ptTCPIP);
  EXPECT_EQ(locator.TryProtocol(2), Protocol::ptSingleUser);
  EXPECT_EQ(locator.TryProtocol(3), Protocol::ptNone);
  EXPECT_EQ(locator.TryPriorityLocation(), PriorityLocation::plAdviceRemote);
  EXPECT_TRUE(locator.Enabled());
  EXPECT_EQ(db.FFRemoteServerEngine.Transport(), &db.FFConnectionManager);
  EXPECT_EQ(db.ffcVEMO.Name(), "ffclientvemo");
  EXPECT_EQ(db.ffcVEMO.Timeout().count(), 2000);
  EXPECT_EQ(db.commVEMO.Name(), "commVEMO");
  EXPECT_EQ(db.commVEMO.GetProtocol(), Protocol::ptTCPIP);
  EXPECT_EQ(db.ffsVEMO.Name(), "ffSessionVemo");
  EXPECT_EQ(db.ffsVEMO.ClientName(), "ffclientvemo");
  EXPECT_EQ(db.ffsVEMO.Timeout().count(), 2000);
  EXPECT_EQ(db.tblARTK.TableName(), "artk");
  EXPECT_EQ(db.tblARTK.DatabaseName(), "DATA");
  EXPECT_EQ(db.tblARTK.IndexName(), "ARTK_fullcod");
  EXPECT_EQ(db.tblONDR.TableName(), "ONAD");
  EXPECT_EQ(db.tblRLTI.IndexName(), "idxRLTI_nummer");
  db.SetSessionClientName("COMMVEMO");
  EXPECT_EQ(db.ffsVEMO.ClientName(), "commVEMO");
  EXPECT_THROW(db.SetSessionClientName("other"), std::invalid_argument);
}

TEST(LocatorPropertiesTest, BuiltInServerStaysOnLoopbackWhileDiscoveryIsConfined) {
  ScopedEnvironment env{{"KESSMAR_VEMO_SERVER", std::nullopt},
                        {"KESSMAR_DISCOVERY_ADDR", "127.255.255.255"}};
  EXPECT_EQ(BuiltInServerName(), "VEMOPRO@127.0.0.254");
  EXPECT_EQ(TunDB().FFConnectionManager.ServerName(), "VEMOPRO@127.0.0.254");
  env.Unset("KESSMAR_DISCOVERY_ADDR");
  EXPECT_EQ(BuiltInServerName(), "VEMOPRO@192.168.1.10");
  env.Set("KESSMAR_VEMO_SERVER", "VEMOPRO@10.1.2.3");
  EXPECT_EQ(BuiltInServerName(), "VEMOPRO@10.1.2.3");
}

TEST(LocatorPropertiesTest, TryProtocolsHoldEachProtocolOnceWithEmptySlotsLast) {
  TFFConnectionManager locator;
  locator.SetTryProtocol(3, Protocol::ptSingleUser);  // moves up behind ptTCPIP
  EXPECT_EQ(locator.TryProtocol(2), Protocol::ptSingleUser);
  EXPECT_EQ(locator.TryProtocol(3), Protocol::ptNone);
  locator.SetTryProtocol(3, Protocol::ptTCPIP);  // taken from slot 1
  EXPECT_EQ(locator.TryProtocol(1), Protocol::ptSingleUser);
  EXPECT_EQ(locator.TryProtocol(2), Protocol::ptTCPIP);
  EXPECT_EQ(locator.TryProtocol(3), Protocol::ptNone);
  locator.SetTryProtocol(1, Protocol::ptNone);
  EXPECT_EQ(locator.TryProtocol(1), Protocol::ptTCPIP);
  EXPECT_EQ(locator.TryProtocol(2), Protocol::ptNone);
  EXPECT_THROW(locator.SetTryProtocol(5, Protocol::ptTCPIP), std::out_of_range);
}

TEST(LocatorPropertiesTest, ServerNameKeeps255AndReadsBack63Characters) {
  TFFConnectionManager locator;
  const std::string longName = "VEMOPRO@" + std::string(300, 'a');
  locator.SetServerName(longName);
  EXPECT_EQ(locator.ServerName(), longName.substr(0, 63));
}

TEST(ServerCandidatesTest, LocationPriorityOrdersAndFilters) {
  const std::vector<std::string> servers = {"A@10.0.0.9", "B@192.168.1.5", "C@10.0.0.8",
                                            "D@192.168.1.6"};
  const std::vector<std::string> local = {"eth0: 192.168.1.5", "eth1: 192.168.1.6"};
  using P = PriorityLocation;
  const auto tcp = Protocol::ptTCPIP;
  EXPECT_EQ(
      OrderCandidates(tcp, P::plAdviceRemote, servers, local),
      (std::vector<std::string>{"A@10.0.0.9", "C@10.0.0.8", "B@192.168.1.5", "D@192.168.1.6"}));
  EXPECT_EQ(OrderCandidates(tcp, P::plForceRemote, servers, local),
            (std::vector<std::string>{"A@10.0.0.9", "C@10.0.0.8"}));
  EXPECT_EQ(
      OrderCandidates(tcp, P::plAdviceLocal, servers, local),
      (std::vector<std::string>{"B@192.168.1.5", "D@192.168.1.6", "A@10.0.0.9", "C@10.0.0.8"}));
  EXPECT_EQ(OrderCandidates(tcp, P::plForceLocal, servers, local),
            (std::vector<std::string>{"B@192.168.1.5", "D@192.168.1.6"}));
  EXPECT_EQ(OrderCandidates(tcp, P::plNoPriority, servers, local), servers);
  // Single-user servers keep the order they were found in, even when forced.
  EXPECT_EQ(OrderCandidates(Protocol::ptSingleUser, P::plForceLocal, servers, local), servers);
  // A broadcast that failed leaves local@127.0.0.1, which then counts as local.
  const std::vector<std::string> fallback = {"local@127.0.0.1"};
  EXPECT_TRUE(IsLocalServer("local@127.0.0.1", LocalAddresses(tcp, fallback)));
  EXPECT_EQ(OrderCandidates(tcp, P::plForceLocal, fallback, LocalAddresses(tcp, fallback)),
            fallback);
  // 127.0.0.1 itself is not among the host's addresses.
  EXPECT_FALSE(IsLocalServer("VEMOPRO@127.0.0.1", LocalAddresses(tcp, servers)));
}

}  // namespace
}  // namespace kessmar
