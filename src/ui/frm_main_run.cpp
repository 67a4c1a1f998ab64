// Run control of the main window: Search, Convert, Start, Pause, Stop, the
// end of a run and the automatic runs, and the hand-over of item changes
// from the search and converter threads to the result list.
#include "batch/batch.h"
#include "convert/convertor.h"
#include "core/error.h"
#include "core/info.h"
#include "core/path_utils.h"
#include "core/project.h"
#include "ui/action_button.h"
#include "ui/frm_main.h"
#include "ui/handler_guard.h"
#include "ui/result_list.h"
#include "ui/target_folder.h"
#include "ui/window_run.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>
#include <QTimer>

#include <cstdio>
#include <thread>

namespace {

TkvProject* Project() { return TkvProject::Instance(); }

bool AutomaticRun() {
  const TkvProject* project = Project();
  return project && project->AutomaticRun();
}

// In the status bar and on stderr: an automatic run's window may be
// invisible, or closed a moment later.
void SayProblem(QMainWindow* window, const QString& message) {
  window->statusBar()->showMessage(message);
  std::fputs(QStringLiteral("tabrix: %1\n").arg(message).toLocal8Bit().constData(), stderr);
}

QString AddressTargetMessage(const QString& target) {
  return QStringLiteral("The target %1 is a web address, not a folder: choose a folder for the PDF files")
      .arg(target);
}

}  // namespace

void TkvFrmMain::CreateRunControl() {
  uiThread_ = std::this_thread::get_id();
  lblProgress = new QLabel(this);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  statusBar()->addPermanentWidget(lblProgress);

  rowTimer_ = new QTimer(this);
  rowTimer_->setInterval(20);
  connect(rowTimer_, &QTimer::timeout, this, [this] {
    // Read before applying: once nothing can add any more, whatever was
    // added is in the queue by now.
    const bool threadsMayAdd = run_ || !endedRuns_.empty() || (batch_ && !batch_->SearchDone());
    ApplyRowChanges();
    if (!threadsMayAdd) rowTimer_->stop();
  });

  reapTimer_ = new QTimer(this);
  reapTimer_->setInterval(10);
  connect(reapTimer_, &QTimer::timeout, this, [this] { ReleaseEndedRuns(); });

  repeatTimer_ = new QTimer(this);
  repeatTimer_->setSingleShot(true);
  connect(repeatTimer_, &QTimer::timeout, this, [this] {
    TkvGuarded([this] {
      ShowIdleActions();
      AutoRun();
    });
  });
}

bool TkvFrmMain::RepetitionPending() const { return repeatTimer_->isActive(); }

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
  }
  return change;
}

}  // namespace

void TkvFrmMain::BatchItemAdded(std::uint64_t generation, TkvBatch* batch, TkvNode* item) {
  HandOver(CopyItem(TkvRowChange::Kind::Listed, generation, *batch, *item));
}

void TkvFrmMain::ItemConverted(std::uint64_t generation, TkvBatch* batch, TkvNode* item) {
  HandOver(CopyItem(TkvRowChange::Kind::Converted, generation, *batch, *item));
}

void TkvFrmMain::HandOver(TkvRowChange change) {
  rowChanges_.Push(std::move(change));
  // On the UI thread (files added by the window) the row shows at once,
  // after anything handed over before it.
  if (std::this_thread::get_id() == uiThread_) ApplyRowChanges();
}

void TkvFrmMain::ApplyRowChanges() {
  bool changed = false;
  for (const TkvRowChange& c : rowChanges_.TakeAll()) {
    if (c.generation != batchGeneration_) continue;
    changed = true;
    if (c.kind == TkvRowChange::Kind::Listed) {
      lViewer->ShowItem(c.index, c.fileName, c.status);
    } else {
      lViewer->SetItemResult(c.index, c.fileName, c.result, c.status, c.files, c.pages);
      ++rowsDone_;
      if (c.status == TkvNode::Failed) ++rowsFailed_;
    }
  }
  if (changed) ShowProgress();
}

void TkvFrmMain::KeepApplyingRowChanges() {
  if (!rowTimer_->isActive()) rowTimer_->start();
}

void TkvFrmMain::ShowProgress() {
  if (!progressShown_) {
    lblProgress->clear();
    return;
  }
  lblProgress->setText(QStringLiteral("%1 done, %2 failed, %3 total")
                           .arg(rowsDone_)
                           .arg(rowsFailed_)
                           .arg(lViewer->RowCount()));
}

// --------------------------------------------------------------- actions

bool TkvFrmMain::SearchSource() {
  const QString source = eSource->text();
  if (source.isEmpty()) {
    eSource->setFocus();
    return false;
  }
  const bool address = source.startsWith(QStringLiteral("http"));
  // A folder search needs a target folder: an empty (or unusable) box is
  // handled like Convert handles it, not as an error.
  const QString target = address ? QString() : TkvReduceTarget(TkvBatch::NormalizePath(eTarget->text()));
  if (!address && target.isEmpty()) {
    eTarget->setFocus();
    return false;
  }
  if (!address && TkvIsAddress(target)) {
    SayProblem(this, AddressTargetMessage(target));
    eTarget->setFocus();
    return false;
  }
  NewBatch();
  if (address) {
    AddSourceFile(source);
    return true;
  }
  KeepApplyingRowChanges();
  try {
    batch_->StartSearch(source, target, cSubdir->isChecked());
  } catch (...) {
    // A batch whose search never ran would keep converters waiting for it.
    batch_.reset();
    throw;
  }
  return true;
}

void TkvFrmMain::aSearchExecute() {
  if (run_) return;  // the action is disabled during a run
  if (!SearchSource()) AfterRun();
}

