#include "convert/target_backup.h"

#include "convert/convertor.h"

#include <QFile>

#include <atomic>

#include <sys/stat.h>
#include <unistd.h>

TkvTargetBackup::TkvTargetBackup(const QString& target) : target_(target) {
  struct stat st {};
  if (target.isEmpty() || ::lstat(QFile::encodeName(target).constData(), &st) != 0 ||
      S_ISDIR(st.st_mode))
    return;
  static std::atomic<unsigned> counter{0};
  const int slash = target.lastIndexOf(u'/');
  const QString folder = target.left(slash + 1);
  const QString name = target.mid(slash + 1);
  for (int attempt = 0; attempt < 8 && backup_.isEmpty(); ++attempt) {
    const QString candidate =
        QStringLiteral("%1.%2.tabrix-old-%3-%4").arg(folder, name).arg(::getpid()).arg(++counter);
    if (TkvConvertor::RenameNoReplace(target, candidate)) backup_ = candidate;
  }
  if (backup_.isEmpty()) TkvConvertor::DeleteTarget(target);
}

TkvTargetBackup::~TkvTargetBackup() {
  if (backup_.isEmpty()) return;
  const QByteArray backup = QFile::encodeName(backup_);
  if (committed_)
    ::unlink(backup.constData());
  else
    ::rename(backup.constData(), QFile::encodeName(target_).constData());
}
