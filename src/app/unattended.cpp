#include "app/unattended.h"

#include "app/item_times.h"
#include "app/run_options.h"
#include "app/run_report.h"
#include "app/unattended_progress.h"
#include "batch/batch.h"
#include "convert/convertor.h"
#include "core/error.h"
#include "core/info.h"
#include "core/project.h"
#include "core/text_file.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <chrono>
#include <cstdio>
#include <thread>

#include <unistd.h>

namespace {
std::atomic<TkvMain*> g_main{nullptr};

// A web address is one item, not a folder to search.
bool IsWebAddress(const QString& source) {
  return source.startsWith(QLatin1String("http://"), Qt::CaseInsensitive) ||
         source.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// "500 ms", "5 s", "1.5 s", "2 min".
QString Interval(int ms) {
  if (ms < 1000) return QStringLiteral("%1 ms").arg(ms);
  if (ms % 60000 == 0) return QStringLiteral("%1 min").arg(ms / 60000);
  return QStringLiteral("%1 s").arg(ms / 1000.0, 0, 'g', 6);
}

// A source as a person named it: a folder rather than the mask added to it.
QString Shown(const QString& source, const QString& mask) {
  const QString suffix = u'/' + mask;
  if (source.endsWith(suffix) && QFileInfo(source.chopped(suffix.size())).isDir())
    return source.chopped(suffix.size());
  return source;
}

QString CountsText(int converted, int failed, int skipped) {
  return QStringLiteral("%1 converted, %2 failed, %3 skipped")
      .arg(converted)
      .arg(failed)
      .arg(skipped);
}
}  // namespace

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
  // Chain first (it draws from the batches), then the batches and their search.
  if (batch_) batch_->Terminate();
  convertor_.reset();
  batch_.reset();
  doneBatch_.reset();
  itemTimes_.reset();
  report_.reset();
}

bool TkvMain::RunUnattended() {
  struct TearDownGuard {
    TkvMain* self;
    ~TearDownGuard() { self->TearDown(); }
  } guard{this};

  {
    QMutexLocker lock(&logLock_);
    anyFailed_ = false;
    failedFiles_.clear();
  }
  noMatch_ = false;
  notConverted_ = false;
  firstSweep_ = true;
  itemTimes_ = TkvItemTimes::FromEnvironment();
  const int watchMs = TkvWatchInterval(project_);
  watching_ = watchMs > 0;
  if (const QString logFile = project_.LogFile(); !logFile.isEmpty())
    TkvCheckRunFile(logFile, QStringLiteral("log"));
  const QString reportFile = project_.OptionValue(TkvRunKeys::kReportFile);
  if (!reportFile.isEmpty()) report_ = std::make_unique<TkvRunReport>(reportFile, progress_);
  reportOnStdout_ = reportFile == QLatin1String("-");
  quiet_ = project_.ReadBool(TkvRunKeys::kNoProgress, false);
  // A watch runs as a service: no progress line. Nor when the report goes
  // to a pipe: what reads it may print it on the terminal the line is on.
  showProgress_ =
      progress_ && !watching_ && !quiet_ && !(reportOnStdout_ && ::isatty(STDOUT_FILENO) != 1);
  watchCounts_ = Counts{};
  if (watching_ && runLines_.load() && !quiet_) {
    QStringList shown;
    for (const QString& source : TkvRunSources(project_))
      shown.append(Shown(source, project_.Profile().SourceMask));
    PrintNow(QStringLiteral("watching %1 every %2; Ctrl-C stops")
                 .arg(shown.join(QStringLiteral(", ")), Interval(watchMs)));
  }

  for (;;) {
    BeginSweep();
    const QStringList sources = TkvRunSources(project_);
    const bool rounds = watching_ || sources.size() > 1;
    bool alive = true;
    for (int i = 0; i < sources.size() && alive; ++i) {
      if (i > 0 && stopRequested_.load()) {
        notConverted_ = true;
        break;
      }
      moreSources_ = i + 1 < sources.size();
      alive = ConvertSource(sources.at(i), rounds);
    }
    moreSources_ = false;
    if (!watching_) EndChain();
    const bool lineShown = showProgress_ && progress_->Enabled();
    if (showProgress_) progress_->Finish();
    if (!watching_ && runLines_.load() && !quiet_ && !lineShown) {
      QMutexLocker lock(&logLock_);
      const Counts c = sweepCounts_;
      lock.unlock();
      PrintNow(CountsText(c.succeeded, c.failed, c.skipped) +
               QStringLiteral(" of %1").arg(std::max(c.items, sweepItems_)));
    }
    FinishRun();
    firstSweep_ = false;
    if (!watching_ || stopRequested_.load()) break;
    if (!alive) {
      const QString why = convertor_ ? convertor_->ChainFatalError() : QString();
      throw TkvError(QStringLiteral("The converter threads ended: %1").arg(why));
    }
    ForgetUnseenFailures();
    if (!SleepUntilNextRound(watchMs)) break;
  }
  EndChain();
  if (itemTimes_) itemTimes_->Finish();
  if (watching_ && runLines_.load() && !quiet_)
    PrintNow(
        QStringLiteral("watch ended: %1")
            .arg(CountsText(watchCounts_.succeeded, watchCounts_.failed, watchCounts_.skipped)));
  // A stop that came when every file was in hand ends the run as usual.
  if (stopRequested_.load() && !watching_ && notConverted_)
    throw TkvError(QStringLiteral("Run stopped before all files were converted"));
  if (convertor_) {
    if (const QString fatal = convertor_->ChainFatalError(); !fatal.isEmpty())
      throw TkvError(
          QStringLiteral("A converter thread stopped before all files were converted: %1")
              .arg(fatal));
  }
  QMutexLocker lock(&logLock_);
  return anyFailed_ || noMatch_;
}

