#include "support/processes.h"

#include "support/scoped_temp_dir.h"

#include <QDir>

#include <algorithm>

namespace tabrix::test {

QList<pid_t> processesMentioning(const QString& text, const char* program) {
  QList<pid_t> pids;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool ok = false;
    const pid_t pid = entry.toInt(&ok);
    if (!ok) continue;
    QByteArray cmdline = readFile(QStringLiteral("/proc/%1/cmdline").arg(pid));
    cmdline.replace('\0', ' ');
    if (cmdline.contains(text.toUtf8()) && (!program || cmdline.contains(program)))
      pids.append(pid);
  }
  std::sort(pids.begin(), pids.end());
  return pids;
}

}  // namespace tabrix::test
