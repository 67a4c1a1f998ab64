#include "ui/run_controller.h"

#include "batch/batch.h"
#include "convert/convertor.h"
#include "core/info.h"
#include "ui/window_run.h"

#include <QTimer>

TkvRunController::TkvRunController(QObject* parent)
    : QObject(parent), uiThread_(std::this_thread::get_id()) {
  rowTimer_ = new QTimer(this);
  rowTimer_->setInterval(20);
  connect(rowTimer_, &QTimer::timeout, this, [this] {
    // Read before applying: once nothing can add any more, whatever was
    // added is in the queue by now.
    const std::shared_ptr<TkvBatch> searching = searching_.lock();
    const bool threadsMayAdd =
        run_ || !endedRuns_.empty() || (searching && !searching->SearchDone());
    ApplyRowChanges();
    if (!threadsMayAdd) {
      rowTimer_->stop();
      emit ListSettled();
    }
  });

  reapTimer_ = new QTimer(this);
  reapTimer_->setInterval(10);
  connect(reapTimer_, &QTimer::timeout, this, [this] { ReleaseEndedRuns(); });

  repeatTimer_ = new QTimer(this);
  repeatTimer_->setSingleShot(true);
  connect(repeatTimer_, &QTimer::timeout, this, [this] { emit RepetitionDue(); });
}

TkvRunController::~TkvRunController() {
  repeatTimer_->stop();
  rowTimer_->stop();
  reapTimer_->stop();
  ++generation_;  // late changes of the threads being joined are dropped
  run_.reset();
  endedRuns_.clear();
}

// ------------------------------------------------------------- hand-over

namespace {

// The item's values as they are now, copied under the batch's lock: the
// hand-over carries copies, never the item, which a converter may change.
TkvRowChange CopyItem(TkvRowChange::Kind kind, std::uint64_t generation, TkvBatch& batch,
                      const TkvNode& item) {
  TkvRowChange change;
  change.kind = kind;
  change.generation = generation;
  TkvItemsLock lock(batch);
  change.index = item.Index;
  change.status = item.Status;
  change.fileName = item.FileName;
  if (kind == TkvRowChange::Kind::Converted) {
    change.result = item.Result;
    change.files = item.Files;
    change.pages = item.Pages;
    change.warnings = item.Warnings;
  }
  return change;
}

}  // namespace

std::uint64_t TkvRunController::NewList() {
  ++generation_;
  rowsDone_ = 0;
  rowsFailed_ = 0;
  rowsSkipped_ = 0;
  progressShown_ = false;
  emit ProgressChanged();
  return generation_;
}

void TkvRunController::ItemListed(std::uint64_t generation, TkvBatch* batch, TkvNode* item) {
  HandOver(CopyItem(TkvRowChange::Kind::Listed, generation, *batch, *item));
}

void TkvRunController::ItemConverted(std::uint64_t generation, TkvBatch* batch, TkvNode* item) {
  HandOver(CopyItem(TkvRowChange::Kind::Converted, generation, *batch, *item));
}

void TkvRunController::HandOver(TkvRowChange change) {
  rowChanges_.Push(std::move(change));
  // On the UI thread (files added by the window) the row shows at once,
  // after anything handed over before it.
  if (std::this_thread::get_id() == uiThread_) ApplyRowChanges();
}

void TkvRunController::ApplyRowChanges() {
  bool changed = false;
  for (const TkvRowChange& c : rowChanges_.TakeAll()) {
    if (c.generation != generation_) continue;
    changed = true;
    if (c.kind == TkvRowChange::Kind::Converted) {
      ++rowsDone_;
      if (c.status == TkvNode::Failed) ++rowsFailed_;
      if (c.status == TkvNode::Done && c.result.isEmpty()) ++rowsSkipped_;
    }
    emit RowChanged(c);
  }
  if (changed) emit ProgressChanged();
}

void TkvRunController::CountNotConverted(int rows) {
  if (rows <= 0) return;
  rowsDone_ += rows;
  rowsSkipped_ += rows;
  emit ProgressChanged();
}

void TkvRunController::WatchSearch(const std::shared_ptr<TkvBatch>& searching) {
  searching_ = searching;
  KeepApplyingRowChanges();
}

void TkvRunController::KeepApplyingRowChanges() {
  if (!rowTimer_->isActive()) rowTimer_->start();
}