bool TkvMain::AnyItemFailed() const {
  QMutexLocker lock(&logLock_);
  return anyFailed_;
}

void TkvMain::BeginSweep() {
  QMutexLocker lock(&logLock_);
  logLines_.clear();
  currentFile_.clear();
  sweepCounts_ = Counts{};
  sweepItems_ = sweepSucceeded_ = sweepFailed_ = 0;
  sweepFailures_.clear();
  sweepStarted_ = std::chrono::steady_clock::now();
  // The batches of one sweep are one run: no two of their items share a PDF name.
  sweepClaims_ = std::make_shared<TkvTargetClaims>();
}

void TkvMain::StartBatch(const QString& source) {
  batch_ = std::make_unique<TkvBatch>(project_);
  if (sweepClaims_) batch_->ShareTargetClaims(sweepClaims_);
  if (watching_) batch_->Admit = [this](const QString& path) { return AdmitWatched(path); };
  const bool subdir = project_.Subdir();
  if (IsWebAddress(source) || literalFiles_.contains(source)) {
    if (project_.TargetFolder().isEmpty())
      throw TkvError(QStringLiteral("Unable to create directory"), 3);
    batch_->AddFile(source);
  } else {
    batch_->StartSearch(source, project_.TargetFolder(), subdir);
  }
}

bool TkvMain::ConvertSource(const QString& source, bool rounds) {
  StartBatch(source);
  if (!convertor_) {
    convertor_ = TkvConvertor::StartConverters(
        batch_.get(), project_.TargetFolder(),
        [this](TkvBatch* batch, TkvNode* item) { ItemDone(batch, item); });
    convertor_->SetOnItemStart(
        [this](TkvBatch* batch, TkvNode* item) { ItemStarted(batch, item); });
    if (rounds) convertor_->KeepBetweenRounds();
    RunningConvertors.store(convertor_->ThreadsCount());
    convertor_->Start();
    info_.AddCount(QStringLiteral("C"), 0, 1);
  } else {
    convertor_->StartRound(batch_.get(), project_.TargetFolder());
  }
  WaitForRound(rounds);
  if (stopRequested_.load() && !watching_) ReportUnreached();
  // One shard of many may hold no file at all.
  if (batch_->ItemCount() == 0 && firstSweep_ && !stopRequested_.load() &&
      project_.Shard().isEmpty()) {
    // An empty hot folder is a watch's usual state.
    if (!watching_) {
      PrintNow(QStringLiteral("no workbook matches %1").arg(source));
      noMatch_ = true;
    }
  }
  CloseBatch();
  return !rounds || RunningConvertors.load() > 0;
}

void TkvMain::WaitForRound(bool rounds) {
  const std::chrono::milliseconds poll(pollMs_);
  bool stopping = false;
  while (rounds ? !convertor_->RoundDone() : RunningConvertors.load() > 0) {
    if (!stopping && stopRequested_.load()) {
      stopping = true;
      // Files the search had yet to list are files not converted.
      if (!batch_->SearchDone()) notConverted_ = true;
      batch_->Terminate();
      convertor_->Stop();
    }
    ShowProgress();
    // Woken as converters end or finish the round; the poll interval only
    // paces the progress line and the look at the stop request.
    if (rounds) {
      convertor_->WaitRoundDone(poll);
    } else if (convertor_->WaitConvertersEnded(poll)) {
      break;
    }
  }
  ShowProgress();
  // Every converter has lowered the count; join their threads now so that
  // none is left when the log is written.
  if (!rounds) convertor_->WaitChain();
}

