// Signals reach us through a self-pipe: the handler only writes one byte, and a socket notifier
// turns that byte into a Qt signal on the user-interface thread.
#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <stdexcept>

#include "platform/FileDescriptor.h"
#include "platform/SessionEnd.h"

namespace kessmar::platform {
namespace {

constexpr std::array kEndSignals{SIGTERM, SIGHUP, SIGINT};

// Write end of the pipe of the one live watcher; only the signal handler reads it.
volatile sig_atomic_t signalWriteFd = -1;

void OnEndSignal(int) {
  const int saved = errno;
  const char byte = 1;
  if (signalWriteFd >= 0) {
    const ssize_t written = ::write(signalWriteFd, &byte, 1);
    (void)written;  // nothing to do in a signal handler when the pipe is full
  }
  errno = saved;
}

}  // namespace

struct SessionEndWatcher::Impl {
  FileDescriptor readEnd;
  FileDescriptor writeEnd;
  std::array<struct sigaction, kEndSignals.size()> previous{};
};

SessionEndWatcher::SessionEndWatcher(QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>()) {
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
    throw std::runtime_error("Cannot create the signal pipe");
  }
  impl_->readEnd.Reset(fds[0]);
  impl_->writeEnd.Reset(fds[1]);
  signalWriteFd = fds[1];

  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < kEndSignals.size(); ++i) {
    sigaction(kEndSignals[i], &action, &impl_->previous[i]);
  }

  auto* notifier = new QSocketNotifier(fds[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this] {
    char buffer[64];
    while (::read(impl_->readEnd.get(), buffer, sizeof buffer) > 0) {
    }
    emit sessionEnding();
  });

  if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    // The session manager asks before logoff or shutdown; we never veto it.
    connect(app, &QGuiApplication::commitDataRequest, this,
            [this](QSessionManager&) { emit sessionEnding(); });
  }
}

SessionEndWatcher::~SessionEndWatcher() {
  for (size_t i = 0; i < kEndSignals.size(); ++i) {
    sigaction(kEndSignals[i], &impl_->previous[i], nullptr);
  }
  signalWriteFd = -1;
}

}  // namespace kessmar::platform
