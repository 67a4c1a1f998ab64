#include "convert/hand_over.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

TkvCoreAppHandOver& TkvCoreAppHandOver::Instance() {
  static TkvCoreAppHandOver instance;
  return instance;
}

bool TkvCoreAppHandOver::OnMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

void TkvCoreAppHandOver::InvokeBlocking(const std::function<void()>& call) {
  if (!QCoreApplication::instance() || OnMainThread()) {
    call();
    return;
  }
  Request request{&call};
  std::unique_lock<std::mutex> lock(lock_);
  queue_.push_back(&request);
  doneChanged_.wait(lock, [&] { return request.done; });
}

void TkvCoreAppHandOver::Attach() {
  if (!OnMainThread()) return;
  if (!timer_) {
    // Owned by the application, so it never outlives the main thread's loop.
    timer_ = new QTimer(QCoreApplication::instance());
    timer_->setInterval(10);
    QObject::connect(timer_, &QTimer::timeout, [this] { DeliverPending(); });
    attached_ = 0;
  }
  if (attached_++ == 0) timer_->start();
}

void TkvCoreAppHandOver::Detach() {
  if (!OnMainThread() || !timer_ || attached_ == 0) return;
  if (--attached_ == 0) timer_->stop();
}

void TkvCoreAppHandOver::DeliverPending() {
  if (!OnMainThread()) return;
  std::deque<Request*> batch;
  {
    std::lock_guard<std::mutex> lock(lock_);
    batch.swap(queue_);
  }
  for (Request* request : batch) {
    try {
      (*request->call)();
    } catch (...) {
      // The converter's thread must be released whatever the call did.
    }
    {
      std::lock_guard<std::mutex> lock(lock_);
      request->done = true;
    }
    doneChanged_.notify_all();
  }
}