void TkvMain::EndChain() {
  if (!convertor_) return;
  convertor_->Stop();
  WaitForConvertors();
}

void TkvMain::WaitForConvertors() {
  while (RunningConvertors.load() > 0 &&
         !convertor_->WaitConvertersEnded(std::chrono::milliseconds(pollMs_))) {
  }
  convertor_->WaitChain();
}

void TkvMain::CloseBatch() {
  sweepItems_ += batch_->ItemCount();
  sweepSucceeded_ += batch_->SuccessCount();
  sweepFailed_ += batch_->FailureCount();
  for (const QString& failure : batch_->Failures())
    if (!sweepFailures_.contains(failure, Qt::CaseInsensitive)) sweepFailures_.append(failure);
  // Converters that wait for the next round still name this batch until they
  // take the next one; it goes when the round after it is done.
  doneBatch_ = std::move(batch_);
  QMutexLocker lock(&logLock_);
  reachedItems_.clear();
}

bool TkvMain::SleepUntilNextRound(int ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < until) {
    if (stopRequested_.load()) return false;
    std::this_thread::sleep_for(std::min(std::chrono::milliseconds(pollMs_),
                                         std::chrono::duration_cast<std::chrono::milliseconds>(
                                             until - std::chrono::steady_clock::now()) +
                                             std::chrono::milliseconds(1)));
  }
  return !stopRequested_.load();
}

