// A remote server engine: what clients use to reach a server, through the transport it is given.
#pragma once

#include <string>

namespace kessmar::dbclient {

class NetworkTransport;

class RemoteServerEngine {
 public:
  explicit RemoteServerEngine(std::string name, NetworkTransport* transport = nullptr)
      : name_(std::move(name)), transport_(transport) {}
  RemoteServerEngine(const RemoteServerEngine&) = delete;
  RemoteServerEngine& operator=(const RemoteServerEngine&) = delete;

  const std::string& Name() const { return name_; }
  // Not owned; it must outlive the sessions connected through this engine.
  void SetTransport(NetworkTransport* transport) { transport_ = transport; }
  NetworkTransport* Transport() const { return transport_; }

 private:
  std::string name_;
  NetworkTransport* transport_;
};

}  // namespace kessmar::dbclient
