#pragma once
// The item loop of one worker thread: take the batch's next item, have
// ProcessItem handle it, repeat until the batch has nothing left or a stop
// request was seen between items.
//
// Ownership: a worker never deletes itself. Its owner holds it (unique_ptr);
// the destructor sets the stop request and joins the thread, so it must not
// run on the worker's own thread, nor while DoTerminate waits for the
// destroying thread. A subclass whose destructor frees anything the loop
// uses calls StopAndWait() first in its own destructor.

#include "batch/batch.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class TkvWorkBase {
 public:
  explicit TkvWorkBase(TkvBatch* batch);
  virtual ~TkvWorkBase();
  TkvWorkBase(const TkvWorkBase&) = delete;
  TkvWorkBase& operator=(const TkvWorkBase&) = delete;

  // Starts the thread; later calls do nothing. Owner's thread.
  void Start();
  // Stop request (any thread): the worker ends after its current item; a
  // worker waiting for the search to list an item stops waiting.
  void Terminate() { terminated_.store(true); }
  bool Terminated() const { return terminated_.load(); }
  // The thread body, DoTerminate included, has returned.
  bool Finished() const { return finished_.load(); }
  // Blocks until the thread has ended (at once when never started).
  void Wait();
  // Terminate() then Wait().
  void StopAndWait();
  // Message of an exception that ended the loop early (empty if none).
  QString FatalError() const;

  TkvBatch* Batch() const { return batch_; }

 protected:
  // The item loop. A TkvError out of ProcessItem goes into the item's Result
  // (Status kept), another std::exception fails the item with its message
  // (counted as a failure); the loop goes on. An exception outside
  // ProcessItem ends the loop and is kept as FatalError.
  virtual void Execute();
  // Handles Item(). The base does nothing.
  virtual void ProcessItem() {}
  // Runs on the worker's thread after the loop, however it ended.
  virtual void DoTerminate() {}
  // The item being processed (worker thread only).
  TkvNode* Item() const { return item_; }
  // For a worker kept for several batches, on its own thread between two
  // batches: clears the stop request and draws from `batch` from now on.
  void Rearm(TkvBatch* batch) {
    batch_ = batch;
    terminated_.store(false);
  }

 private:
  void Body();

  TkvBatch* batch_;
  TkvNode* item_ = nullptr;
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  mutable std::mutex errorLock_;
  QString fatalError_;
  std::thread thread_;
};

// Construction by class name (the product profile names the converter
// class). Names are matched without regard to letter case. Thread-safe.
class TkvWorkerClasses {
 public:
  // `options` (not owned) outlives the worker; the plain loop reads none.
  using Factory = std::function<std::unique_ptr<TkvWorkBase>(
      TkvBatch*, const TkvOptionSource& options, int count, TkvItemEvent)>;

  TkvWorkerClasses() = delete;
  // Adds or replaces a class. "TkvWorkBase" (the plain loop) is always known.
  static void Register(const QString& name, Factory factory);
  static bool Contains(const QString& name);
  // Throws TkvError "Unknown worker class: <name>" for an unknown name.
  static std::unique_ptr<TkvWorkBase> Create(const QString& name, TkvBatch* batch,
                                             const TkvOptionSource& options, int count,
                                             TkvItemEvent itemEvent);
};
