// Windows asks every top-level window with WM_QUERYENDSESSION before logoff or shutdown; a
// native event filter sees it before Qt does. We never veto it.
#include <windows.h>

#include <QAbstractNativeEventFilter>
#include <QCoreApplication>
#include <QMetaObject>

#include "platform/SessionEnd.h"

namespace kessmar::platform {

namespace {

class QueryEndSessionFilter : public QAbstractNativeEventFilter {
 public:
  explicit QueryEndSessionFilter(SessionEndWatcher& watcher) : watcher_(watcher) {}

  bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
    if (eventType != "windows_generic_MSG" || message == nullptr) return false;
    const auto* msg = static_cast<const MSG*>(message);
    // Each window of the program is asked; one request is one signal.
    if (msg->message == WM_QUERYENDSESSION && msg->time != lastAsked_) {
      lastAsked_ = msg->time;
      QMetaObject::invokeMethod(&watcher_, &SessionEndWatcher::sessionEnding, Qt::QueuedConnection);
    }
    return false;  // Qt answers the message: the session may end
  }

 private:
  SessionEndWatcher& watcher_;
  DWORD lastAsked_ = 0xffffffff;
};

}  // namespace

struct SessionEndWatcher::Impl {
  explicit Impl(SessionEndWatcher& watcher) : filter(watcher) {}
  QueryEndSessionFilter filter;
};

SessionEndWatcher::SessionEndWatcher(QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(*this)) {
  if (auto* app = QCoreApplication::instance()) app->installNativeEventFilter(&impl_->filter);
}

SessionEndWatcher::~SessionEndWatcher() {
  if (auto* app = QCoreApplication::instance()) app->removeNativeEventFilter(&impl_->filter);
}

}  // namespace kessmar::platform
