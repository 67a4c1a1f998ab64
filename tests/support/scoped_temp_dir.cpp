#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <cerrno>

namespace tabrix::test {

ScopedTempDir::ScopedTempDir() {
  const QString base = QDir::tempPath() + "/tabrix-test-" +
                       QUuid::createUuid().toString(QUuid::WithoutBraces).left(12);
  QDir().mkpath(base);
  path_ = QFileInfo(base).canonicalFilePath();
}

ScopedTempDir::~ScopedTempDir() {
  if (!path_.isEmpty()) {
    // Restore write permission first so read-only test folders go too.
    QDir(path_).removeRecursively();
    if (QFileInfo::exists(path_)) {
      QFile::setPermissions(path_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
      QDir(path_).removeRecursively();
    }
  }
}

QString ScopedTempDir::file(const QString& relative) const { return path_ + "/" + relative; }

QString ScopedTempDir::write(const QString& relative, const QByteArray& bytes) const {
  const QString p = file(relative);
  QDir().mkpath(QFileInfo(p).absolutePath());
  QFile f(p);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
  return p;
}

QByteArray readFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

namespace {

bool WritesFailForWantOfSpace(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
  if (fd < 0) return false;
  const bool full = ::write(fd, "x", 1) < 0 && errno == ENOSPC;
  ::close(fd);
  return full;
}

}  // namespace

QString fullDevice(const ScopedTempDir& temp) {
  const QString node = temp.file("full");
  if (::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 7)) == 0) {
    if (WritesFailForWantOfSpace(node)) return node;
    QFile::remove(node);
  }
  if (::geteuid() != 0 && WritesFailForWantOfSpace("/dev/full")) return "/dev/full";
  return {};
}

QString sourceDir() {
  const QByteArray env = qgetenv("TABRIX_SOURCE_DIR");
  return env.isEmpty() ? QDir::currentPath() : QString::fromLocal8Bit(env);
}

QString realworldCorpusDir() {
  for (const QString& candidate :
       {sourceDir() + "/../shared/corpus/realworld", QString("/work/shared/corpus/realworld")}) {
    if (QFileInfo(candidate).isDir()) return QFileInfo(candidate).canonicalFilePath();
  }
  return {};
}

}  // namespace tabrix::test
