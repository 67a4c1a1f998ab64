#pragma once
// Running a call on the main thread and waiting until it has run there: how
// an ending converter hands its OnFinish to the owner of its chain.

#include <QPointer>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

class QTimer;

class TkvMainThreadHandOver {
 public:
  virtual ~TkvMainThreadHandOver() = default;
  // Any thread: runs `call` on the main thread; returns after it has run.
  virtual void InvokeBlocking(const std::function<void()>& call) = 0;
  // Owner's thread: a chain that may hand calls over starts / has ended
  // (every Attach is paired with one Detach).
  virtual void Attach() {}
  virtual void Detach() {}
  // Owner's thread, while it waits for converter threads to end: runs the
  // calls that are waiting, so that the wait cannot deadlock.
  virtual void DeliverPending() {}
};

// The engine's hand-over to the thread of QCoreApplication. Converter
// threads queue their call and wait on a condition variable; the main
// thread runs queued calls from a 10 ms timer that exists while a chain is
// attached (and in DeliverPending). No call crosses threads through Qt's
// event queue. Without an application, or on its thread, a call runs
// directly.
class TkvCoreAppHandOver : public TkvMainThreadHandOver {
 public:
  static TkvCoreAppHandOver& Instance();

  void InvokeBlocking(const std::function<void()>& call) override;
  void Attach() override;
  void Detach() override;
  void DeliverPending() override;

 private:
  struct Request {
    const std::function<void()>* call;
    bool done = false;
  };
  static bool OnMainThread();

  std::mutex lock_;
  std::condition_variable doneChanged_;
  std::deque<Request*> queue_;
  // Main thread only.
  QPointer<QTimer> timer_;
  int attached_ = 0;
};
