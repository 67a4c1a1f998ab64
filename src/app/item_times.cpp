#include "app/item_times.h"

#include "core/error.h"

#include <QThread>

#include <sys/resource.h>

std::unique_ptr<TkvItemTimes> TkvItemTimes::FromEnvironment() {
  const QString path = qEnvironmentVariable(kVariable);
  if (path.isEmpty()) return nullptr;
  return std::make_unique<TkvItemTimes>(path);
}

TkvItemTimes::TkvItemTimes(const QString& path) : file_(path) {
  if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
    throw TkvError(
        QStringLiteral("Cannot write the item times file %1: %2").arg(path, file_.errorString()));
  clock_.start();
}

TkvItemTimes::Thread& TkvItemTimes::CurrentThread() {
  Thread& thread = threads_[QThread::currentThreadId()];
  if (thread.number == 0) thread.number = static_cast<int>(threads_.size());
  return thread;
}

void TkvItemTimes::ItemStarted() {
  TkvMutexLock lock(lock_);
  CurrentThread().startNs = clock_.nsecsElapsed();
}

void TkvItemTimes::ItemDone(int status, const QString& fileName) {
  TkvMutexLock lock(lock_);
  const qint64 endNs = clock_.nsecsElapsed();
  Thread& thread = CurrentThread();
  // An item without a start event (none is raised for it) counts from its end.
  const qint64 startNs = thread.startNs >= 0 ? thread.startNs : endNs;
  thread.startNs = -1;
  const QString line = QStringLiteral("%1\t%2\t%3\t%4\t%5\n")
                           .arg(thread.number)
                           .arg(startNs / 1e6, 0, 'f', 3)
                           .arg(endNs / 1e6, 0, 'f', 3)
                           .arg(status)
                           .arg(fileName);
  if (file_.write(line.toUtf8()) < 0) failed_ = true;
}

void TkvItemTimes::Finish() {
  TkvMutexLock lock(lock_);
  if (!file_.isOpen()) return;
  const QString summary = QStringLiteral("# wall_ms\t%1\n# cpu_ms\t%2\n# peak_rss_kb\t%3\n")
                              .arg(clock_.nsecsElapsed() / 1e6, 0, 'f', 3)
                              .arg(OwnCpuMs(), 0, 'f', 3)
                              .arg(PeakResidentKb());
  if (file_.write(summary.toUtf8()) < 0) failed_ = true;
  if (!file_.flush()) failed_ = true;
  file_.close();
  if (failed_ || file_.error() != QFileDevice::NoError)
    throw TkvError(QStringLiteral("Cannot write the item times file %1").arg(file_.fileName()));
}

double TkvItemTimes::OwnCpuMs() {
  rusage usage{};
  if (::getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  const auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

qint64 TkvItemTimes::PeakResidentKb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return 0;
  // /proc files report size 0: read to the end rather than by size.
  const QByteArray text = status.readAll();
  const qsizetype at = text.indexOf("\nVmHWM:");
  if (at < 0) return 0;
  const qsizetype end = text.indexOf('\n', at + 1);
  return text.mid(at + 7, end < 0 ? -1 : end - at - 7).trimmed().split(' ').value(0).toLongLong();
}
