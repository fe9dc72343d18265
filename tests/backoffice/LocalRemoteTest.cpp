// Local versus remote servers, in network namespaces the test makes: the "host" namespace has
// the adapter veth-host (10.77.0.1/24) and a server LOCAL on it; the "remote" namespace, linked
// to it, has REMOTE on 10.77.0.2. The locator runs inside the host namespace, finds its adapter
// through getifaddrs and broadcasts out of it (nothing here touches the machine's real network).
#include <gtest/gtest.h>

#include <cstdlib>

#include "backoffice/TFFConnectionManager.h"
#include "dbclient/Client.h"
#include "dbclient/Session.h"
#include "support/BackOfficeServer.h"
#include "support/NetworkNamespace.h"
#include "support/ScopedEnvironment.h"

namespace kessmar::testing {
namespace {

using dbclient::Protocol;

BackOfficeServerOptions InSpace(const NetworkNamespace& space, const std::string& name,
                                const std::string& address) {
  BackOfficeServerOptions options;
  options.name = name;
  options.listen = address;
  options.trustedNets = {"10.77.0.0/24"};
  options.space = &space;
  return options;
}

TEST(LocalRemoteTest, RemoteServerIsTriedFirstUnlessLocalIsPreferred) {
  NetworkNamespace host;
  NetworkNamespace remote;
  NetworkNamespace::Link(host, "veth-host", "10.77.0.1/24", remote, "veth-remote", "10.77.0.2/24");
  BackOfficeServer local(InSpace(host, "LOCAL", "10.77.0.1"));
  BackOfficeServer far(InSpace(remote, "REMOTE", "10.77.0.2"));
  local.UseDatabase(local.CreateDatabase("located"));
  far.CreateDatabase("located");
  const auto localResponder = local.Announce();
  const auto remoteResponder = far.Announce();

  NetworkNamespace::Entered inside(host);
  // Inside the namespace a broadcast goes out of the chosen adapter: the loopback confinement
  // of the other tests does not apply there.
  ScopedEnvironment unconfined{{"KESSMAR_DISCOVERY_ADDR", std::nullopt}};
  std::vector<std::string> adapters;
  auto locate = [&](PriorityLocation priority) {
    TFFConnectionManager locator;
    locator.SetAliasName("VEMOPRO2FFDATABASE");
    locator.SetTryPriorityLocation(priority);
    locator.OnFoundNIC = [&](const std::string& name, int, bool& accept, bool&) {
      adapters.push_back(name);
      accept = true;
    };
    dbclient::RemoteServerEngine engine("engine", &locator);
    dbclient::Client client("client", &engine);
    dbclient::Session session("session", &client);
    session.Open();
    return locator.ServerName();
  };
  EXPECT_EQ(locate(PriorityLocation::plAdviceRemote), "REMOTE@10.77.0.2");
  EXPECT_EQ(adapters, std::vector<std::string>{"veth-host"});  // loopback is no adapter
  EXPECT_EQ(locate(PriorityLocation::plForceRemote), "REMOTE@10.77.0.2");
  EXPECT_EQ(locate(PriorityLocation::plAdviceLocal), "LOCAL@10.77.0.1");
  EXPECT_EQ(locate(PriorityLocation::plForceLocal), "LOCAL@10.77.0.1");

  // A remote server gone: with plAdviceRemote the local one is taken next; forced, none is.
  far.Stop();
  EXPECT_EQ(locate(PriorityLocation::plAdviceRemote), "LOCAL@10.77.0.1");
  TFFConnectionManager forced;
  forced.SetAliasName("VEMOPRO2FFDATABASE");
  forced.SetTryPriorityLocation(PriorityLocation::plForceRemote);
  Protocol protocol = Protocol::ptNone;
  std::string server;
  EXPECT_EQ(forced.Search(protocol, server), 8712);
}

}  // namespace
}  // namespace kessmar::testing
