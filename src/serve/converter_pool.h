#pragma once
// The service's converters: one converter chain of one thread per slot, each
// with its own office process, kept warm between requests. A request takes a
// free slot (or waits for one, up to the queue limit), hands it its workbook
// as a batch of one item and gets the item's outcome back. The conversion is
// the engine's own: converter, office session, per-item time limit, office
// recycling and the PDF check.
//
// Threads: Convert, Health and the figures from any thread. The constructor
// warms every office (in parallel) before it returns; the destructor stops
// every converter and ends its office, and must run when no Convert is in
// progress.

#include "serve/serve_options.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

class TkvOptionSource;

struct TkvServeJob {
  QString source;        // the workbook, inside the request's private folder
  QString targetFolder;  // where its PDFs go, inside the same folder
  TkvSettings settings;  // the request's options
};

struct TkvServeOutcome {
  enum class Kind { Converted, Failed, TimedOut, Busy, Unavailable };
  Kind kind = Kind::Failed;
  QString message;    // the item's own message when it failed
  QStringList files;  // the PDFs written, in order
  int pages = 0;
  double seconds = 0;  // the conversion alone, without the wait for a slot
};

class TkvConverterPool {
 public:
  struct Converter {
    bool alive = false;  // its thread runs
    long officePid = -1;
    bool officeRunning = false;
  };

  // `options` (the service's options) is not owned and must outlive the
  // pool; `workFolder` is a private folder for the warm-up documents.
  TkvConverterPool(const TkvOptionSource& options, int threads, int maxQueue,
                   const QString& workFolder);
  ~TkvConverterPool();
  TkvConverterPool(const TkvConverterPool&) = delete;
  TkvConverterPool& operator=(const TkvConverterPool&) = delete;

  // Blocks until a converter is free and the job is done. Busy at once when
  // maxQueue requests already wait; Unavailable when the converter's thread
  // has ended.
  TkvServeOutcome Convert(const TkvServeJob& job);

  // Also starts warming every idle converter whose office has gone (crashed
  // or killed while no request was in hand); it is busy until warm.
  QList<Converter> Health();
  int Waiting() const;
  // Converters with a request in hand.
  int Busy() const;
  int Threads() const { return static_cast<int>(slots_.size()); }
  // Office starts beyond each converter's first (recycling, crashes, time limits).
  int OfficeRestarts() const;

 private:
  class Slot;
  Slot* Acquire();
  // A slot whose office is gone is warmed again (on a thread of its own)
  // before it is free.
  void Release(Slot* slot);
  // Under lock_: warms `slot` (taken from the free list) on a thread of its
  // own, then frees it.
  void WarmThenFree(Slot* slot);

  int maxQueue_;
  std::vector<std::unique_ptr<Slot>> slots_;
  mutable std::mutex lock_;
  std::condition_variable freed_;
  std::vector<Slot*> free_;  // under lock_
  int waiting_ = 0;          // under lock_
  std::vector<std::thread> warmers_;
};
