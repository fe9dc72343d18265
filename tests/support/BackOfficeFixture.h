// GoogleTest fixtures: every test gets a fresh database of the process's shared back-office
// server, or of a durable server of its own, in use for this process's clients (PGDATABASE).
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/BackOfficeServer.h"

namespace kessmar::testing {

// The work happens in the constructor, so that members of derived fixtures can already use
// Server(); a server that cannot start fails the test there (GoogleTest reports the exception).
class BackOfficeFixture : public ::testing::Test {
 protected:
  BackOfficeFixture() : server_(&BackOfficeServer::Shared()), database_(server_->CreateDatabase()) {
    server_->UseDatabase(database_);
  }

  BackOfficeServer& Server() { return *server_; }

  BackOfficeServer* server_;
  std::string database_;
};

// A server of the test's own that keeps what it committed when it is killed, as on a real site
// (the shared test server trades that for speed).
class DurableServerTest : public ::testing::Test {
 protected:
  DurableServerTest() : server(Durable()) { server.UseDatabase(server.CreateDatabase()); }
  static BackOfficeServerOptions Durable() {
    BackOfficeServerOptions options;
    options.fast = false;
    return options;
  }
  std::string Value(const std::string& sql) { return server.QueryValue(sql); }

  BackOfficeServer server;
};

}  // namespace kessmar::testing
