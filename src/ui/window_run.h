#pragma once
// One converter run started from the main window: the converter chain
// (owned) and the batch it draws from (shared with the window), so that the
// batch outlives the chain's threads even when the window has let it go
// (Stop, a new batch during the run).
//
// UI thread only. Destroying a run stops its chain and waits for the chain's
// threads, delivering their main-thread hand-overs meanwhile; OnFinish calls
// not made by then are dropped. Only then is the run's share of the batch
// released.

#include "batch/batch.h"
#include "convert/convertor.h"

#include <cstdint>
#include <memory>

class TkvWindowRun {
 public:
  // `listGeneration` identifies the list contents the batch fills.
  TkvWindowRun(std::shared_ptr<TkvBatch> batch, std::uint64_t listGeneration,
               std::unique_ptr<TkvConvertor> chain);
  ~TkvWindowRun();
  TkvWindowRun(const TkvWindowRun&) = delete;
  TkvWindowRun& operator=(const TkvWindowRun&) = delete;

  TkvBatch& Batch() const { return *batch_; }
  const std::shared_ptr<TkvBatch>& SharedBatch() const { return batch_; }
  std::uint64_t ListGeneration() const { return listGeneration_; }
  TkvConvertor& Chain() const { return *chain_; }

  // Converter threads that have not reported their end yet.
  int PendingFinishes() const { return pendingFinishes_; }
  // One converter reported its end; true when it was the last.
  bool FinishOne();
  // Stop request to every converter still running (and, with
  // `stopSearch`, to the batch's search); each finishes its current item.
  void RequestStop(bool stopSearch);
  // Every thread of the chain has ended, its last hand-over included.
  bool ThreadsEnded() const;

 private:
  // Declared before the chain: released after the chain's threads ended.
  std::shared_ptr<TkvBatch> batch_;
  std::uint64_t listGeneration_;
  std::unique_ptr<TkvConvertor> chain_;
  int pendingFinishes_;
};
