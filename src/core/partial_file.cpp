#include "core/partial_file.h"

#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <cstdio>

#include <unistd.h>

namespace {
std::atomic<unsigned> partCounter{0};
}

TkvPartialFile::TkvPartialFile(const QString& finalPath) : finalPath_(finalPath) {
  const QFileInfo info(finalPath);
  // Unique per process and per writer: two threads or two shard tasks never
  // share a temporary name.
  partPath_ = info.path() + QStringLiteral("/.") + info.fileName() +
              QStringLiteral(".part-%1-%2").arg(::getpid()).arg(partCounter.fetch_add(1));
}

TkvPartialFile::~TkvPartialFile() {
  if (!committed_) QFile::remove(partPath_);
}

bool TkvPartialFile::Commit() {
  if (committed_) return true;
  const QByteArray from = QFile::encodeName(partPath_), to = QFile::encodeName(finalPath_);
  if (QFileInfo(partPath_).size() <= 0 || std::rename(from.constData(), to.constData()) != 0) {
    QFile::remove(partPath_);
    return false;
  }
  committed_ = true;
  return true;
}
