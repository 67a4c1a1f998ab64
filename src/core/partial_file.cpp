#include "core/partial_file.h"

#include "core/shard.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::atomic<unsigned> partCounter{0};

// This machine's boot and process-id space: the same for every process of
// this machine and container until it restarts.
const QString& MachineTag() {
  static const QString tag = [] {
    QByteArray identity;
    QFile boot(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (boot.open(QIODevice::ReadOnly)) identity = boot.readAll().trimmed();
    struct stat ns {};
    if (::stat("/proc/self/ns/pid", &ns) == 0)
      identity += '/' + QByteArray::number(static_cast<qulonglong>(ns.st_ino));
    return QStringLiteral("%1").arg(TkvShardHash(identity) & 0xffffffffu, 8, 16, QLatin1Char('0'));
  }();
  return tag;
}

// Data and folder entry on disk before the rename makes the file visible.
bool FlushToDisk(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0 || errno == EINVAL || errno == EROFS;
  ::close(fd);
  return ok;
}

}  // namespace

bool TkvProcessGone(long long pid) {
  return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

QString TkvPartialFile::NameOf(long long pid, unsigned n) {
  return QStringLiteral(".tabrix-%1-%2-%3.part").arg(MachineTag()).arg(pid).arg(n);
}

TkvPartialFile::TkvPartialFile(const QString& finalPath) : finalPath_(finalPath) {
  // Unique per process and per writer: two threads or two shard tasks never
  // share a temporary name.
  partPath_ = QFileInfo(finalPath).path() + u'/' + NameOf(::getpid(), partCounter.fetch_add(1));
}

TkvPartialFile::~TkvPartialFile() {
  if (!committed_) QFile::remove(partPath_);
}

bool TkvPartialFile::Take(const QString& written) {
  QFile::remove(partPath_);
  if (std::rename(QFile::encodeName(written).constData(),
                  QFile::encodeName(partPath_).constData()) == 0)
    return true;
  // Another file system: copied, then the original goes.
  if (!QFile::copy(written, partPath_)) {
    QFile::remove(partPath_);
    return false;
  }
  QFile::remove(written);
  return true;
}

bool TkvPartialFile::Commit() {
  if (committed_) return true;
  const QByteArray from = QFile::encodeName(partPath_), to = QFile::encodeName(finalPath_);
  if (QFileInfo(partPath_).size() <= 0 || !FlushToDisk(partPath_) ||
      std::rename(from.constData(), to.constData()) != 0) {
    QFile::remove(partPath_);
    return false;
  }
  committed_ = true;
  return true;
}

int TkvPartialFile::RemoveLeftovers(const QString& folder) {
  static const QRegularExpression pattern(
      QStringLiteral("^\\.tabrix-([0-9a-f]{8})-([0-9]{1,10})-[0-9]{1,10}\\.part$"));
  const QDir dir(folder);
  int removed = 0;
  const QFileInfoList entries =
      dir.entryInfoList({QStringLiteral(".tabrix-*.part")}, QDir::Files | QDir::Hidden);
  for (const QFileInfo& entry : entries) {
    const QRegularExpressionMatch match = pattern.match(entry.fileName());
    if (!match.hasMatch() || entry.isSymLink()) continue;
    const bool dead =
        match.captured(1) == MachineTag()
            ? TkvProcessGone(match.captured(2).toLongLong())
            : entry.lastModified().secsTo(QDateTime::currentDateTime()) > qint64(24) * 3600;
    if (dead && QFile::remove(entry.filePath())) ++removed;
  }
  return removed;
}
