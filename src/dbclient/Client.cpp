#include "dbclient/Client.h"

#include <algorithm>

#include "dbclient/Session.h"

namespace kessmar::dbclient {

Client::Client(std::string name, RemoteServerEngine* engine)
    : name_(std::move(name)), engine_(engine) {}

Client::~Client() {
  for (Session* session : Sessions()) session->SetClient(nullptr);
}

std::vector<Session*> Client::Sessions() const {
  std::lock_guard<std::mutex> guard(sessionsLock_);
  return sessions_;
}

void Client::SetActive(bool active) {
  if (active_.exchange(active) == active) return;
  // Closing a session detaches it: work on a copy.
  if (!active) {
    for (Session* session : Sessions()) session->Close();
  }
}

NetworkTransport& Client::Transport() {
  if (engine_ == nullptr) {
    throw DatabaseError("client " + name_ + " has no server engine", sqlstate::kCannotConnect, {});
  }
  if (engine_->Transport() == nullptr) {
    throw DatabaseError("server engine " + engine_->Name() + " has no transport",
                        sqlstate::kCannotConnect, {});
  }
  return *engine_->Transport();
}

void Client::Attach(Session* session) {
  std::lock_guard<std::mutex> guard(sessionsLock_);
  if (std::find(sessions_.begin(), sessions_.end(), session) == sessions_.end()) {
    sessions_.push_back(session);
  }
}

void Client::Detach(Session* session) {
  std::lock_guard<std::mutex> guard(sessionsLock_);
  std::erase(sessions_, session);
}

CommsEngine::CommsEngine(std::string name, Protocol protocol, RemoteServerEngine* engine)
    : Client(name, engine), own_(std::move(name), protocol) {}

NetworkTransport& CommsEngine::Transport() {
  if (ServerEngine() != nullptr) return Client::Transport();
  return own_;
}

}  // namespace kessmar::dbclient
