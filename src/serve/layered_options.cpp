#include "serve/layered_options.h"

#include <QMutexLocker>

void TkvLayeredOptions::SetFixed(const QString& key, const QString& value) {
  QMutexLocker lock(&lock_);
  fixed_.insert(key.toLower(), value);
}

void TkvLayeredOptions::SetRequest(const QList<QPair<QString, QString>>& settings) {
  QMutexLocker lock(&lock_);
  request_.clear();
  for (const auto& [key, value] : settings) request_.insert(key.toLower(), value);
}

QString TkvLayeredOptions::OptionValue(const QString& key) const {
  const QString lower = key.toLower();
  {
    QMutexLocker lock(&lock_);
    if (const auto it = request_.constFind(lower); it != request_.constEnd()) return *it;
    if (const auto it = fixed_.constFind(lower); it != fixed_.constEnd()) return *it;
  }
  return base_.OptionValue(key);
}
