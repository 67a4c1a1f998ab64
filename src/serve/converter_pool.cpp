#include "serve/converter_pool.h"

#include "batch/batch.h"
#include "convert/convertor.h"
#include "convert/office/calc_application.h"
#include "core/option_source.h"
#include "serve/layered_options.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <chrono>

#include <signal.h>

namespace {

// A child that has ended but is not yet reaped counts as gone.
bool ProcessRunning(long pid) {
  if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0) return false;
  QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
  if (!stat.open(QIODevice::ReadOnly)) return false;
  const QByteArray text = stat.readAll();
  const qsizetype close = text.lastIndexOf(')');
  return close < 0 || text.mid(close + 2, 1) != "Z";
}

}  // namespace

// One converter chain of one thread and the options it goes by. Used by one
// request at a time (the pool's lease); the figures are atomics.
class TkvConverterPool::Slot {
 public:
  Slot(const TkvOptionSource& base, const QString& folder) : options_(base), folder_(folder) {
    // Every PDF goes straight into the request's own folder; the workbook
    // there is never touched.
    const QList<QPair<QString, QString>> fixed = {
        {QStringLiteral("ThreadsCount"), QStringLiteral("1")},
        {QStringLiteral("IsOverwrite"), QStringLiteral("True")},
        {QStringLiteral("KeepTargetSubdirs"), QStringLiteral("False")},
        {QStringLiteral("Subdir"), QStringLiteral("False")},
        {QStringLiteral("DeleteSource"), QStringLiteral("False")},
        {QStringLiteral("RenameSource"), QString()},
        {QStringLiteral("KeepFileTime"), QStringLiteral("False")},
        {QStringLiteral("RegExt"), QString()},
        {QStringLiteral("SkipHidden"), QStringLiteral("False")},
        {QStringLiteral("Shard"), QString()},
    };
    for (const auto& [key, value] : fixed) options_.SetFixed(key, value);
  }

  ~Slot() {
    if (chain_) chain_->Shutdown();
    chain_.reset();
    batch_.reset();
  }

  int MaxTimeout() const { return options_.ItemTimeout(); }

  // One round of the chain on `source`; returns its item (an empty node
  // when there was none).
  TkvNode Run(const QString& source, const QString& target, const TkvSettings& settings) {
    options_.SetRequest(settings);
    auto batch = std::make_unique<TkvBatch>(options_);
    batch->StartSearch(source, target, false);
    if (!chain_) {
      chain_ = TkvConvertor::StartConverters(batch.get(), target,
                                             [this](TkvBatch*, TkvNode*) { RecordOffice(); });
      chain_->KeepBetweenRounds();
      RunningConvertors.fetch_add(1);
      chain_->Start();
    } else {
      chain_->StartRound(batch.get(), target);
    }
    while (!chain_->WaitRoundDone(std::chrono::milliseconds(200))) {
    }
    batch->WaitForSearch();
    const TkvNode item = batch->ItemSnapshot(0);
    // The converter may still name the batch until its next round.
    batch_ = std::move(batch);
    alive_.store(!chain_->WaitConvertersEnded(std::chrono::milliseconds(0)));
    return item;
  }

  // Starts the office with a document of its own (its outcome does not matter).
  void Warm() {
    const QString in = folder_ + QStringLiteral("/in"), out = folder_ + QStringLiteral("/out");
    QDir().mkpath(in);
    QDir().mkpath(out);
    const QString source = in + QStringLiteral("/warm.csv");
    QFile file(source);
    if (file.open(QIODevice::WriteOnly)) file.write("Tabrix,1\n");
    file.close();
    try {
      Run(source, out, {});
    } catch (...) {
    }
    QDir(out).removeRecursively();
    QDir(in).removeRecursively();
  }

  bool Alive() const { return alive_.load(); }
  long OfficePid() const { return pid_.load(); }
  bool OfficeRunning() const { return ProcessRunning(pid_.load()); }
  int Restarts() const { return starts_.load() > 1 ? starts_.load() - 1 : 0; }

 private:
  // Converter thread, after each item.
  void RecordOffice() {
    const TkvThreadOffice office = TkvThisThreadOffice();
    pid_.store(office.pid);
    starts_.store(office.starts);
  }

  TkvLayeredOptions options_;
  QString folder_;
  std::unique_ptr<TkvBatch> batch_;  // the last round's
  std::unique_ptr<TkvConvertor> chain_;
  std::atomic<bool> alive_{true};
  std::atomic<long> pid_{-1};
  std::atomic<int> starts_{0};
};

