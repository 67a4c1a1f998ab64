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
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>

#include <algorithm>
#include <cstdio>

namespace {

TkvProject* Project() { return TkvProject::Instance(); }

bool AutomaticRun() {
  const TkvProject* project = Project();
  return project && project->AutomaticRun();
}

const QString kSearching = QStringLiteral("Searching");

QString MissingTargetMessage(const QString& text) {
  return text.trimmed().isEmpty()
             ? QStringLiteral("The target is empty: choose a folder for the PDF files")
             : QStringLiteral("The target %1 names no folder: choose a folder for the PDF files")
                   .arg(text);
}

QString AddressTargetMessage(const QString& target) {
  return QStringLiteral(
             "The target %1 is a web address, not a folder: choose a folder for the PDF files")
      .arg(target);
}

}  // namespace

void TkvFrmMain::SayProblem(const QString& message) {
  // Also on stderr: an automatic run's window may be invisible, or closed a
  // moment later.
  ShowMessage(message);
  std::fputs(QStringLiteral("tabrix: %1\n").arg(message).toLocal8Bit().constData(), stderr);
}

void TkvFrmMain::CreateRunControl() {
  lblState = new QLabel(this);
  lblState->setObjectName(QStringLiteral("lblState"));
  lblProgress = new QLabel(this);
  lblProgress->setObjectName(QStringLiteral("lblProgress"));
  stateSeparator_ = new QFrame(this);
  stateSeparator_->setFrameStyle(QFrame::VLine | QFrame::Sunken);
  stateSeparator_->hide();
  for (QWidget* part : std::initializer_list<QWidget*>{lblState, stateSeparator_, lblProgress}) {
    part->setContentsMargins(4, 0, 4, 0);
    statusBar()->addPermanentWidget(part);
  }

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
  connect(c, &TkvRunController::ProgressChanged, this, [this] {
    ShowProgress();
    ShowRunState();
  });
  connect(c, &TkvRunController::ListSettled, this, [this] {
    if (RunInProgress()) return;
    if (lblState->text() == kSearching) SetRunState(QString());
    // A search that listed nothing says why instead of counting noughts.
    if (lViewer->RowCount() == 0 && batch_ && batch_->SearchDone())
      lblProgress->setText(EmptySearchReason());
  });
  connect(c, &TkvRunController::RunStarted, this, [this] {
    ending_ = false;
    ShowRunningActions();
    ShowRunState();
  });
  connect(c, &TkvRunController::RunEnding, this, [this] {
    ending_ = true;
    ShowEndingActions();
    ShowRunState();
  });
  connect(c, &TkvRunController::RunEnded, this, &TkvFrmMain::RunEnded);
  connect(c, &TkvRunController::RepetitionCancelled, this, [this] {
    ShowIdleActions();
    SetRunState(QStringLiteral("Stopped"));
  });
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
    const int rows = lViewer->RowCount();
    lblProgress->setText(rows == 0   ? QString()
                         : rows == 1 ? QStringLiteral("1 file found")
                                     : QStringLiteral("%1 files found").arg(rows));
    return;
  }
  const int failed = controller_->RowsFailed(), skipped = controller_->RowsSkipped();
  lblProgress->setText(QStringLiteral("%1 converted, %2 failed, %3 skipped of %4")
                           .arg(controller_->RowsDone() - failed - skipped)
                           .arg(failed)
                           .arg(skipped)
                           .arg(lViewer->RowCount()));
}

void TkvFrmMain::SetRunState(const QString& state) {
  lblState->setText(state);
  stateSeparator_->setVisible(!state.isEmpty());
}

void TkvFrmMain::ShowRunState() {
  if (!RunInProgress()) return;
  if (ending_) {
    SetRunState(controller_->StopRequested()
                    ? QStringLiteral("Stopping: the files in hand are finished first")
                    : QStringLiteral("Pausing: the files in hand are finished first"));
    return;
  }
  const int rows = lViewer->RowCount();
  if (rows == 0) {
    SetRunState(QStringLiteral("Converting: searching for files"));
    return;
  }
  // "+" while the search may still list more.
  const bool listing = batch_ && !batch_->SearchDone();
  SetRunState(QStringLiteral("Converting %1 of %2%3")
                  .arg(std::min(controller_->RowsDone() + 1, rows))
                  .arg(rows)
                  .arg(listing ? QStringLiteral("+") : QString()));
}

