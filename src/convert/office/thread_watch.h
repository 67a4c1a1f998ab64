#pragma once
// Inside the office layer: what a converter thread's office processes and its
// time limit share.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TkvOfficeProcess;

namespace tabrix::office {

// The office processes created on one thread and the state of that thread's
// timeout guard. Shared by the thread, its processes and the watchdog.
struct ThreadWatch {
  std::mutex mutex;
  std::vector<TkvOfficeProcess*> processes;
  int expiredSeconds = 0;  // > 0 while an expired guard is in place

  static std::shared_ptr<ThreadWatch> ForThisThread();
};

// Runs an action on its own thread once a delay has passed, unless destroyed
// first; the destructor joins that thread.
class DelayedAction {
 public:
  DelayedAction(std::chrono::milliseconds delay, std::function<void()> action);
  ~DelayedAction();
  DelayedAction(const DelayedAction&) = delete;
  DelayedAction& operator=(const DelayedAction&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool cancelled_ = false;
  std::thread thread_;  // last: starts after the members it uses
};

}  // namespace tabrix::office
