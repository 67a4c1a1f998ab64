#include "batch/work_base.h"

#include "core/error.h"

#include <QHash>

#include <exception>

#include <cstdio>
#include <cstdlib>

TkvWorkBase::TkvWorkBase(TkvBatch* batch) : batch_(batch) {}

TkvWorkBase::~TkvWorkBase() {
  if (thread_.joinable() && thread_.get_id() == std::this_thread::get_id()) {
    std::fputs("TkvWorkBase destroyed on its own thread\n", stderr);
    std::abort();
  }
  StopAndWait();
}

void TkvWorkBase::Start() {
  if (thread_.joinable() || finished_.load()) return;
  thread_ = std::thread(&TkvWorkBase::Body, this);
}

void TkvWorkBase::Wait() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

void TkvWorkBase::StopAndWait() {
  Terminate();
  Wait();
}

QString TkvWorkBase::FatalError() const {
  std::lock_guard<std::mutex> g(errorLock_);
  return fatalError_;
}

void TkvWorkBase::Body() {
  try {
    Execute();
  } catch (const std::exception& e) {
    std::lock_guard<std::mutex> g(errorLock_);
    fatalError_ = QString::fromUtf8(e.what());
  } catch (...) {
    std::lock_guard<std::mutex> g(errorLock_);
    fatalError_ = QStringLiteral("Unknown error in a worker thread");
  }
  try {
    DoTerminate();
  } catch (...) {
  }
  item_ = nullptr;
  finished_.store(true);
}

void TkvWorkBase::Execute() {
  while (!Terminated()) {
    item_ = batch_->NextItem(&terminated_);
    if (!item_) {
      Terminate();
      break;
    }
    try {
      ProcessItem();
    } catch (const TkvError& e) {
      batch_->SetItemResult(item_, e.Message());
    } catch (const std::exception& e) {
      const QString message =
          QStringLiteral("Internal error: %1").arg(QString::fromLocal8Bit(e.what()));
      batch_->SetItemOutcome(item_, TkvNode::Failed, message);
      batch_->AddFailure(message);
    }
  }
}

namespace {

struct Registry {
  std::mutex lock;
  QHash<QString, TkvWorkerClasses::Factory> factories;
  Registry() {
    factories.insert(QStringLiteral("tkvworkbase"),
                     [](TkvBatch* batch, const TkvOptionSource&, int, const TkvItemEvent&) {
                       return std::make_unique<TkvWorkBase>(batch);
                     });
  }
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

}  // namespace

void TkvWorkerClasses::Register(const QString& name, Factory factory) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> g(r.lock);
  r.factories.emplace(name.toLower(), std::move(factory));
}

bool TkvWorkerClasses::Contains(const QString& name) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> g(r.lock);
  return r.factories.contains(name.toLower());
}

std::unique_ptr<TkvWorkBase> TkvWorkerClasses::Create(const QString& name, TkvBatch* batch,
                                                      const TkvOptionSource& options, int count,
                                                      TkvItemEvent itemEvent) {
  Factory factory;
  {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> g(r.lock);
    factory = r.factories.value(name.toLower());
  }
  if (!factory) throw TkvError(QStringLiteral("Unknown worker class: %1").arg(name));
  return factory(batch, options, count, std::move(itemEvent));
}
