#pragma once
// The unattended run's JSON Lines report: one object per finished item, then
// one summary object per run (per round when watching). Lines are written
// whole and flushed, so a reader following the file never sees half a line.
//
// Write may be called from any thread. A write that fails is remembered and
// raised by Check on the owner's thread.

#include <QFile>
#include <QMutex>
#include <QString>
#include <QStringList>

struct TkvReportItem {
  QString source;
  QString target;     // empty unless the item succeeded
  QStringList files;  // every PDF written
  QString status;     // "success", "failure" or "skipped"
  QString message;    // the failure's message, else empty
  double seconds = 0;
  int pages = 0;
  QStringList warnings;  // a succeeded item's warnings
};

struct TkvReportSummary {
  int items = 0;
  int succeeded = 0;
  int failed = 0;
  int skipped = 0;
  double seconds = 0;
};

class TkvRunReport {
 public:
  // "-" writes to stdout; any other path is opened for appending (created
  // when missing, never truncated). Throws TkvError naming the path when it
  // cannot be opened.
  explicit TkvRunReport(const QString& path);
  TkvRunReport(const TkvRunReport&) = delete;
  TkvRunReport& operator=(const TkvRunReport&) = delete;

  static QByteArray ItemLine(const TkvReportItem& item);
  static QByteArray SummaryLine(const TkvReportSummary& summary);

  void Write(const QByteArray& line);
  // Throws TkvError naming the report when a write failed.
  void Check() const;

 private:
  QString path_;
  mutable QMutex lock_;
  QFile file_;
  bool failed_ = false;
};
