#pragma once
// Waiting in tests for what other threads do: the condition is looked at
// every millisecond, up to a deadline that only a broken program reaches.

#include <QCoreApplication>

#include <chrono>
#include <functional>
#include <thread>

namespace tabrix::test {

// True once `done` holds; false when `timeout` passed first.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// As WaitUntil, running the main thread's pending events meanwhile.
inline bool SpinEventsUntil(const std::function<bool()>& done,
                            std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  return WaitUntil(
      [&] {
        QCoreApplication::processEvents();
        return done();
      },
      timeout);
}

}  // namespace tabrix::test
