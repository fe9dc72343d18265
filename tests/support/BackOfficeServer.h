// A real back-office PostgreSQL server for tests, started from the installed binaries through
// backoffice-server in a temporary folder and removed with it.
//
// Every server holds a template database with the back office's schema (and, when asked, the
// demo catalogue); each test takes a fresh copy (CREATE DATABASE ... TEMPLATE), so tests never
// see each other's rows. A server that cannot start throws std::runtime_error with the reason
// (the test fails; it never skips).
//
// The environment of the test process is set so that everything stays inside the test: a
// discovery port of its own (KESSMAR_DISCOVERY_PORT; ctest runs tests in parallel, and they
// would hear each other's responders), a single-user registry folder of its own
// (KESSMAR_SERVER_REGISTRY), PGPORT = the servers' port, PGDATABASE = the database in use.
//
// Typical use (see BackOfficeFixture.h):
//   auto& server = BackOfficeServer::Shared();
//   server.UseDatabase(server.CreateDatabase());
//   server.Exec("INSERT INTO \"DATA\".\"artk\" VALUES (7, '12345678', ...)");
//   ... connect to server.ServerAddress() ("VEMOPRO@127.0.0.1") through the client ...
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TempDir.h"

namespace kessmar::dbclient {
class Connection;
}

namespace kessmar::testing {

class NetworkNamespace;

// Runs a program and collects its standard output and error. Throws std::runtime_error when it
// cannot be started.
std::pair<int, std::string> RunCommand(const std::vector<std::string>& argv);

struct BackOfficeServerOptions {
  std::string name = "VEMOPRO";             // the name it registers (and announces) under
  std::string listen = "127.0.0.1";         // its TCP address
  uint16_t port = 0;                        // 0: BackOfficeServer::TestPort()
  bool demo = false;                        // the template holds the demo catalogue too
  int articles = 200;                       // generated demo articles
  bool fast = true;                         // fsync off (tests); false: durable, as on a real site
  std::vector<std::string> trustedNets;     // besides 127.0.0.0/8: networks that need no password
  const NetworkNamespace* space = nullptr;  // start the server inside this namespace
};

using SqlRow = std::vector<std::optional<std::string>>;

class BackOfficeServer {
 public:
  explicit BackOfficeServer(BackOfficeServerOptions options = {});
  BackOfficeServer(const BackOfficeServer&) = delete;
  BackOfficeServer& operator=(const BackOfficeServer&) = delete;
  // Stops the server (immediately) and removes its folder.
  ~BackOfficeServer();

  // The server of this test process, started on first use with the default options (schema
  // only); lives until the process ends.
  static BackOfficeServer& Shared();
  // The TCP port every server of this test process uses (so that PGPORT reaches all of them):
  // chosen once, free on 127.0.0.1 to 127.0.0.3. Also sets the process environment above.
  static uint16_t TestPort();
  // The UDP discovery port of this test process (KESSMAR_DISCOVERY_PORT).
  static uint16_t DiscoveryPort();

  // A fresh database copied from the template; returns its name (name, when given: tests with
  // several servers give each the same database name, since PGDATABASE names one for all).
  std::string CreateDatabase(const std::string& name = "");
  // Makes database the one this process's clients use (PGDATABASE) and Exec's default.
  void UseDatabase(const std::string& database);
  const std::string& Database() const { return database_; }

  // Runs statements (several, separated by ";") in database (default: the one in use) as the
  // superuser. Throws dbclient::DatabaseError.
  void Exec(const std::string& sql, const std::string& database = "");
  // The rows of a query (null values as nullopt).
  std::vector<SqlRow> Query(const std::string& sql, const std::string& database = "");
  // The first value of the first row; "" when there is none or it is null.
  std::string QueryValue(const std::string& sql, const std::string& database = "");

  const std::string& Name() const { return options_.name; }
  const std::string& Listen() const { return options_.listen; }
  uint16_t Port() const { return options_.port; }
  // NAME@listen: the address clients connect to over TCP/IP.
  std::string ServerAddress() const { return options_.name + "@" + options_.listen; }
  std::filesystem::path Folder() const { return dir_.Path() / "cluster"; }
  std::filesystem::path SocketFolder() const { return Folder() / "socket"; }
  // NAME@<socket folder>: the address for single-user connections.
  std::string SingleUserAddress() const { return options_.name + "@" + SocketFolder().string(); }

  // The server's processes: the postmaster first, then its children.
  pid_t PostmasterPid() const;
  std::vector<pid_t> ServerProcesses() const;
  // Stops the server cleanly (what was committed stays) and starts it again with the same
  // settings.
  void Stop();
  void Start();
  // Kills every server process with SIGKILL and waits until they are gone.
  void Kill();
  // SIGSTOP / SIGCONT to every server process: a server that stalls.
  void Suspend();
  void Resume();

  // Starts "backoffice-server announce" for name@address (default: this server's) on the test's
  // discovery port, inside this server's namespace when it has one; returns once it listens.
  std::unique_ptr<ChildProcess> Announce(const std::string& name = "",
                                         const std::string& address = "") const;

 private:
  std::vector<std::string> Tool(std::vector<std::string> args) const;
  void RunTool(const std::vector<std::string>& args) const;
  dbclient::Connection& ConnectionTo(const std::string& database);

  BackOfficeServerOptions options_;
  TempDir dir_;
  std::string database_;
  int databases_ = 0;
  bool running_ = false;
  std::map<std::string, std::unique_ptr<dbclient::Connection>> connections_;
};

}  // namespace kessmar::testing
