#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

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