// ------------------------------------------------------------------ runs

bool TkvRunController::Start(std::shared_ptr<TkvBatch> batch, std::uint64_t generation,
                             std::unique_ptr<TkvConvertor> chain) {
  if (run_) return false;
  repeatTimer_->stop();
  searching_ = batch;
  run_ = std::make_unique<TkvWindowRun>(std::move(batch), generation, std::move(chain));
  TkvWindowRun* run = run_.get();
  run->Chain().SetOnFinish([this, run] { OnFinish(run); });

  emit RunStarted();
  stopTag_ = 0;
  stopRequested_ = false;
  progressShown_ = true;
  emit ProgressChanged();
  KeepApplyingRowChanges();

  RunningConvertors.fetch_add(run->Chain().ThreadsCount());  // each converter lowers it as it ends
  run->Chain().Start();
  if (TkvInfo* info = TkvInfo::Instance()) info->AddCount(QStringLiteral("C"), 0, 1);
  return true;
}

void TkvRunController::Pause() {
  if (!run_) return;
  emit RunEnding();
  run_->RequestStop(false);
  stopTag_ = 0;
}

void TkvRunController::Stop() {
  if (!run_) {
    // Between two repetitions of a Daemon run: no more repetitions.
    if (!repeatTimer_->isActive()) return;
    repeatTimer_->stop();
    stopRequested_ = true;
    emit RepetitionCancelled();
    return;
  }
  stopRequested_ = true;
  emit RunEnding();
  run_->RequestStop(true);
  stopTag_ = 1;
}

void TkvRunController::StopForClose() {
  repeatTimer_->stop();
  if (!run_) return;
  // The converters end after their items in hand; the controller's
  // destruction waits for them.
  stopRequested_ = true;
  run_->RequestStop(true);
}

void TkvRunController::OnFinish(TkvWindowRun* run) {
  if (run != run_.get()) return;
  // Every change the converters handed over came before their end.
  ApplyRowChanges();
  if (!run->FinishOne()) return;

  std::unique_ptr<TkvWindowRun> ended = std::move(run_);
  CountRunFigures(*ended);
  const bool stopped = stopTag_ == 1;
  stopTag_ = 0;
  const std::shared_ptr<TkvBatch> batch = ended->SharedBatch();
  // The converter threads are still returning from this call.
  endedRuns_.push_back(std::move(ended));
  reapTimer_->start();
  emit RunEnded(batch, stopped);
}

void TkvRunController::CountRunFigures(const TkvWindowRun& run) {
  const TkvBatch& batch = run.Batch();
  const int items = batch.ItemCount();
  const int successes = batch.SuccessCount();
  const int failures = batch.FailureCount();
  const QStringList messages = batch.Failures();
  if (counted_.generation != run.ListGeneration()) {
    counted_ = CountedFigures();
    counted_.generation = run.ListGeneration();
  }

  TkvInfo* info = TkvInfo::Instance();
  if (info) {
    info->AddCount(QStringLiteral("A"), 0, items - counted_.items);
    info->AddCount(QStringLiteral("S"), 0, successes - counted_.successes);
    info->AddCount(QStringLiteral("F"), 0, failures - counted_.failures);
  }
  QStringList fresh;
  for (const QString& m : messages)
    if (!counted_.messages.contains(m)) fresh << m;
  if (info && failures > counted_.failures && !fresh.isEmpty()) info->ReportFailures(fresh);
  counted_.items = items;
  counted_.successes = successes;
  counted_.failures = failures;
  counted_.messages = messages;
}

void TkvRunController::ReleaseEndedRuns() {
  std::vector<std::unique_ptr<TkvWindowRun>> done;
  for (auto it = endedRuns_.begin(); it != endedRuns_.end();) {
    if ((*it)->ThreadsEnded()) {
      done.push_back(std::move(*it));
      it = endedRuns_.erase(it);
    } else {
      ++it;
    }
  }
  if (endedRuns_.empty()) reapTimer_->stop();
  done.clear();  // joins threads that have already ended
}

// ----------------------------------------------------------- repetitions

void TkvRunController::ScheduleRepetition(int ms) { repeatTimer_->start(ms); }

bool TkvRunController::RepetitionPending() const { return repeatTimer_->isActive(); }
