#pragma once
// The target names of one run: which item writes which file, so that two
// items of a run never end on one name whatever the number of threads.

#include "core/mutex.h"

#include <QHash>
#include <QSet>
#include <QString>

struct TkvNode;

// Owned by a batch, or shared by the batches of one run; any thread. A
// claim is never given back: a name whose item then fails stays taken for
// the rest of the run (a later item of that name gets the alternative name,
// or is skipped under "skip", where one thread might have written it).
class TkvTargetClaims {
 public:
  // Takes `path` for `item` (whose source is `source`) unless another item
  // holds it. Returns empty text when the name is now the item's (also when
  // it already was), else the source of the item that holds it.
  QString Claim(const QString& path, const TkvNode* item, const QString& source);
  // True the first time a folder is named in this run (the run's clean-up
  // of that folder then falls to the caller), false after.
  bool FirstUse(const QString& folder);

 private:
  struct Holder {
    const TkvNode* item = nullptr;
    QString source;
  };
  TkvMutex lock_;
  QHash<QString, Holder> names_ GUARDED_BY(lock_);
  QSet<QString> folders_ GUARDED_BY(lock_);
};
