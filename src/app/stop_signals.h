#pragma once
// While alive, SIGINT, SIGTERM and SIGHUP ask the unattended run to stop
// (TkvMain::RequestStop): converter threads finish their items and office
// processes are quit. A second signal takes its default action. Blocking
// calls interrupted by one of these signals are restarted, so no thread of
// the run sees EINTR from them. The previous handlers come back on
// destruction. Main thread; one at a time.

#include <csignal>

class TkvStopSignals {
 public:
  TkvStopSignals();
  ~TkvStopSignals();
  TkvStopSignals(const TkvStopSignals&) = delete;
  TkvStopSignals& operator=(const TkvStopSignals&) = delete;

  static constexpr int kCount = 3;
  static constexpr int kSignals[kCount] = {SIGINT, SIGTERM, SIGHUP};

 private:
  static void Handle(int);
  struct sigaction old_[kCount] {};
};
