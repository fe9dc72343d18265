// A PostgreSQL database cluster of the back office in a folder of its own:
//   <folder>/data                 the cluster (PGDATA), with kessmar.conf holding our settings
//   <folder>/socket               the folder of the server's Unix-domain socket
//   <folder>/server.log           the server's log
//   <folder>/kessmar-server.ini   name, listen address and port of the last start
//   <folder>/announce.pid, .log   the discovery responder started with the server
// When this tool runs as root the cluster belongs to the "postgres" account and the server runs
// under it (PostgreSQL refuses root). It never touches a cluster it did not create in a folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "dbclient/Connection.h"

namespace kessmar::backoffice_server {

struct InitOptions {
  std::string superuser;                                   // empty: the account running this tool
  std::vector<std::string> trustedNets = {"127.0.0.0/8"};  // no password needed from these
  bool noSync = false;                                     // initdb --no-sync (tests)
};

struct StartOptions {
  std::string name = "VEMOPRO";      // the name the server announces and registers under
  std::string listen = "127.0.0.1";  // listen_addresses; "" for the Unix socket only
  uint16_t port = 5432;
  bool fast = false;  // no fsync: for tests and demos only, a crash can lose data
  // Also start the discovery responder, announcing name@announceAddress.
  std::optional<std::string> announceAddress;
  uint16_t discoveryPort = 0;  // 0: the default
};

class Cluster {
 public:
  explicit Cluster(const std::filesystem::path& folder);

  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path Data() const { return folder_ / "data"; }
  std::filesystem::path Socket() const { return folder_ / "socket"; }

  // Creates the cluster. Throws std::runtime_error with the reason (and initdb's output).
  void Init(const InitOptions& options);
  // Starts the server and registers it for single-user connections. Throws std::runtime_error
  // with the reason and the end of the server's log.
  void Start(const StartOptions& options);
  // Stops the server (fast or immediate shutdown), the responder and the registration. Throws
  // std::runtime_error when pg_ctl fails for another reason than a stopped server.
  void Stop(bool immediate);
  // pg_ctl's status text and our settings.
  std::string Status() const;
  // Where the tool connects as the cluster's superuser (through the socket).
  dbclient::ConnectTarget AdminTarget(const std::string& database) const;

 private:
  std::optional<std::string> ServerAccount() const;
  std::string BinPath(const std::string& program) const;
  std::string LogTail() const;
  uint16_t SavedPort() const;

  std::filesystem::path folder_;
};

}  // namespace kessmar::backoffice_server