void TkvFrmMain::aConvertExecute() {
  // One run at a time: a repetition that falls due during a run waits.
  if (run_) return;
  repeatTimer_->stop();

  QString target = TkvReduceTarget(TkvBatch::NormalizePath(eTarget->text()));
  if (target.isEmpty() || TkvIsAddress(target)) {
    // A web address is no folder: refused like an empty box, never made
    // into folders.
    if (!target.isEmpty()) SayProblem(this, AddressTargetMessage(target));
    eTarget->setFocus();
    AfterRun();
    return;
  }
  if (!QFileInfo(target).isDir()) QDir().mkpath(target);  // a failure shows per item
  target = TkvWithTrailingDelimiter(target);
  eTarget->setText(target);
  if (TkvProject* project = Project()) project->CollectFromControls();

  // A finished batch is never converted twice: its source is searched anew.
  // When that search cannot run, nothing is converted.
  if (!batch_ || batch_->Exhausted()) {
    if (!SearchSource()) {
      AfterRun();
      return;
    }
  }
  StartRun(target);
}

void TkvFrmMain::StartRun(const QString& targetFolder) {
  aConvert->setEnabled(false);
  aSearchConvert->setEnabled(false);
  aSearch->setEnabled(false);
  const std::uint64_t generation = batchGeneration_;
  std::unique_ptr<TkvConvertor> chain;
  try {
    chain = TkvConvertor::StartConverters(batch_.get(), targetFolder, [this, generation](TkvBatch* b, TkvNode* i) {
      ItemConverted(generation, b, i);
    });
  } catch (...) {
    ShowIdleActions();
    throw;
  }
  run_ = std::make_unique<TkvWindowRun>(batch_, generation, std::move(chain));
  TkvWindowRun* run = run_.get();
  run->Chain().SetOnFinish([this, run] { OnFinish(run); });

  aStop->setEnabled(true);
  bCreate->SetAction(aPause);
  aPause->setEnabled(true);
  bSearchConvert->SetAction(aStop);
  stopTag_ = 0;
  stopRequested_ = false;
  progressShown_ = true;
  ShowProgress();
  KeepApplyingRowChanges();

  RunningConvertors.fetch_add(run->Chain().ThreadsCount());  // each converter lowers it as it ends
  run->Chain().Start();
  if (TkvInfo* info = TkvInfo::Instance()) info->AddCount(QStringLiteral("C"), 0, 1);
}

void TkvFrmMain::aSearchConvertExecute() {
  if (run_) return;
  if (!SearchSource()) {
    AfterRun();
    return;
  }
  aConvertExecute();
}

void TkvFrmMain::aPauseExecute() {
  if (!run_) return;
  aPause->setEnabled(false);
  aStop->setEnabled(false);
  run_->RequestStop(false);
  stopTag_ = 0;
}

void TkvFrmMain::aStopExecute() {
  if (!run_) {
    // Between two repetitions of a Daemon run: no more repetitions.
    if (repeatTimer_->isActive()) {
      repeatTimer_->stop();
      stopRequested_ = true;
      ShowIdleActions();
    }
    return;
  }
  stopRequested_ = true;
  aPause->setEnabled(false);
  aStop->setEnabled(false);
  run_->RequestStop(true);
  stopTag_ = 1;
}

// ------------------------------------------------------------ end of run

void TkvFrmMain::OnFinish(TkvWindowRun* run) {
  if (run != run_.get()) return;
  // Every change the converters handed over came before their end.
  ApplyRowChanges();
  if (!run->FinishOne()) return;

  std::unique_ptr<TkvWindowRun> ended = std::move(run_);
  ShowIdleActions();
  CountRunFigures(*ended);
  if (stopTag_ == 1) {
    // A stopped batch is not continued: the next Convert searches anew.
    if (batch_ == ended->SharedBatch()) batch_.reset();
    stopTag_ = 0;
  }
  // The converter threads are still returning from this call.
  endedRuns_.push_back(std::move(ended));
  reapTimer_->start();
  ShowProgress();
  AfterRun();
}

void TkvFrmMain::ShowIdleActions() {
  aConvert->setEnabled(true);
  bCreate->SetAction(aConvert);
  aSearchConvert->setEnabled(true);
  bSearchConvert->SetAction(aSearchConvert);
  aSearch->setEnabled(true);
}

void TkvFrmMain::CountRunFigures(const TkvWindowRun& run) {
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

void TkvFrmMain::ReleaseEndedRuns() {
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

void TkvFrmMain::AfterRun() {
  if (!AutomaticRun()) return;
  const TkvProject* project = Project();
  const QString logFile = project->LogFile();
  if (!logFile.isEmpty()) {
    try {
      lViewer->SaveList(logFile);
    } catch (const TkvError& e) {
      // Shown, and the run still closes or repeats.
      SayProblem(this, QStringLiteral("The log file was not written: ") + e.Message());
    }
  }
  const int daemon = project->Daemon();
  if (daemon < 1) {
    close();
    return;
  }
  if (stopRequested_) return;
  // The next repetition starts from the event loop, never from here, so
  // repetitions do not nest; Stop ends the wait.
  repeatTimer_->start(daemon);
  aStop->setEnabled(true);
  bSearchConvert->SetAction(aStop);
}

void TkvFrmMain::AutoRun() {
  if (!AutomaticRun()) return;
  try {
    aConvertExecute();
  } catch (...) {
    TkvReportCurrentException();
    if (!run_) AfterRun();
  }
}

void TkvFrmMain::closeEvent(QCloseEvent* event) {
  repeatTimer_->stop();
  if (run_) {
    // The converters end after their items in hand; the window's
    // destruction waits for them.
    stopRequested_ = true;
    run_->RequestStop(true);
  }
  TkvFrmBase<QMainWindow>::closeEvent(event);
}
