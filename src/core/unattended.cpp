#include "core/unattended.h"

#include "batch/batch.h"
#include "convert/convertor.h"
#include "core/error.h"
#include "core/info.h"
#include "core/item_times.h"
#include "core/project.h"
#include "core/text_file.h"
#include "core/unattended_progress.h"

#include <QMutexLocker>

#include <chrono>
#include <thread>

namespace {
std::atomic<TkvMain*> g_main{nullptr};
}

TkvMain::TkvMain(TkvProject& project, TkvInfo& info, TkvProgressLine* progress)
    : project_(project), info_(info), progress_(progress) {
  g_main.store(this);
}

TkvMain::~TkvMain() {
  TearDown();
  TkvMain* self = this;
  g_main.compare_exchange_strong(self, nullptr);
}

TkvMain* TkvMain::Instance() { return g_main.load(); }

void TkvMain::TearDown() {
  // Chain first (it draws from the batch), then the batch and its search.
  if (batch_) batch_->Terminate();
  convertor_.reset();
  batch_.reset();
  itemTimes_.reset();
}

void TkvMain::RunUnattended() {
  struct TearDownGuard {
    TkvMain* self;
    ~TearDownGuard() { self->TearDown(); }
  } guard{this};

  {
    QMutexLocker lock(&logLock_);
    logLines_.clear();
    failedItems_ = 0;
    currentFile_.clear();
  }
  itemTimes_ = TkvItemTimes::FromEnvironment();
  batch_ = std::make_unique<TkvBatch>();
  const bool subdir = project_.Subdir();
  batch_->StartSearch(project_.Source(), project_.TargetFolder(), subdir);

  convertor_ = TkvConvertor::StartConverters(
      batch_.get(), project_.TargetFolder(),
      [this](TkvBatch* batch, TkvNode* item) { ItemDone(batch, item); });
  convertor_->SetOnItemStart([this](TkvBatch* batch, TkvNode* item) { ItemStarted(batch, item); });
  RunningConvertors.store(convertor_->ThreadsCount());
  convertor_->Start();
  info_.AddCount(QStringLiteral("C"), 0, 1);

  WaitForConvertors();
  if (progress_) progress_->Finish();
  FinishRun();
  if (itemTimes_) itemTimes_->Finish();
  if (stopRequested_.load()) throw TkvError(QStringLiteral("Run stopped before all files were converted"));
  if (const QString fatal = convertor_->ChainFatalError(); !fatal.isEmpty())
    throw TkvError(QStringLiteral("A converter thread stopped before all files were converted: %1").arg(fatal));
}

void TkvMain::WaitForConvertors() {
  bool stopping = false;
  while (RunningConvertors.load() > 0) {
    if (!stopping && stopRequested_.load()) {
      stopping = true;
      batch_->Terminate();
      convertor_->Stop();
    }
    ShowProgress();
    std::this_thread::sleep_for(std::chrono::milliseconds(pollMs_));
  }
  ShowProgress();
  // Every converter has lowered the count; join their threads now so that
  // none is left when the log is written.
  convertor_->WaitChain();
}

void TkvMain::ShowProgress() {
  if (!progress_ || !progress_->Enabled()) return;
  int done, failed;
  QString current;
  {
    QMutexLocker lock(&logLock_);
    done = static_cast<int>(logLines_.size());
    failed = failedItems_;
    current = currentFile_;
  }
  progress_->Update(done, failed, batch_->ItemCount(), current);
}

void TkvMain::ItemStarted(TkvBatch* batch, TkvNode* item) {
  if (itemTimes_) itemTimes_->ItemStarted();
  QString name;
  {
    TkvItemsLock lock(*batch);
    name = item->FileName;
  }
  QMutexLocker lock(&logLock_);
  currentFile_ = name;
}

void TkvMain::ItemDone(TkvBatch* batch, TkvNode* item) {
  QString line;
  bool failed;
  int status;
  QString fileName;
  {
    TkvItemsLock lock(*batch);
    QString state = QStringLiteral("Running");
    if (item->Status == TkvNode::Done) state = QStringLiteral("Success");
    else if (item->Status == TkvNode::Failed) state = QStringLiteral("Failure");
    failed = item->Status == TkvNode::Failed;
    line = QStringLiteral("%1 => %2 => %3").arg(state, item->FileName, item->Result);
    status = item->Status;
    fileName = item->FileName;
  }
  if (itemTimes_) itemTimes_->ItemDone(status, fileName);
  QMutexLocker lock(&logLock_);
  logLines_.append(line);
  if (failed) ++failedItems_;
}

void TkvMain::FinishRun() {
  info_.AddCount(QStringLiteral("A"), 0, batch_->ItemCount());
  info_.AddCount(QStringLiteral("S"), 0, batch_->SuccessCount());
  info_.AddCount(QStringLiteral("F"), 0, batch_->FailureCount());
  if (batch_->FailureCount() > 0) info_.ReportFailures(batch_->Failures());

  const QString logFile = project_.LogFile();
  if (!logFile.isEmpty()) TkvWriteTextLines(logFile, LogLines());
}

QStringList TkvMain::LogLines() const {
  QMutexLocker lock(&logLock_);
  return logLines_;
}
