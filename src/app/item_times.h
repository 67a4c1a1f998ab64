#pragma once
// Opt-in timing of each item of an unattended run, for benchmarks. When the
// environment variable TABRIX_ITEM_TIMES names a file, the run writes there
// one tab-separated line per finished item, as it finishes:
//   <converter thread 1..n> <start ms> <end ms> <status 0/1/2> <file name>
// (milliseconds since the run began; from the item-start event to the item
// event, so a thread's first item includes its office start), and at the end
//   # wall_ms <ms>   # cpu_ms <this process's CPU time, offices excluded>
//   # peak_rss_kb <VmHWM of this process>
//
// Threads: ItemStarted and ItemDone run on converter threads (an item's two
// calls on the same thread); the constructor and Finish on the run's thread.
// Memory does not grow with the batch: lines go straight to the file.

#include "core/mutex.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QString>

#include <memory>

class TkvItemTimes {
 public:
  static constexpr const char* kVariable = "TABRIX_ITEM_TIMES";

  // The recorder the environment asks for; null when the variable is unset
  // or empty. Throws what the constructor throws.
  static std::unique_ptr<TkvItemTimes> FromEnvironment();

  // Creates (replaces) `path` and starts the clock. Throws TkvError naming
  // the file when it cannot be written.
  explicit TkvItemTimes(const QString& path);
  TkvItemTimes(const TkvItemTimes&) = delete;
  TkvItemTimes& operator=(const TkvItemTimes&) = delete;

  void ItemStarted();
  void ItemDone(int status, const QString& fileName);
  // Writes the summary lines and closes the file. Throws TkvError naming the
  // file when anything written could not be stored.
  void Finish();

  // CPU time (user + system) of this process so far, child processes not
  // included.
  static double OwnCpuMs();
  // VmHWM of this process in kB (0 when /proc cannot tell).
  static qint64 PeakResidentKb();

 private:
  struct Thread {
    int number = 0;
    qint64 startNs = -1;
  };
  Thread& CurrentThread() REQUIRES(lock_);

  TkvMutex lock_;
  QFile file_ GUARDED_BY(lock_);
  QElapsedTimer clock_ GUARDED_BY(lock_);
  QHash<void*, Thread> threads_ GUARDED_BY(lock_);
  bool failed_ GUARDED_BY(lock_) = false;
};
