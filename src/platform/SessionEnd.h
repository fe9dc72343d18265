// Tells the program that the user's session is ending or that it was asked to stop.
#pragma once

#include <QObject>
#include <memory>

namespace kessmar::platform {

// Emits sessionEnding() once for each request to end: the session manager's request to quit
// (logoff, shutdown) and SIGTERM, SIGHUP and SIGINT. The signals are caught for the life of the
// object and turned into a queued Qt signal, so the receiver runs on the user-interface thread
// and may end the event loop normally. At most one object may exist at a time.
class SessionEndWatcher : public QObject {
  Q_OBJECT
 public:
  explicit SessionEndWatcher(QObject* parent = nullptr);
  ~SessionEndWatcher() override;

 signals:
  void sessionEnding();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace kessmar::platform
