#include "convert/office/office_profile.h"

#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString TkvOfficeProfileSlot::RootFor(const QString& tmpDir, const QString& cacheDir,
                                      const QString& host, unsigned uid) {
  QString folder = host;
  if (folder.isEmpty() || folder == u'.' || folder == QLatin1String("..") || folder.contains(u'/'))
    folder = QStringLiteral("host");
  if (!tmpDir.isEmpty())
    return QDir::cleanPath(QStringLiteral("%1/tabrix-%2/%3").arg(tmpDir).arg(uid).arg(folder));
  return QDir::cleanPath(QStringLiteral("%1/tabrix/%2").arg(cacheDir, folder));
}

QString TkvOfficeProfileSlot::DefaultRoot() {
  return RootFor(qEnvironmentVariable("TMPDIR"),
                 QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
                 QSysInfo::machineHostName(), static_cast<unsigned>(::getuid()));
}

TkvOfficeProfileSlot::TkvOfficeProfileSlot(const QString& root, int maxSlots) {
  if (!QDir().mkpath(root))
    throw TkvError(QStringLiteral("Cannot create the office profile folder %1").arg(root));
  for (int slot = 1; slot <= maxSlots; ++slot) {
    const QString lockPath = QStringLiteral("%1/office-profile-%2.lock").arg(root).arg(slot);
    const int fd =
        ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) continue;
    // flock locks belong to the open file description: a second open of the
    // same file in this process conflicts too, so threads get distinct slots.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
      fd_ = fd;
      slot_ = slot;
      folder_ = QStringLiteral("%1/office-profile-%2").arg(root).arg(slot);
      return;
    }
    ::close(fd);
  }
  throw TkvError(QStringLiteral("No free office profile folder in %1 (all %2 are in use)")
                     .arg(root)
                     .arg(maxSlots));
}

TkvOfficeProfileSlot::~TkvOfficeProfileSlot() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

void TkvOfficeProfileSlot::Reset() { QDir(folder_).removeRecursively(); }