TkvConverterPool::TkvConverterPool(const TkvOptionSource& options, int threads, int maxQueue,
                                   const QString& workFolder)
    : maxQueue_(maxQueue) {
  for (int i = 0; i < (threads < 1 ? 1 : threads); ++i) {
    slots_.push_back(
        std::make_unique<Slot>(options, QStringLiteral("%1/warm-%2").arg(workFolder).arg(i + 1)));
    free_.push_back(slots_.back().get());
  }
  std::vector<std::thread> warming;
  for (const auto& slot : slots_) warming.emplace_back([s = slot.get()] { s->Warm(); });
  for (std::thread& t : warming) t.join();
}

TkvConverterPool::~TkvConverterPool() {
  std::vector<std::thread> warmers;
  {
    std::lock_guard<std::mutex> lock(lock_);
    warmers.swap(warmers_);
  }
  for (std::thread& t : warmers) t.join();
  slots_.clear();
}

TkvConverterPool::Slot* TkvConverterPool::Acquire() {
  std::unique_lock<std::mutex> lock(lock_);
  if (free_.empty() && waiting_ >= maxQueue_) return nullptr;
  ++waiting_;
  freed_.wait(lock, [this] { return !free_.empty(); });
  --waiting_;
  Slot* slot = free_.back();
  free_.pop_back();
  return slot;
}

void TkvConverterPool::Release(Slot* slot) {
  std::lock_guard<std::mutex> lock(lock_);
  if (slot->Alive() && !slot->OfficeRunning()) return WarmThenFree(slot);
  free_.push_back(slot);
  freed_.notify_one();
}

void TkvConverterPool::WarmThenFree(Slot* slot) {
  warmers_.emplace_back([this, slot] {
    slot->Warm();
    std::lock_guard<std::mutex> relock(lock_);
    free_.push_back(slot);
    freed_.notify_one();
  });
}

TkvServeOutcome TkvConverterPool::Convert(const TkvServeJob& job) {
  TkvServeOutcome outcome;
  Slot* slot = Acquire();
  if (!slot) {
    outcome.kind = TkvServeOutcome::Kind::Busy;
    outcome.message = QStringLiteral("%1 requests already wait for a converter").arg(maxQueue_);
    return outcome;
  }
  struct Lease {
    TkvConverterPool* pool;
    Slot* slot;
    ~Lease() { pool->Release(slot); }
  } lease{this, slot};

  if (!slot->Alive()) {
    outcome.kind = TkvServeOutcome::Kind::Unavailable;
    outcome.message = QStringLiteral("The converter has stopped");
    return outcome;
  }
  QElapsedTimer timer;
  timer.start();
  TkvNode item;
  try {
    item = slot->Run(job.source, job.targetFolder, job.settings);
  } catch (const std::exception& e) {
    item.Status = TkvNode::Failed;
    item.Result = QString::fromLocal8Bit(e.what());
  }
  outcome.seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
  if (item.FileName.isEmpty() && item.Result.isEmpty()) {
    outcome.message = QStringLiteral("The workbook was not found by the converter");
  } else if (item.Status == TkvNode::Done && !item.Files.isEmpty()) {
    outcome.kind = TkvServeOutcome::Kind::Converted;
    outcome.files = item.Files;
    outcome.pages = item.Pages;
  } else {
    outcome.message = item.Result.isEmpty() ? QStringLiteral("No PDF was written") : item.Result;
    if (outcome.message.contains(QLatin1String("timed out after")))
      outcome.kind = TkvServeOutcome::Kind::TimedOut;
  }
  if (!slot->Alive()) outcome.kind = TkvServeOutcome::Kind::Unavailable;
  return outcome;
}

QList<TkvConverterPool::Converter> TkvConverterPool::Health() {
  {
    std::lock_guard<std::mutex> lock(lock_);
    for (auto it = free_.begin(); it != free_.end();) {
      Slot* slot = *it;
      if (slot->Alive() && !slot->OfficeRunning()) {
        it = free_.erase(it);
        WarmThenFree(slot);
      } else {
        ++it;
      }
    }
  }
  QList<Converter> converters;
  for (const auto& slot : slots_)
    converters.append({slot->Alive(), slot->OfficePid(), slot->OfficeRunning()});
  return converters;
}

int TkvConverterPool::Waiting() const {
  std::lock_guard<std::mutex> lock(lock_);
  return waiting_;
}

int TkvConverterPool::Busy() const {
  std::lock_guard<std::mutex> lock(lock_);
  return Threads() - static_cast<int>(free_.size());
}

int TkvConverterPool::OfficeRestarts() const {
  int restarts = 0;
  for (const auto& slot : slots_) restarts += slot->Restarts();
  return restarts;
}
