#pragma once
// A zip archive of stored (uncompressed) entries built in memory through
// libzip: PDFs are compressed already. Names are taken as given (no folders);
// Zip64 is written when the entries need it.

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

class TkvZipWriter {
 public:
  void Add(const QString& name, const QByteArray& data);
  // The archive: the entries, their central directory and its end record;
  // empty when libzip cannot write it (no memory).
  QByteArray Finish() const;

 private:
  QList<std::pair<QByteArray, QByteArray>> entries_;  // UTF-8 name, data
};
