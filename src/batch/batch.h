#pragma once
// A batch: the files of one run and the thread that finds them.
//
// Options: read through the source handed to the constructor, afresh at
// each use (RegExt and SkipHidden when the search starts, Shard at
// StartSearch / AddFile); converters made for the batch read the same.
//
// Threads: the owner constructs the batch, calls StartSearch or AddFile,
// sets the stop request and destroys it. The search runs on the batch's own
// thread (std::thread, joined by the destructor). Workers call NextItem,
// the counters and SetItemOutcome from their threads.
//
// Locking: one re-entrant item-list lock guards the items (and their Status
// and Result), the hand-out position, the counters, the failure list and the
// stored fields. Read an item's fields only while holding it (TkvItemsLock).

#include "batch/target_claims.h"
#include "core/mutex.h"
#include "core/option_source.h"
#include "core/shard.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TkvBatch;

// A number no other item of this process had or will have (any thread).
std::uint64_t TkvNextItemSerial();

// One file of a batch. Owned by its batch; never moved or freed while the
// batch lives, so pointers stay valid until the batch is destroyed. A freed
// item's address may be reused by a later batch's item: what must tell items
// of several batches apart goes by Serial.
struct TkvNode {
  enum : int { Waiting = 0, Done = 1, Failed = 2 };
  int Status = Waiting;
  int Index = 0;
  // Given at construction, kept by copies (snapshots name the same item).
  std::uint64_t Serial = TkvNextItemSerial();
  QString FileName;
  QString Result;
  // Filled by the converter thread before the item's event: every PDF the
  // item wrote (the per-sheet files included) and their pages in all. Empty
  // and 0 for a failed or skipped item. Read by the owner after the event.
  QStringList Files;
  int Pages = 0;
  // Written like Files: what went wrong after a success (the source could
  // not be deleted or renamed); empty otherwise.
  QString Note;
  // Things a succeeded item's user should know (characters printed as empty
  // boxes), one line each; filled and read like Files.
  QStringList Warnings;
};

using TkvItemEvent = std::function<void(TkvBatch*, TkvNode*)>;
using TkvEvent = std::function<void()>;

// While true (start-up sets it) the search never takes a file whose name
// begins with "~$".
extern std::atomic<bool> SkipLockFiles;

class TkvBatch {
 public:
  using ItemList = std::vector<std::unique_ptr<TkvNode>>;

  // `options` is not owned and must outlive the batch.
  explicit TkvBatch(const TkvOptionSource& options);
  // Sets the stop request and joins the search thread.
  ~TkvBatch();
  TkvBatch(const TkvBatch&) = delete;
  TkvBatch& operator=(const TkvBatch&) = delete;

  // Owner's thread, once per batch. Normalises source and target, creates a
  // missing target folder (a failure to create it is ignored here) and
  // starts the search thread. Throws TkvError "Unable to create directory"
  // (code 3) for an empty target, one naming the target for a web address
  // (no folder is made from it), and TkvError with TkvParseShard's message
  // for a bad Shard option; then nothing is searched. A later call only
  // changes the stored fields.
  //
  // The Shard option limits the items to one shard: a listed file
  // is an item only when its path relative to the source folder belongs to
  // the shard; the others are passed over as if not there.
  void StartSearch(const QString& source, const QString& target, bool includeSubfolders);
  // Adds one text (path or web address) as an item, unchecked by the file
  // system, and marks the search done without starting the thread (unless
  // a search is already running: then its end marks it). With a Shard
  // option, the text's name part (after its last "/") decides its shard;
  // a bad Shard option throws as in StartSearch and adds nothing.
  void AddFile(const QString& fileName);

  // The next item in list order, or null when the search has ended and
  // every item was handed out (the batch is then Exhausted). While the
  // search runs and every listed item is out, waits until an item is
  // appended or the search ends. With `giveUp`, the wait also ends (null,
  // batch not exhausted) once *giveUp is true, leaving the rest for later;
  // nothing signals that flag, so it is looked at every kGiveUpCheck.
  TkvNode* NextItem(const std::atomic<bool>* giveUp = nullptr);
  static constexpr std::chrono::milliseconds kGiveUpCheck{50};

  const TkvOptionSource& Options() const { return options_; }

  bool SearchDone() const { return searchDone_.load(); }
  bool Exhausted() const { return exhausted_.load(); }
  // Stop request of the search: the walk ends at its next entry (and with
  // it the waits in NextItem).
  void Terminate() { stop_.store(true); }
  bool Terminated() const { return stop_.load(); }
  // Blocks until the search thread has ended (returns at once when it was
  // never started). Owner's thread.
  void WaitForSearch();
  // Message of an error that broke the walk off (empty when none).
  QString SearchError() const;

