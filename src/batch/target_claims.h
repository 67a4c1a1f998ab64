#pragma once
// The target names of one run: which item writes which file, so that two
// items of a run never end on one name whatever the number of threads.

#include "core/mutex.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <cstdint>

// Owned by a batch, or shared by the batches of one run; any thread. Items
// are told apart by their serial (TkvNode::Serial), which no other item of
// the process shares, so the claims may outlive the batches that made them.
// A claim is never given back: a name whose item then fails stays taken for
// the rest of the run (a later item of that name gets the alternative name,
// or is skipped under "skip", where one thread might have written it).
class TkvTargetClaims {
 public:
  // Takes `path` for the item of serial `item` (whose source is `source`)
  // unless another item holds it. Returns empty text when the name is now the
  // item's (also when it already was), else the source of the item that
  // holds it.
  QString Claim(const QString& path, std::uint64_t item, const QString& source);
  // True the first time a folder is named in this run (the run's clean-up
  // of that folder then falls to the caller), false after.
  bool FirstUse(const QString& folder);

 private:
  struct Holder {
    std::uint64_t item = 0;
    QString source;
  };
  TkvMutex lock_;
  QHash<QString, Holder> names_ GUARDED_BY(lock_);
  QSet<QString> folders_ GUARDED_BY(lock_);
};
