#pragma once
// `TkvRunController`: drives the converter runs of the main window and tells
// the window what changed. It keeps the run in progress, the ended runs
// until their threads have ended, the item changes handed over by the search
// and converter threads, the figures already counted for a list, the Stop
// flags and the wait between two repetitions of a Daemon run.
//
// UI thread only, except ItemListed and ItemConverted, which any thread may
// call: they copy the item's values into a queue that the UI thread applies
// oldest first (changes of an older list are dropped). Signals are emitted
// on the UI thread. Destroying the controller stops the run and waits for
// its threads; the run keeps its batch alive until then.

#include "ui/row_changes.h"

#include <QObject>

#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class QTimer;
class TkvBatch;
class TkvConvertor;
class TkvWindowRun;
struct TkvNode;

class TkvRunController : public QObject {
  Q_OBJECT

 public:
  explicit TkvRunController(QObject* parent = nullptr);
  ~TkvRunController() override;
  TkvRunController(const TkvRunController&) = delete;
  TkvRunController& operator=(const TkvRunController&) = delete;

  // ---- the list ----
  // Starts new list contents: changes handed over for older ones are
  // dropped from now on, and the row figures start at 0 (not shown).
  std::uint64_t NewList();
  std::uint64_t ListGeneration() const { return generation_; }
  // Any thread: `item` of `batch` was listed / converted for list `generation`.
  void ItemListed(std::uint64_t generation, TkvBatch* batch, TkvNode* item);
  void ItemConverted(std::uint64_t generation, TkvBatch* batch, TkvNode* item);
  // Applies the handed-over changes now (RowChanged, then ProgressChanged).
  void ApplyRowChanges();
  // Keeps applying them while `searching` may list items or a run may
  // convert them.
  void WatchSearch(const std::shared_ptr<TkvBatch>& searching);
  // Rows of the current list a run has finished (converted, failed or
  // skipped), failed rows, skipped rows (done without a result); shown once
  // a run has started on it.
  int RowsDone() const { return rowsDone_; }
  int RowsFailed() const { return rowsFailed_; }
  int RowsSkipped() const { return rowsSkipped_; }
  // `rows` rows of the current list will never be converted (a stopped
  // run): they count as done and skipped.
  void CountNotConverted(int rows);
  bool ProgressShown() const { return progressShown_; }

  // ---- runs ----
  // Converters of a run are at work (Running or Ending).
  bool Running() const { return run_ != nullptr; }
  // Starts `chain` (made for `batch` and list `generation`, not started yet)
  // and counts a run. False, and `chain` destroyed unstarted, while another
  // run is in progress.
  bool Start(std::shared_ptr<TkvBatch> batch, std::uint64_t generation,
             std::unique_ptr<TkvConvertor> chain);
  // The converters end after their items in hand; the batch is kept. No-op
  // without a run.
  void Pause();
  // As Pause, and the batch's search ends; the run ends with `stopped` set.
  // Without a run, a pending repetition is cancelled. Either way no further
  // repetition follows.
  void Stop();
  // The window closes: no repetition; a run ends as by Stop, but its batch
  // is not forgotten.
  void StopForClose();
  // Stop was chosen (or the window closed) since the last run started.
  bool StopRequested() const { return stopRequested_; }
  // Runs whose threads are still ending.
  bool EndingRuns() const { return !endedRuns_.empty(); }

  // ---- repetitions ----
  // RepetitionDue follows in `ms` milliseconds, from the event loop.
  void ScheduleRepetition(int ms);
  bool RepetitionPending() const;

 signals:
  // One handed-over change of the current list, in hand-over order.
  void RowChanged(const TkvRowChange& change);
  // The row figures or whether they are shown changed.
  void ProgressChanged();
  // A run started: its converters are at work.
  void RunStarted();
  // Pause or Stop asked the run to end.
  void RunEnding();
  // The last converter of a run reported its end; the run's figures are
  // counted. `stopped`: by Stop (a stopped batch is not continued).
  void RunEnded(const std::shared_ptr<TkvBatch>& batch, bool stopped);
  // No search or run can change the current list any more, and every change
  // handed over is applied.
  void ListSettled();
  // The wait of ScheduleRepetition is over.
  void RepetitionDue();
  // Stop cancelled a pending repetition.
  void RepetitionCancelled();

 private:
  void HandOver(TkvRowChange change);
  void KeepApplyingRowChanges();
  void OnFinish(TkvWindowRun* run);
  // Usage counters and failure report of the run's batch; a batch converted
  // in several runs (Pause) is counted once.
  void CountRunFigures(const TkvWindowRun& run);
  void ReleaseEndedRuns();

  std::thread::id uiThread_;
  // Identifies the list; changes handed over for an older one carry an
  // older generation.
  std::uint64_t generation_ = 0;
  TkvRowChangeQueue rowChanges_;
  std::weak_ptr<TkvBatch> searching_;
  QTimer* rowTimer_ = nullptr;  // applies rowChanges_ while threads may add to it
  int rowsDone_ = 0;
  int rowsFailed_ = 0;
  int rowsSkipped_ = 0;
  bool progressShown_ = false;

  std::unique_ptr<TkvWindowRun> run_;
  // Runs whose last OnFinish has run; released once their threads have ended.
  std::vector<std::unique_ptr<TkvWindowRun>> endedRuns_;
  QTimer* reapTimer_ = nullptr;
  QTimer* repeatTimer_ = nullptr;  // the wait of a Daemon run
  bool stopRequested_ = false;
  // The Stop action's tag: 1 while a Stop waits for the converters.
  int stopTag_ = 0;
  struct CountedFigures {
    std::uint64_t generation = 0;
    int items = 0;
    int successes = 0;
    int failures = 0;
    QStringList messages;
  } counted_;
};
