#include "backoffice-server/Commands.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <stdexcept>

#include "backoffice-server/SchemaSql.h"
#include "dbclient/Connection.h"
#include "dbclient/Discovery.h"
#include "platform/Files.h"

namespace kessmar::backoffice_server {
namespace {

using dbclient::Connection;
using dbclient::ConnectTarget;

constexpr std::chrono::seconds kToolTimeout{300};

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

std::string DatabaseName(const SchemaOptions& options) {
  if (!options.database.empty()) return options.database;
  const char* env = std::getenv("PGDATABASE");
  return env != nullptr && *env ? env : "vemo";
}

ConnectTarget TargetFor(const SchemaOptions& options, const std::string& database) {
  if (options.folder) return Cluster(*options.folder).AdminTarget(database);
  ConnectTarget target;
  // Never fall back to a default server: that could be a system cluster nobody meant.
  const char* host = std::getenv("PGHOST");
  if (host == nullptr || *host == '\0') {
    throw std::runtime_error("without a cluster folder, set PGHOST to the server to work on");
  }
  target.host = host;
  target.serverLabel = target.host;
  target.database = database;
  return target;
}

std::string Quote(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

}  // namespace

void CreateSchema(const SchemaOptions& options) {
  const std::string database = DatabaseName(options);
  {
    auto admin = Connection::Open(TargetFor(options, "postgres"), kToolTimeout);
    const auto found = admin->Execute("SELECT 1 FROM pg_catalog.pg_database WHERE datname = $1",
                                      {database}, kToolTimeout);
    if (found.Rows() == 0) {
      admin->ExecuteScript("CREATE DATABASE " + Quote(database) + " TEMPLATE template0",
                           kToolTimeout);
    }
  }
  auto connection = Connection::Open(TargetFor(options, database), kToolTimeout);
  const auto schemas = connection->Execute(
      "SELECT 1 FROM pg_catalog.pg_namespace WHERE nspname IN ('DATA', 'SYSTEM')", {},
      kToolTimeout);
  if (schemas.Rows() > 0) {
    throw std::runtime_error("database \"" + database + "\" already holds the back-office schema");
  }
  connection->ExecuteScript(SchemaScript(), kToolTimeout);
  if (options.demo) connection->ExecuteScript(DemoScript(options.articles), kToolTimeout);
}

void LoadDemo(const SchemaOptions& options) {
  auto connection = Connection::Open(TargetFor(options, DatabaseName(options)), kToolTimeout);
  connection->ExecuteScript(DemoScript(options.articles), kToolTimeout);
}

void Announce(const AnnounceOptions& options) {
  const uint16_t port = options.port != 0 ? options.port : dbclient::DiscoveryPort();
  const std::string address = options.name + "@" + options.address;
  dbclient::DiscoveryResponder responder(address, port);
  std::signal(SIGTERM, RequestStop);
  std::signal(SIGINT, RequestStop);
  std::signal(SIGHUP, RequestStop);
  if (!options.pidFile.empty()) {
    platform::ReplaceFileContent(options.pidFile, std::to_string(getpid()) + "\n");
  }
  std::cout << "ANNOUNCING " << address << " udp " << port << std::endl;
  while (stopRequested == 0) {
    responder.ServeUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(200));
  }
  if (!options.pidFile.empty()) {
    std::error_code ignored;
    std::filesystem::remove(options.pidFile, ignored);
  }
}

}  // namespace kessmar::backoffice_server
