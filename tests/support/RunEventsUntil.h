// Runs the Qt event loop, timers included, until a condition holds.
#pragma once

#include <QEventLoop>
#include <QTimer>
#include <chrono>

namespace kessmar::testing {

// Returns true as soon as condition() holds, false when timeout passed first.
template <typename Condition>
bool RunEventsUntil(Condition condition, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    QEventLoop loop;
    QTimer::singleShot(10, &loop, &QEventLoop::quit);
    loop.exec();
  }
  return true;
}

}  // namespace kessmar::testing
