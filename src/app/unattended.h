#pragma once
// The unattended run: one batch converted without any window. TkvMain
// searches the source, runs the converter chain, waits for it, then adds the
// usage counters, sends the failure report and writes the log file.
//
// Beyond that, when the options ask for it: further sources (one batch each,
// in order, for one chain kept between them), a JSON Lines report, and watch
// rounds: search and convert again every WatchInterval ms with the same
// chain (office processes stay warm) until a stop request, which then ends
// the run without an error. A watched file that failed is not tried again
// until its size or time changes.
//
// Threads: RunUnattended and FinishRun run on the main thread; ItemDone and
// the item-start event run on converter threads. RequestStop may be called
// from any thread. Whatever happens, the converter threads are joined and
// the batch (with its search thread) is destroyed before RunUnattended
// returns or throws.

#include "batch/target_claims.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <QHash>
#include <QSet>

#include <atomic>
#include <chrono>
#include <memory>
#include <unordered_map>

class TkvBatch;
class TkvConvertor;
class TkvInfo;
class TkvItemTimes;
class TkvProgressLine;
class TkvProject;
class TkvRunReport;
struct TkvNode;

class TkvMain {
 public:
  // Both must outlive the object. `progress` (optional, not owned) shows
  // the run on a terminal.
  TkvMain(TkvProject& project, TkvInfo& info, TkvProgressLine* progress = nullptr);
  ~TkvMain();
  TkvMain(const TkvMain&) = delete;
  TkvMain& operator=(const TkvMain&) = delete;

  static TkvMain* Instance();

  // The `convert` road: each succeeded item's warnings are printed on
  // stderr ("<file>: warning: <text>"), besides the report. Any thread.
  static void PrintWarningsOnStderr(bool on) { warningsOnStderr_.store(on); }
  // The `convert` road: lines for a person reading stderr besides the
  // progress line. The run's summary ("9 converted, 4 failed, 0 skipped of
  // 13") when no progress line shows it; in a watch, its first line
  // ("watching ... every 5 s; Ctrl-C stops"), a line per file converted and
  // the summary when it ends. Set before the run, main thread.
  static void PrintRunLines(bool on) { runLines_.store(on); }

  // The whole run. Throws TkvError when the run itself fails: an empty
  // target ("Unable to create directory"), a log or report file that cannot
  // be written (both checked before the first conversion), a stop request
  // (not when watching). Item failures are not failures of the run; returns
  // whether any item failed or, outside a watch, a source matched no
  // workbook ("no workbook matches ..." on stderr, also in a watch's first
  // round). Without a report on stdout, each failed item's message is
  // printed on stderr too.
  bool RunUnattended();
  // After RunUnattended: whether an item of the last sweep (or of any round
  // of a watch) failed; a source that matched nothing is no failed item.
  bool AnyItemFailed() const;
  // Sources (before the run) that are files to take as they are named, not
  // masks: a watch leaves such a file out once it is gone.
  void TakeLiterally(const QStringList& files) { literalFiles_ = files; }
  // The converters' item event: appends "State => FileName => Result".
  void ItemDone(TkvBatch* batch, TkvNode* item);
  // Counters, failure report, log file. Called by RunUnattended.
  void FinishRun();

  // Ends the run early (any thread): no new items are taken, items being
  // converted are finished, then the run finishes and throws "Run stopped".
  void RequestStop() { stopRequested_.store(true); }
  // The log lines so far, in the order the items finished.
  QStringList LogLines() const;

  void SetPollIntervalMs(int ms) { pollMs_ = ms; }

 private:
  struct Counts {
    int items = 0, succeeded = 0, failed = 0, skipped = 0;
  };
  struct FileStamp {
    qint64 size = -1, modified = 0;
    bool operator==(const FileStamp&) const = default;
  };
  static FileStamp StampOf(const QString& path);

  void ItemStarted(TkvBatch* batch, TkvNode* item);
  // One round: the batch of `source` converted by the chain (built on the
  // first round). Returns false when the chain has no thread left.
  bool ConvertSource(const QString& source, bool rounds);
  void StartBatch(const QString& source);
  // Waits until the round is done (rounds) or every converter has ended.
  void WaitForRound(bool rounds);
  void EndChain();
  void WaitForConvertors();
  // Adds the batch's counters to the sweep's, then frees it.
  void CloseBatch();
  void BeginSweep();
  // Whether the watch may admit `path` (not a failure left unchanged).
  bool AdmitWatched(const QString& path);
  void ForgetUnseenFailures();
  bool SleepUntilNextRound(int ms);
  void ShowProgress();
  // After a stop request: the batch's items no converter took count as
  // skipped (a report row each, "stopped") and make the run one that did
  // not convert every file.
  void ReportUnreached();
  // Prints "tabrix: <line>" on stderr, erasing and redrawing the progress
  // line around it when one is shown. Any thread.
  void PrintNow(const QString& line);
  void TearDown();

  TkvProject& project_;
  TkvInfo& info_;
  TkvProgressLine* progress_;
  std::unique_ptr<TkvBatch> batch_;
  // The previous round's batch, which waiting converters still name.
  std::unique_ptr<TkvBatch> doneBatch_;
  std::unique_ptr<TkvConvertor> convertor_;
  std::unique_ptr<TkvRunReport> report_;
  bool watching_ = false;
  bool showProgress_ = false;
  bool quiet_ = false;  // NoProgress: no progress line, no summary lines
  // The sweep's batch counters (main thread): one sweep is every source once.
  int sweepItems_ = 0, sweepSucceeded_ = 0, sweepFailed_ = 0;
  QStringList sweepFailures_;
  // Target names claimed by the batches of the current sweep.
  std::shared_ptr<TkvTargetClaims> sweepClaims_;
  std::chrono::steady_clock::time_point sweepStarted_;
  // Per-item timing when TABRIX_ITEM_TIMES asks for it (null otherwise).
  std::unique_ptr<TkvItemTimes> itemTimes_;
  mutable QMutex logLock_;
  QStringList logLines_;
  // Under logLock_: what the report needs of the items in hand and the
  // sweep's outcome; the failed files a watch leaves alone, and the paths
  // its current sweep has seen.
  std::unordered_map<const TkvNode*, std::chrono::steady_clock::time_point> itemStarts_;
  Counts sweepCounts_;
  bool anyFailed_ = false;
  QHash<QString, FileStamp> failedFiles_;
  QHash<QString, FileStamp> listedStamps_;  // a watch's files listed, not yet done
  QSet<QString> seenFiles_;
  QString currentFile_;
  std::atomic<bool> stopRequested_{false};
  int pollMs_ = 100;
  QStringList literalFiles_;
  bool reportOnStdout_ = false;
  bool firstSweep_ = true;
  bool noMatch_ = false;
  bool moreSources_ = false;           // main thread: sources of the sweep not yet searched
  Counts watchCounts_;                 // main thread: every round of a watch
  bool notConverted_ = false;          // a stop left files, listed or not, unconverted
  QSet<const TkvNode*> reachedItems_;  // under logLock_: the batch's items taken
  static inline std::atomic<bool> warningsOnStderr_{false};
  static inline std::atomic<bool> runLines_{false};
};
