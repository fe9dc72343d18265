// The client objects a test needs to reach one server: a TCP/IP (or other) transport, a remote
// engine on it, a client and a session.
#pragma once

#include <string>

#include "dbclient/Client.h"
#include "dbclient/NetworkTransport.h"
#include "dbclient/RemoteServerEngine.h"
#include "dbclient/Session.h"

namespace kessmar::testing {

struct ConnectedSession {
  explicit ConnectedSession(const std::string& serverAddress,
                            dbclient::Protocol protocol = dbclient::Protocol::ptTCPIP)
      : transport("testTransport", protocol) {
    transport.SetServerName(serverAddress);
  }

  dbclient::NetworkTransport transport;
  dbclient::RemoteServerEngine engine{"testEngine", &transport};
  dbclient::Client client{"testClient", &engine};
  dbclient::Session session{"testSession", &client};
};

// Milliseconds since start.
inline long long ElapsedMs(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

}  // namespace kessmar::testing
