#pragma once
// The unattended run's JSON Lines report: one object per finished item, then
// one summary object per run (per round when watching). Lines are written
// whole and flushed, so a reader following the file never sees half a line.
//
// Write may be called from any thread. A write that fails is remembered and
// raised by Check on the owner's thread. Rows for stdout go around the
// progress line when one is given, so they never share its terminal line.

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

// Makes the folder of a file the run writes at its end (`what`: "log",
// "report") and checks that the file can be written there, without creating
// it. Throws TkvError "Cannot open the <what> <path>: <why>" otherwise.
void TkvCheckRunFile(const QString& path, const QString& what);

class TkvProgressLine;

class TkvRunReport {
 public:
  // "-" writes to stdout; any other path is opened for appending (created
  // when missing with its folder, never truncated). Throws TkvError naming the path when it
  // cannot be opened. `progress` (optional, not owned) must outlive the report.
  explicit TkvRunReport(const QString& path, TkvProgressLine* progress = nullptr);
  TkvRunReport(const TkvRunReport&) = delete;
  TkvRunReport& operator=(const TkvRunReport&) = delete;

  static QByteArray ItemLine(const TkvReportItem& item);
  static QByteArray SummaryLine(const TkvReportSummary& summary);

  void Write(const QByteArray& line);
  // Throws TkvError naming the report when a write failed.
  void Check() const;

 private:
  QString path_;
  TkvProgressLine* progress_ = nullptr;  // set only for stdout
  mutable QMutex lock_;
  QFile file_;
  bool failed_ = false;
};