QString TkvFrmMain::EmptySearchReason() const {
  const QString source = eSource->text();
  if (source.isEmpty() || source.startsWith(QStringLiteral("http"))) return {};
  const QString folder = TkvFolderPart(TkvBatch::NormalizePath(source));
  if (!folder.isEmpty() && !QFileInfo(folder).isDir())
    return QStringLiteral("The folder %1 does not exist").arg(QDir::cleanPath(folder));
  // A folder is searched with the source mask: the message names both.
  const QString searched = TkvBatch::NormalizePath(source);
  if (QFileInfo(searched).isDir() && Project())
    return QStringLiteral("No workbook matches %1")
        .arg(TkvWithTrailingDelimiter(searched) + Project()->Profile().SourceMask);
  return QStringLiteral("No workbook matches %1").arg(source);
}

// --------------------------------------------------------------- actions

bool TkvFrmMain::SearchSource() {
  const QString source = eSource->text();
  if (source.isEmpty()) {
    ShowFailure(
        QStringLiteral("The source is empty: choose a folder or files, or type a web address"));
    eSource->setFocus();
    return false;
  }
  const bool address = source.startsWith(QStringLiteral("http"));
  // A folder search needs a target folder: an empty (or unusable) box is
  // handled like Convert handles it, not as an error.
  const QString target =
      address ? QString() : TkvReduceTarget(TkvBatch::NormalizePath(eTarget->text()));
  if (!address && target.isEmpty()) {
    ShowFailure(MissingTargetMessage(eTarget->text()));
    eTarget->setFocus();
    return false;
  }
  if (!address && TkvIsAddress(target)) {
    SayProblem(AddressTargetMessage(target));
    eTarget->setFocus();
    return false;
  }
  NewBatch();
  if (address) {
    AddSourceFile(source);
    return true;
  }
  SetRunState(kSearching);
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
  ShowMessage(QString());       // what an earlier run said is over
  if (!SearchSource()) AfterRun();
}

void TkvFrmMain::aConvertExecute() {
  // One run at a time: a repetition that falls due during a run waits.
  if (RunInProgress()) return;
  ShowMessage(QString());

  QString target = TkvReduceTarget(TkvBatch::NormalizePath(eTarget->text()));
  if (target.isEmpty() || TkvIsAddress(target)) {
    // A web address is no folder: refused like an empty box, never made
    // into folders.
    if (target.isEmpty())
      ShowFailure(MissingTargetMessage(eTarget->text()));
    else
      SayProblem(AddressTargetMessage(target));
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
  ShowMessage(QString());
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
  ending_ = false;
  ShowIdleActions();
  // A run whose list was replaced meanwhile says nothing about the new one.
  if (batch_ == batch) {
    if (stopped) {
      // A stopped batch is not continued: the next Convert searches anew,
      // and what it did not reach is skipped.
      const int left = lViewer->MarkNotConverted();
      controller_->CountNotConverted(left);
      SetRunState(QStringLiteral("Stopped: %1 not converted").arg(left));
      batch_.reset();
    } else if (!batch->Exhausted()) {
      const int next = lViewer->FirstWaitingRow();
      SetRunState(next >= 0 ? QStringLiteral("Paused: Convert resumes with file %1").arg(next + 1)
                            : QStringLiteral("Paused: no file is left to convert"));
    } else {
      SetRunState(QStringLiteral("Finished"));
    }
  } else {
    SetRunState(QString());
  }
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
      SayProblem(QStringLiteral("The log file was not written: ") + e.Message());
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
  SetRunState(QStringLiteral("Waiting %1 s before the next run")
                  .arg(QString::number(daemon / 1000.0, 'g', 3)));
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

bool TkvFrmMain::ConfirmCloseDuringRun() {
  QMessageBox box(QMessageBox::Question, windowTitle(),
                  QStringLiteral("Files are being converted. Stop the run and close the window? "
                                 "The files in hand are finished first."),
                  QMessageBox::NoButton, this);
  box.setObjectName(QStringLiteral("dlgCloseRun"));
  QPushButton* stop = box.addButton(QStringLiteral("&Stop and Close"), QMessageBox::AcceptRole);
  stop->setObjectName(QStringLiteral("btnStopAndClose"));
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  cancel->setObjectName(QStringLiteral("btnCancel"));
  box.setDefaultButton(cancel);
  box.exec();
  return box.clickedButton() == stop;
}

void TkvFrmMain::closeEvent(QCloseEvent* event) {
  // A run the user can see is only given up when the user agrees.
  if (RunInProgress() && isVisible() && !ConfirmCloseDuringRun()) {
    event->ignore();
    return;
  }
  // The converters end after their items in hand; the window's
  // destruction waits for them.
  controller_->StopForClose();
  TkvFrmBase<QMainWindow>::closeEvent(event);
}
