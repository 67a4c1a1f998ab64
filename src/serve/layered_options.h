#pragma once
// The options one converter of the service goes by: the request's own
// settings over the converter's fixed settings over the service's options.
// Letter case of keys is ignored; an empty value set here hides the lower
// layers' value.
//
// Threads: OptionValue from any thread; SetFixed before the converter
// starts; SetRequest only while the converter has no item in hand (between
// rounds).

#include "core/option_source.h"

#include <QHash>
#include <QMutex>
#include <QString>

#include <QList>
#include <QPair>

class TkvLayeredOptions : public TkvOptionSource {
 public:
  // `base` is not owned and must outlive the object.
  explicit TkvLayeredOptions(const TkvOptionSource& base) : base_(base) {}

  void SetFixed(const QString& key, const QString& value);
  void SetRequest(const QList<QPair<QString, QString>>& settings);

  QString OptionValue(const QString& key) const override;
  const TkvProfile& Profile() const override { return base_.Profile(); }

 private:
  const TkvOptionSource& base_;
  mutable QMutex lock_;
  QHash<QString, QString> fixed_;    // under lock_, keys in lower case
  QHash<QString, QString> request_;  // under lock_, keys in lower case
};
