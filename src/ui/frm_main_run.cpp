// Run control of the main window: Search, Convert, Start, Pause, Stop, the
// end of a run and the automatic runs. The window's TkvRunController keeps
// the runs and hands the item changes over; the window shows them.
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
#include "ui/run_controller.h"
#include "ui/target_folder.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QStatusBar>

#include <cstdio>

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
  return QStringLiteral(
             "The target %1 is a web address, not a folder: choose a folder for the PDF files")
      .arg(target);
}

}  // namespace

void TkvFrmMain::CreateRunControl() {
  lblProgress = new QLabel(this);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  statusBar()->addPermanentWidget(lblProgress);

  controller_ = std::make_unique<TkvRunController>();
  TkvRunController* c = controller_.get();
  connect(c, &TkvRunController::RowChanged, this, [this](const TkvRowChange& change) {
    if (change.kind == TkvRowChange::Kind::Listed) {
      lViewer->ShowItem(change.index, change.fileName, change.status);
    } else {
      lViewer->SetItemResult(change.index, change.fileName, change.result, change.status,
                             change.files, change.pages, change.warnings);
    }
  });
  connect(c, &TkvRunController::ProgressChanged, this, [this] { ShowProgress(); });
  connect(c, &TkvRunController::ListSettled, this, [this] {
    // A search that listed nothing says why instead of counting noughts.
    if (lViewer->RowCount() == 0 && batch_ && batch_->SearchDone() && !RunInProgress())
      lblProgress->setText(EmptySearchReason());
  });
  connect(c, &TkvRunController::RunStarted, this, [this] { ShowRunningActions(); });
  connect(c, &TkvRunController::RunEnding, this, [this] { ShowEndingActions(); });
  connect(c, &TkvRunController::RunEnded, this, &TkvFrmMain::RunEnded);
  connect(c, &TkvRunController::RepetitionCancelled, this, [this] { ShowIdleActions(); });
  connect(c, &TkvRunController::RepetitionDue, this, [this] {
    TkvGuarded([this] {
      ShowIdleActions();
      AutoRun();
    });
  });
}

bool TkvFrmMain::RunInProgress() const { return controller_->Running(); }

bool TkvFrmMain::RepetitionPending() const { return controller_->RepetitionPending(); }

void TkvFrmMain::ShowProgress() {
  if (!controller_->ProgressShown()) {
    lblProgress->clear();
    return;
  }
  const int failed = controller_->RowsFailed(), skipped = controller_->RowsSkipped();
  lblProgress->setText(QStringLiteral("%1 converted, %2 failed, %3 skipped of %4")
                           .arg(controller_->RowsDone() - failed - skipped)
                           .arg(failed)
                           .arg(skipped)
                           .arg(lViewer->RowCount()));
}

QString TkvFrmMain::EmptySearchReason() const {
  const QString source = eSource->text();
  if (source.isEmpty() || source.startsWith(QStringLiteral("http"))) return {};
  const QString folder = TkvFolderPart(TkvBatch::NormalizePath(source));
  if (!folder.isEmpty() && !QFileInfo(folder).isDir())
    return QStringLiteral("The folder %1 does not exist").arg(QDir::cleanPath(folder));
  return QStringLiteral("No workbook matches %1").arg(source);
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
  const QString target =
      address ? QString() : TkvReduceTarget(TkvBatch::NormalizePath(eTarget->text()));
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
  controller_->WatchSearch(batch_);
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
  if (RunInProgress()) return;  // the action is disabled during a run
  if (!SearchSource()) AfterRun();
}

void TkvFrmMain::aConvertExecute() {
  // One run at a time: a repetition that falls due during a run waits.
  if (RunInProgress()) return;

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
  const std::uint64_t generation = controller_->ListGeneration();
  TkvRunController* controller = controller_.get();
  std::unique_ptr<TkvConvertor> chain;
  try {
    chain = TkvConvertor::StartConverters(batch_.get(), targetFolder,
                                          [controller, generation](TkvBatch* b, TkvNode* i) {
                                            controller->ItemConverted(generation, b, i);
                                          });
  } catch (...) {
    ShowIdleActions();
    throw;
  }
  controller_->Start(batch_, generation, std::move(chain));
}

void TkvFrmMain::ShowRunningActions() {
  aStop->setEnabled(true);
  bCreate->SetAction(aPause);
  aPause->setEnabled(true);
  bSearchConvert->SetAction(aStop);
}

void TkvFrmMain::ShowEndingActions() {
  aPause->setEnabled(false);
  aStop->setEnabled(false);
}

void TkvFrmMain::aSearchConvertExecute() {
  if (RunInProgress()) return;
  if (!SearchSource()) {
    AfterRun();
    return;
  }
  aConvertExecute();
}

void TkvFrmMain::aPauseExecute() { controller_->Pause(); }

void TkvFrmMain::aStopExecute() { controller_->Stop(); }

// ------------------------------------------------------------ end of run

void TkvFrmMain::RunEnded(const std::shared_ptr<TkvBatch>& batch, bool stopped) {
  ShowIdleActions();
  // A stopped batch is not continued: the next Convert searches anew.
  if (stopped && batch_ == batch) batch_.reset();
  ShowProgress();
  // A run that found nothing says why instead of counting noughts.
  if (!stopped && lViewer->RowCount() == 0) lblProgress->setText(EmptySearchReason());
  AfterRun();
}

void TkvFrmMain::ShowIdleActions() {
  aConvert->setEnabled(true);
  bCreate->SetAction(aConvert);
  aSearchConvert->setEnabled(true);
  bSearchConvert->SetAction(aSearchConvert);
  aSearch->setEnabled(true);
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
  if (controller_->StopRequested()) return;
  // The next repetition starts from the event loop, never from here, so
  // repetitions do not nest; Stop ends the wait.
  controller_->ScheduleRepetition(daemon);
  aStop->setEnabled(true);
  bSearchConvert->SetAction(aStop);
}

void TkvFrmMain::AutoRun() {
  if (!AutomaticRun()) return;
  try {
    aConvertExecute();
  } catch (...) {
    TkvReportCurrentException();
    if (!RunInProgress()) AfterRun();
  }
}

void TkvFrmMain::closeEvent(QCloseEvent* event) {
  // The converters end after their items in hand; the window's
  // destruction waits for them.
  controller_->StopForClose();
  TkvFrmBase<QMainWindow>::closeEvent(event);
}
