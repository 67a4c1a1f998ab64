#pragma once
// The unattended run: one batch converted without any window. TkvMain
// searches the source, runs the converter chain, waits for it, then adds the
// usage counters, sends the failure report and writes the log file.
//
// Threads: RunUnattended and FinishRun run on the main thread; ItemDone and
// the item-start event run on converter threads. RequestStop may be called
// from any thread. Whatever happens, the converter threads are joined and
// the batch (with its search thread) is destroyed before RunUnattended
// returns or throws.

#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>

class TkvBatch;
class TkvConvertor;
class TkvInfo;
class TkvItemTimes;
class TkvProgressLine;
class TkvProject;
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

  // The whole run. Throws TkvError when the run itself fails: an empty
  // target ("Unable to create directory"), a log file that cannot be
  // written, a stop request. Item failures are not failures of the run.
  void RunUnattended();
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
  void ItemStarted(TkvBatch* batch, TkvNode* item);
  void WaitForConvertors();
  void ShowProgress();
  void TearDown();

  TkvProject& project_;
  TkvInfo& info_;
  TkvProgressLine* progress_;
  std::unique_ptr<TkvBatch> batch_;
  std::unique_ptr<TkvConvertor> convertor_;
  // Per-item timing when TABRIX_ITEM_TIMES asks for it (null otherwise).
  std::unique_ptr<TkvItemTimes> itemTimes_;
  mutable QMutex logLock_;
  QStringList logLines_;
  int failedItems_ = 0;
  QString currentFile_;
  std::atomic<bool> stopRequested_{false};
  int pollMs_ = 100;
};
