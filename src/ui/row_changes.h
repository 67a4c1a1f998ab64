#pragma once
// How item notifications of the search and converter threads reach the
// result list: each notification becomes a row change carrying copies of the
// item's values, queued in the order it was handed over. The UI thread takes
// the changes in that order and applies them. No Qt call crosses threads:
// the notifying thread only takes a std::mutex, never waits for the UI.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

struct TkvRowChange {
  enum class Kind { Listed, Converted };
  Kind kind = Kind::Listed;
  // The list contents the change belongs to (a new batch starts a new one).
  std::uint64_t generation = 0;
  int index = 0;
  int status = 0;
  QString fileName;
  QString result;
  // A converted item's PDFs and their pages in all.
  QStringList files;
  int pages = 0;
  QStringList warnings;  // a converted item's warnings
};

class TkvRowChangeQueue {
 public:
  TkvRowChangeQueue() = default;
  TkvRowChangeQueue(const TkvRowChangeQueue&) = delete;
  TkvRowChangeQueue& operator=(const TkvRowChangeQueue&) = delete;

  // Any thread.
  void Push(TkvRowChange change);
  // Every queued change, oldest first; the queue is left empty.
  std::vector<TkvRowChange> TakeAll();

 private:
  std::mutex lock_;
  std::deque<TkvRowChange> changes_;
};
