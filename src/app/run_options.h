#pragma once
// Options of the unattended run beyond the batch's own. None of them is set
// by a project that predates them, and each unset key leaves the run as it
// was: one source, no report, exit code 0 whatever the items did, one run.

#include "core/project.h"

#include <QString>
#include <QStringList>

namespace TkvRunKeys {
// Further sources after Source: Source2, Source3, ... up to the first
// missing number; one batch each, converted in that order by one chain.
inline QString SourceKey(int n) {
  return n <= 1 ? QStringLiteral("Source") : QStringLiteral("Source%1").arg(n);
}
// The JSON Lines report: a path (appended to) or "-" for stdout.
inline const QString kReportFile = QStringLiteral("ReportFile");
// True: exit code 2 when any item failed.
inline const QString kStrictExit = QStringLiteral("StrictExit");
// Milliseconds between watch rounds; 0 or less: one run.
inline const QString kWatchInterval = QStringLiteral("WatchInterval");
// True: no progress line on a terminal.
inline const QString kNoProgress = QStringLiteral("NoProgress");
}  // namespace TkvRunKeys

// Source, then Source2, Source3, ... while set. Always holds Source, even empty.
inline QStringList TkvRunSources(const TkvProject& project) {
  QStringList sources{project.Source()};
  for (int n = 2;; ++n) {
    const QString value = project.OptionValue(TkvRunKeys::SourceKey(n));
    if (value.isEmpty()) break;
    sources.append(value);
  }
  return sources;
}

inline int TkvWatchInterval(const TkvProject& project) {
  const int ms = project.ReadInt(TkvRunKeys::kWatchInterval, 0);
  return ms > 0 ? ms : 0;
}
