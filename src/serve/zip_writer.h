#pragma once
// A zip archive of stored (uncompressed) entries built in memory: PDFs are
// compressed already. Names are taken as given (no folders).

#include <QByteArray>
#include <QString>

class TkvZipWriter {
 public:
  void Add(const QString& name, const QByteArray& data);
  // The archive: the entries, their central directory and its end record.
  QByteArray Finish() const;

 private:
  QByteArray entries_;
  QByteArray directory_;
  int count_ = 0;
};
