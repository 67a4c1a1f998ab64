#include "convert/office/office_timeout.h"

#include "convert/office/office_process.h"
#include "convert/office/thread_watch.h"

namespace tabrix::office {

std::shared_ptr<ThreadWatch> ThreadWatch::ForThisThread() {
  thread_local std::shared_ptr<ThreadWatch> watch = std::make_shared<ThreadWatch>();
  return watch;
}

DelayedAction::DelayedAction(std::chrono::milliseconds delay, std::function<void()> action)
    : thread_([this, delay, action = std::move(action)] {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, delay, [this] { return cancelled_; })) {
          lock.unlock();
          action();
        }
      }) {}

DelayedAction::~DelayedAction() {
  {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

}  // namespace tabrix::office

using tabrix::office::DelayedAction;
using tabrix::office::ThreadWatch;

namespace {

QString TimeoutMessage(int seconds) {
  return QStringLiteral("The conversion timed out after %1 seconds").arg(seconds);
}

}  // namespace

struct TkvOfficeTimeout::Watchdog {
  Watchdog(std::chrono::milliseconds delay, std::function<void()> f)
      : action(delay, std::move(f)) {}
  DelayedAction action;
};

TkvOfficeTimeout::TkvOfficeTimeout(int seconds)
    : seconds_(seconds), watch_(ThreadWatch::ForThisThread()) {
  if (seconds_ <= 0) return;
  watchdog_ = std::make_unique<Watchdog>(std::chrono::seconds(seconds_), [watch = watch_, seconds] {
    std::lock_guard lock(watch->mutex);
    watch->expiredSeconds = seconds;
    for (TkvOfficeProcess* p : watch->processes) p->Kill();
  });
}

TkvOfficeTimeout::~TkvOfficeTimeout() {
  watchdog_.reset();  // joins the watchdog thread
  std::lock_guard lock(watch_->mutex);
  watch_->expiredSeconds = 0;
}

bool TkvOfficeTimeout::Expired() const {
  std::lock_guard lock(watch_->mutex);
  return watch_->expiredSeconds > 0;
}

QString TkvOfficeTimeout::ThreadTimeoutMessage() {
  auto watch = ThreadWatch::ForThisThread();
  std::lock_guard lock(watch->mutex);
  return watch->expiredSeconds > 0 ? TimeoutMessage(watch->expiredSeconds) : QString();
}