TkvMain::FileStamp TkvMain::StampOf(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

bool TkvMain::AdmitWatched(const QString& path) {
  const FileStamp stamp = StampOf(path);
  if (stamp.size < 0) return false;  // a named file that is gone
  QMutexLocker lock(&logLock_);
  seenFiles_.insert(path);
  // Taken now: a file replaced while its conversion runs is a new file.
  listedStamps_.insert(path, stamp);
  const auto it = failedFiles_.find(path);
  if (it == failedFiles_.end()) return true;
  if (it.value() == stamp) return false;
  failedFiles_.erase(it);
  return true;
}

void TkvMain::ForgetUnseenFailures() {
  QMutexLocker lock(&logLock_);
  for (auto it = failedFiles_.begin(); it != failedFiles_.end();)
    it = seenFiles_.contains(it.key()) ? std::next(it) : failedFiles_.erase(it);
  seenFiles_.clear();
}

void TkvMain::ShowProgress() {
  if (!showProgress_ || !progress_->Enabled()) return;
  TkvProgressLine::Counts counts;
  QString current;
  {
    QMutexLocker lock(&logLock_);
    counts.converted = sweepCounts_.succeeded;
    counts.failed = sweepCounts_.failed;
    counts.skipped = sweepCounts_.skipped;
    current = currentFile_;
  }
  counts.total = sweepItems_ + (batch_ ? batch_->ItemCount() : 0);
  counts.more = moreSources_ || (batch_ && !batch_->SearchDone());
  // With every file in hand done, the line is the run's summary.
  if (counts.converted + counts.failed + counts.skipped >= counts.total) current.clear();
  progress_->Update(counts, current);
}

void TkvMain::ReportUnreached() {
  QStringList unreached;
  {
    TkvItemsLock items(*batch_);
    QMutexLocker lock(&logLock_);
    for (const auto& item : items.Items())
      if (!reachedItems_.contains(item.get())) unreached.append(item->FileName);
    reachedItems_.clear();
    sweepCounts_.items += static_cast<int>(unreached.size());
    sweepCounts_.skipped += static_cast<int>(unreached.size());
  }
  if (unreached.isEmpty()) return;
  notConverted_ = true;
  if (!report_) return;
  for (const QString& name : unreached) {
    TkvReportItem entry;
    entry.source = name;
    entry.status = QStringLiteral("skipped");
    entry.message = QStringLiteral("stopped");
    report_->Write(TkvRunReport::ItemLine(entry));
  }
}

void TkvMain::PrintNow(const QString& line) {
  const QByteArray text = QStringLiteral("tabrix: %1\n").arg(line).toLocal8Bit();
  const auto write = [&text] { std::fputs(text.constData(), stderr); };
  if (showProgress_)
    progress_->Around(write);
  else
    write();
}

void TkvMain::ItemStarted(TkvBatch* batch, TkvNode* item) {
  if (itemTimes_) itemTimes_->ItemStarted();
  QString name;
  {
    TkvItemsLock lock(*batch);
    name = item->FileName;
  }
  QMutexLocker lock(&logLock_);
  reachedItems_.insert(item);
  currentFile_ = name;
  itemStarts_[item] = std::chrono::steady_clock::now();
}

void TkvMain::ItemDone(TkvBatch* batch, TkvNode* item) {
  QString line;
  bool failed;
  int status;
  QString fileName;
  TkvReportItem entry;
  {
    TkvItemsLock lock(*batch);
    QString state = QStringLiteral("Running");
    if (item->Status == TkvNode::Done)
      state = QStringLiteral("Success");
    else if (item->Status == TkvNode::Failed)
      state = QStringLiteral("Failure");
    // An item that is not done (its target could not be made) failed too.
    failed = item->Status != TkvNode::Done;
    line = QStringLiteral("%1 => %2 => %3").arg(state, item->FileName, item->Result);
    status = item->Status;
    fileName = item->FileName;
    entry.source = item->FileName;
    if (failed) {
      entry.status = QStringLiteral("failure");
      entry.message = item->Result;
    } else if (item->Result.isEmpty()) {
      entry.status = QStringLiteral("skipped");
    } else {
      entry.status = QStringLiteral("success");
      entry.message = item->Note;
      entry.target = item->Result;
      entry.files = item->Files;
      entry.pages = item->Pages;
      entry.warnings = item->Warnings;
    }
  }
  if (itemTimes_) itemTimes_->ItemDone(status, fileName);
  const bool skipped = entry.status == QLatin1String("skipped");
  if (failed && !reportOnStdout_) {
    QString why = entry.message.simplified();
    if (why.isEmpty()) why = QStringLiteral("not converted");
    // Messages that name the file are printed as they are: the path once.
    PrintNow(why.contains(fileName) ? why : QStringLiteral("%1: %2").arg(fileName, why));
  } else if (watching_ && !failed && !skipped && runLines_.load()) {
    PrintNow(QStringLiteral("%1 -> %2").arg(fileName, entry.target));
  }
  {
    QMutexLocker lock(&logLock_);
    logLines_.append(line);
    const auto start = itemStarts_.find(item);
    if (start != itemStarts_.end()) {
      entry.seconds = SecondsSince(start->second);
      itemStarts_.erase(start);
    }
    ++sweepCounts_.items;
    // A watch leaves a failed file alone until it changes, and a converted
    // one whose source could not be disposed of, lest it be converted every round.
    const FileStamp stamp = listedStamps_.take(fileName);
    if (watching_ && (failed || !entry.message.isEmpty())) failedFiles_.insert(fileName, stamp);
    if (failed) {
      ++sweepCounts_.failed;
      anyFailed_ = true;
    } else if (skipped) {
      ++sweepCounts_.skipped;
    } else {
      ++sweepCounts_.succeeded;
    }
    if (warningsOnStderr_.load())
      for (const QString& warning : entry.warnings)
        std::fprintf(stderr, "%s: warning: %s\n", fileName.toLocal8Bit().constData(),
                     warning.toLocal8Bit().constData());
  }
  // A watch lists every file its rules skip again each round: those are
  // left out of its report.
  if (report_ && !(watching_ && skipped)) report_->Write(TkvRunReport::ItemLine(entry));
}

void TkvMain::FinishRun() {
  info_.AddCount(QStringLiteral("A"), 0, sweepItems_);
  info_.AddCount(QStringLiteral("S"), 0, sweepSucceeded_);
  info_.AddCount(QStringLiteral("F"), 0, sweepFailed_);
  if (sweepFailed_ > 0) info_.ReportFailures(sweepFailures_);

  Counts counts;
  {
    QMutexLocker lock(&logLock_);
    counts = sweepCounts_;
  }
  if (watching_) {
    // A watch lists the files its rules skip again every round: those are
    // counted once, in the first.
    watchCounts_.succeeded += counts.succeeded;
    watchCounts_.failed += counts.failed;
    if (firstSweep_) watchCounts_.skipped += counts.skipped;
  }
  // A watch round that converted nothing leaves the log and report alone.
  const bool converted = counts.succeeded + counts.failed > 0;
  const QString logFile = project_.LogFile();
  if (!logFile.isEmpty() && (!watching_ || converted)) TkvWriteTextLines(logFile, LogLines());
  if (report_) {
    if (!watching_ || converted) {
      TkvReportSummary summary;
      summary.items = counts.items;
      summary.succeeded = counts.succeeded;
      summary.failed = counts.failed;
      summary.skipped = counts.skipped;
      summary.seconds = SecondsSince(sweepStarted_);
      report_->Write(TkvRunReport::SummaryLine(summary));
    }
    report_->Check();
  }
}

QStringList TkvMain::LogLines() const {
  QMutexLocker lock(&logLock_);
  return logLines_;
}
