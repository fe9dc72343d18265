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
struct RoleOptions {
  std::string user;          // the login role to create or update
  std::string passwordFile;  // its first line is the password; empty: none set
};

// Brings an existing schema up to date (UpgradeScript in SchemaSql.h).
void UpgradeSchema(const SchemaOptions& options);
// Creates or updates the scanner tool's login role (ToolRoleScript in SchemaSql.h) in the
// schema's database. Throws std::invalid_argument for a name or password that cannot be used,
// std::runtime_error or dbclient::DatabaseError with the reason.
void CreateToolRole(const SchemaOptions& options, const RoleOptions& role);

// Loads the demo data into an existing schema.
void LoadDemo(const SchemaOptions& options);
// Answers discovery requests until SIGTERM, SIGINT or SIGHUP. Prints one line
// "ANNOUNCING <NAME@address> udp <port>" once it listens.
void Announce(const AnnounceOptions& options);

}  // namespace kessmar::backoffice_server
