#pragma once
// Shared by the tests that start real LibreOffice processes.

#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QStringList>

#include <gtest/gtest.h>
#include <unistd.h>

namespace tabrix::test {

// Office profiles of the test run live in a temporary cache folder, not the
// user's (and not in $TMPDIR, which is unset for them). Set before the first
// office starts; kept for the whole executable.
inline const ScopedTempDir& officeCacheDir() {
  static ScopedTempDir* dir = [] {
    auto* d = new ScopedTempDir;
    qputenv("XDG_CACHE_HOME", QFile::encodeName(d->path()));
    qunsetenv("TMPDIR");
    return d;
  }();
  return *dir;
}

inline bool officeInstalled() {
  return QFileInfo::exists(QStringLiteral("/usr/lib/libreoffice/program/soffice.bin"));
}

// True when no process (not even a zombie) has this id.
inline bool processGone(pid_t pid) {
  return pid > 0 && !QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

// The soffice.bin processes whose parent is this test process.
inline QList<pid_t> childOffices() {
  QList<pid_t> result;
  for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
    bool ok = false;
    const pid_t pid = entry.toInt(&ok);
    if (!ok) continue;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) continue;
    const QByteArray line = stat.readAll();
    const int close = line.lastIndexOf(')');
    const QByteArray name = line.mid(line.indexOf('(') + 1, close - line.indexOf('(') - 1);
    const QList<QByteArray> rest = line.mid(close + 2).split(' ');
    if (name == "soffice.bin" && rest.size() > 1 && rest[1].toInt() == ::getpid())
      result.append(pid);
  }
  return result;
}

// Pipe socket files of offices started by this test process that are still
// in /tmp (the pipe names carry the starting process's id).
inline QStringList leftPipeSockets() {
  const QString prefix = QStringLiteral("OSL_PIPE_%1_tabrix-%2-").arg(::getuid()).arg(::getpid());
  return QDir(QStringLiteral("/tmp"))
      .entryList({prefix + u'*'}, QDir::System | QDir::Files | QDir::Hidden);
}

#define TABRIX_REQUIRE_OFFICE() \
  if (!::tabrix::test::officeInstalled()) GTEST_SKIP() << "LibreOffice is not installed"

}  // namespace tabrix::test
