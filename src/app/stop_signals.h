#pragma once
// While alive, SIGINT, SIGTERM and SIGHUP ask the run to stop: `onStop`
// when given (it must be async-signal-safe), else the unattended run's
// TkvMain::RequestStop (converter threads finish their items and office
// processes are quit). A second signal takes its default action. Blocking
// calls interrupted by one of these signals are restarted, so no thread of
// the run sees EINTR from them. The previous handlers come back on
// destruction. Main thread; one at a time.

#include <atomic>
#include <csignal>

class TkvStopSignals {
 public:
  using StopFunction = void (*)();
  explicit TkvStopSignals(StopFunction onStop = nullptr);
  ~TkvStopSignals();
  TkvStopSignals(const TkvStopSignals&) = delete;
  TkvStopSignals& operator=(const TkvStopSignals&) = delete;

  static constexpr int kCount = 3;
  static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};

 private:
  static void Handle(int);
  static inline std::atomic<StopFunction> onStop_{nullptr};
  struct sigaction old_[kCount] {};
};