  int ItemCount() const;
  void AddSuccess();
  // Counts a failure; the message joins Failures unless it is there
  // already, letter case ignored.
  void AddFailure(const QString& message);
  int SuccessCount() const;
  int FailureCount() const;
  QStringList Failures() const;

  // Writes both fields of an item under the lock (worker threads).
  void SetItemOutcome(TkvNode* item, int status, const QString& result);
  // Writes Result, keeping Status.
  void SetItemResult(TkvNode* item, const QString& result);
  // A copy of item `index` taken under the lock; an empty node when out of range.
  TkvNode ItemSnapshot(int index) const;

  // The item list with the lock held; pair every call with UnlockItems
  // (prefer TkvItemsLock). Re-entrant.
  const ItemList& LockItems() const ACQUIRE(lock_);
  void UnlockItems() const RELEASE(lock_);
  // Item `index`, or null; the caller holds the lock.
  TkvNode* Item(int index) const;

  // "file:///home/a/x.xls" -> "/home/a/x.xls" (%XX decoded); other texts
  // unchanged. Errors of the expression service pass to the caller.
  static QString NormalizePath(const QString& text);

  QString SourceFolder() const;
  QString Mask() const;
  bool IncludeSubfolders() const;
  QString Target() const;
  void SetTarget(const QString& target);
  QString ExtraPattern() const;
  // The target names the batch's items write (any thread): the batch's
  // own, or those of the run it belongs to when shared.
  TkvTargetClaims& TargetClaims() { return *targetClaims_; }
  // Owner's thread, before converters take items: the batch's items claim
  // their names in `claims`, which other batches of one run share.
  void ShareTargetClaims(std::shared_ptr<TkvTargetClaims> claims) {
    targetClaims_ = std::move(claims);
  }

  // Raised after an item is appended, on the appending thread, without the
  // lock. Set it before StartSearch / AddFile.
  TkvItemEvent OnItemAdded;
  // When set, asked on the appending thread, without the lock, for every
  // path that matched: false leaves it out of the list. Set it before
  // StartSearch / AddFile.
  std::function<bool(const QString&)> Admit;

 private:
  void SearchBody();
  // Reads the Shard option.
  void ReadShard();
  // `relativePath` decides the item's shard.
  void AddItem(const QString& path, const QString& relativePath);
  bool Accepts(const QString& path) const;
  // The count of changes waiting workers look at (appends and the search's
  // end), and waiting for it to move past `seen`.
  std::uint64_t Changes() const;
  void WaitForChange(std::uint64_t seen, bool bounded) const;
  void NotifyChange();
  void MarkSearchDone();

  friend class TkvItemsLock;
  const TkvOptionSource& options_;
  mutable TkvRecursiveMutex lock_;
  ItemList items_ GUARDED_BY(lock_);
  int nextIndex_ GUARDED_BY(lock_) = 0;
  int successCount_ GUARDED_BY(lock_) = 0;
  int failureCount_ GUARDED_BY(lock_) = 0;
  QStringList failures_ GUARDED_BY(lock_);
  QString sourceFolder_;
  QString mask_;
  QString maskRegex_;
  bool includeSubfolders_ = false;
  QString target_;
  QString extraPattern_;
  TkvShard shard_;
  std::shared_ptr<TkvTargetClaims> targetClaims_ = std::make_shared<TkvTargetClaims>();
  QString searchError_;
  bool searchStarted_ = false;

  std::atomic<bool> searchDone_{false};
  std::atomic<bool> exhausted_{false};
  std::atomic<bool> stop_{false};
  std::atomic<int> waitingWorkers_{0};
  // Taken after lock_ is released, never together with it.
  mutable TkvMutex changeLock_;
  mutable TkvCondition changed_;
  std::uint64_t changes_ GUARDED_BY(changeLock_) = 0;
  std::thread thread_;
};

// Holds a batch's item-list lock for its lifetime.
class SCOPED_CAPABILITY TkvItemsLock {
 public:
  explicit TkvItemsLock(const TkvBatch& batch) ACQUIRE(batch.lock_)
      : batch_(batch), items_(batch.LockItems()) {}
  ~TkvItemsLock() RELEASE() { batch_.UnlockItems(); }
  TkvItemsLock(const TkvItemsLock&) = delete;
  TkvItemsLock& operator=(const TkvItemsLock&) = delete;
  const TkvBatch::ItemList& Items() const { return items_; }

 private:
  const TkvBatch& batch_;
  const TkvBatch::ItemList& items_;
};
