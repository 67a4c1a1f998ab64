#pragma once
// A time limit on one document's work with the calling thread's office processes.

#include <QString>

#include <memory>

namespace tabrix::office {
struct ThreadWatch;
}

// Held by a converter thread around one document's work. When the limit
// passes before the guard is destroyed, every office process created on this
// thread is killed: the blocked office call fails, and every office call of
// this thread fails at once (no new process is started) until the guard is
// destroyed; the errors say "The conversion timed out after N seconds". The
// next document gets a fresh process. Guards do not nest; a limit of 0 or
// less means no limit. The watchdog thread ends with the guard.
class TkvOfficeTimeout {
 public:
  explicit TkvOfficeTimeout(int seconds);
  ~TkvOfficeTimeout();
  TkvOfficeTimeout(const TkvOfficeTimeout&) = delete;
  TkvOfficeTimeout& operator=(const TkvOfficeTimeout&) = delete;

  bool Expired() const;
  int Seconds() const { return seconds_; }

  // The message of an expired guard on the calling thread, or empty text.
  static QString ThreadTimeoutMessage();

 private:
  struct Watchdog;
  int seconds_;
  std::shared_ptr<tabrix::office::ThreadWatch> watch_;
  std::unique_ptr<Watchdog> watchdog_;
};
