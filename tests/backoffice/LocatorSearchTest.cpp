// The locator's search against real servers and responders on the loopback network: the alias
// check, the stored choice with login and save, the lock around the search, result 8712.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <thread>

#include "backoffice/TFFConnectionManager.h"
#include "dbclient/Client.h"
#include "dbclient/ResultCodes.h"
#include "dbclient/Session.h"
#include "support/BackOfficeServer.h"

namespace kessmar::testing {
namespace {

using dbclient::Protocol;

// A server on 127.0.0.1 that does not offer VEMOPRO2FFDATABASE, announced as OTHER, and one on
// 127.0.0.2 that does, announced as VEMOPRO; both with the same database.
class LocatorSearchTest : public ::testing::Test {
 protected:
  LocatorSearchTest() : plain_(BackOfficeServer::Shared()), vemo_(VemoOptions()) {
    static int count = 0;
    const std::string database = "locator_" + std::to_string(++count);
    plain_.CreateDatabase(database);
    vemo_.CreateDatabase(database);
    plain_.UseDatabase(database);
    plain_.Exec("DROP SCHEMA \"VEMOPRO2FFDATABASE\"");
    plainResponder_ = plain_.Announce("OTHER");
    vemoResponder_ = vemo_.Announce("VEMOPRO");
    locator_.SetAliasName("VEMOPRO2FFDATABASE");
  }

  static BackOfficeServerOptions VemoOptions() {
    BackOfficeServerOptions options;
    options.listen = "127.0.0.2";
    return options;
  }

  BackOfficeServer& plain_;
  BackOfficeServer vemo_;
  std::unique_ptr<ChildProcess> plainResponder_;
  std::unique_ptr<ChildProcess> vemoResponder_;
  TFFConnectionManager locator_;
  dbclient::RemoteServerEngine engine_{"engine", &locator_};
  dbclient::Client client_{"client", &engine_};
};

TEST_F(LocatorSearchTest, OnlyTheServerOfferingTheAliasIsUsed) {
  std::map<std::string, std::string> announced;  // server -> aliases
  locator_.OnFoundServer = [&](Protocol protocol, const std::string& server, bool&,
                               const std::string& aliases) {
    EXPECT_EQ(protocol, Protocol::ptTCPIP);
    announced[server] = aliases;
  };
  dbclient::Session session("session", &client_);
  session.Open();
  EXPECT_EQ(locator_.State(), SearchState::kSearched);
  EXPECT_EQ(locator_.ServerName(), "VEMOPRO@127.0.0.2");
  EXPECT_EQ(session.ServerLabel(), "VEMOPRO@127.0.0.2");
  ASSERT_EQ(announced.size(), 2u);
  EXPECT_EQ(announced["OTHER@127.0.0.1"].find("VEMOPRO2FFDATABASE"), std::string::npos);
  EXPECT_NE(announced["VEMOPRO@127.0.0.2"].find("VEMOPRO2FFDATABASE"), std::string::npos);

  // Adopting the server did not disturb the session that asked for it; a second session
  // connects without searching again.
  EXPECT_TRUE(session.IsOpen());
  announced.clear();
  dbclient::Session second("second", &client_);
  second.Open();
  EXPECT_TRUE(announced.empty());

  // A search property change searches again; an alias nobody offers finds nothing (8712), and the
  // locator then connects with its unchanged server name.
  locator_.SetAliasName("NOBODY");
  EXPECT_EQ(locator_.State(), SearchState::kNotSearched);
  Protocol protocol = Protocol::ptNone;
  std::string server;
  EXPECT_EQ(locator_.Search(protocol, server), dbclient::kServerNotFound);
  dbclient::Session third("third", &client_);
  third.Open();
  EXPECT_EQ(third.ServerLabel(), "VEMOPRO@127.0.0.2");
}

TEST_F(LocatorSearchTest, StoredChoiceLoginAndSave) {
  int logins = 0;
  int stored = 0;
  std::vector<std::string> saved;
  locator_.OnLogin = [&](std::string& user, std::string& password) {
    ++logins;
    user.clear();  // libpq's own defaults
    password.clear();
  };
  locator_.OnGetStoredProtocol = [&](Protocol& protocol, std::string& server) {
    ++stored;
    protocol = Protocol::ptTCPIP;
    server = "VEMOPRO@127.0.0.2";
  };
  locator_.OnSaveProtocol = [&](Protocol protocol, const std::string& server) {
    EXPECT_EQ(protocol, Protocol::ptTCPIP);
    saved.push_back(server);
  };
  int announced = 0;
  locator_.OnFoundServer = [&](Protocol, const std::string&, bool&, const std::string&) {
    ++announced;
  };
  dbclient::Session session("session", &client_);
  session.Open();
  // The stored choice worked: the passes that broadcast never ran.
  EXPECT_EQ(announced, 0);
  EXPECT_EQ(stored, 1);
  EXPECT_EQ(logins, 1);
  EXPECT_EQ(saved, std::vector<std::string>{"VEMOPRO@127.0.0.2"});
  EXPECT_EQ(locator_.ServerName(), "VEMOPRO@127.0.0.2");
}

TEST_F(LocatorSearchTest, RequestsDuringASearchWaitForItAndSearchOnce) {
  std::atomic<int> searches = 0;
  locator_.OnGetStoredProtocol = [&](Protocol& protocol, std::string&) {
    ++searches;
    protocol = Protocol::ptNone;  // nothing stored: the passes run
  };
  std::vector<std::string> labels(3);
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] {
      dbclient::Session session("session" + std::to_string(i), &client_);
      try {
        session.Open();
        labels[static_cast<size_t>(i)] = session.ServerLabel();
      } catch (const std::exception& e) {
        labels[static_cast<size_t>(i)] = e.what();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(searches, 1);
  for (const auto& label : labels) EXPECT_EQ(label, "VEMOPRO@127.0.0.2");
}

TEST_F(LocatorSearchTest, AutomaticConnectionsWarnWhenAsked) {
  std::vector<std::string> messages;
  locator_.ShowMessage = [&](const std::string& message) { messages.push_back(message); };
  locator_.SetWarnOnAutomaticConnect(true);
  dbclient::Session session("session", &client_);
  session.EnsureOpen(true);  // not installed yet: Loaded() was not called
  EXPECT_TRUE(messages.empty());
  locator_.Loaded();
  session.Close();
  session.Open();  // an explicit open is no automatic connection
  EXPECT_TRUE(messages.empty());
  session.Close();
  session.EnsureOpen(true);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0],
            "TFFConnectionManager (FFConnectionManager):\n\nWarning: connection attempted by "
            "[automatic] components!");
}

}  // namespace
}  // namespace kessmar::testing
