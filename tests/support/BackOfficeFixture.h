// GoogleTest fixture: every test gets a fresh database of the process's shared back-office
// server, in use for this process's clients (PGDATABASE).
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

}  // namespace kessmar::testing
