#include "batch/target_claims.h"

#include <QDir>

QString TkvTargetClaims::Claim(const QString& path, std::uint64_t item, const QString& source) {
  TkvMutexLock lock(lock_);
  const QString key = QDir::cleanPath(path);
  const auto found = names_.constFind(key);
  if (found == names_.cend()) {
    names_.insert(key, Holder{item, source});
    return QString();
  }
  return found->item == item ? QString() : found->source;
}

bool TkvTargetClaims::FirstUse(const QString& folder) {
  TkvMutexLock lock(lock_);
  const QString key = QDir::cleanPath(folder);
  if (folders_.contains(key)) return false;
  folders_.insert(key);
  return true;
}
