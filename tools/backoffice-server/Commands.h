// The subcommands of backoffice-server, each taking its already parsed options.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "backoffice-server/Cluster.h"

namespace kessmar::backoffice_server {

struct SchemaOptions {
  std::optional<std::string> folder;  // a cluster of ours; none: libpq's environment
  std::string database;               // empty: PGDATABASE, else "vemo"
  bool demo = false;
  int articles = 200;
};

struct AnnounceOptions {
  std::string name = "VEMOPRO";
  std::string address;
  uint16_t port = 0;  // 0: KESSMAR_DISCOVERY_PORT, else the default
  std::string pidFile;
};

// Creates the database when missing, then its schema; with demo, the demo data too. Throws
// std::runtime_error or dbclient::DatabaseError with the reason.
void CreateSchema(const SchemaOptions& options);
// Loads the demo data into an existing schema.
void LoadDemo(const SchemaOptions& options);
// Answers discovery requests until SIGTERM, SIGINT or SIGHUP. Prints one line
// "ANNOUNCING <NAME@address> udp <port>" once it listens.
void Announce(const AnnounceOptions& options);

}  // namespace kessmar::backoffice_server
