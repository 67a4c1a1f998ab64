#include "app/stop_signals.h"

#include "app/unattended.h"

TkvStopSignals::TkvStopSignals(StopFunction onStop) {
  onStop_.store(onStop);
  struct sigaction sa {};
  sa.sa_handler = &TkvStopSignals::Handle;
  sigemptyset(&sa.sa_mask);
  sa.sa_flags = SA_RESETHAND | SA_RESTART;
  for (int i = 0; i < kCount; ++i) ::sigaction(kSignals[i], &sa, &old_[i]);
}

TkvStopSignals::~TkvStopSignals() {
  for (int i = 0; i < kCount; ++i) ::sigaction(kSignals[i], &old_[i], nullptr);
  onStop_.store(nullptr);
}

void TkvStopSignals::Handle(int) {
  // Async-signal-safe: atomic loads and an atomic store (or what `onStop` does).
  if (const StopFunction onStop = onStop_.load()) {
    onStop();
  } else if (TkvMain* main = TkvMain::Instance()) {
    main->RequestStop();
  }
}
