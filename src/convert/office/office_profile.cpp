#include "convert/office/office_profile.h"

#include "core/error.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

QString TkvOfficeProfileSlot::DefaultRoot() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/tabrix");
}

TkvOfficeProfileSlot::TkvOfficeProfileSlot(const QString& root, int maxSlots) {
  if (!QDir().mkpath(root))
    throw TkvError(QStringLiteral("Cannot create the office profile folder %1").arg(root));
  for (int slot = 1; slot <= maxSlots; ++slot) {
    const QString lockPath = QStringLiteral("%1/office-profile-%2.lock").arg(root).arg(slot);
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
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
  throw TkvError(QStringLiteral("No free office profile folder in %1 (all %2 are in use)").arg(root).arg(maxSlots));
}

TkvOfficeProfileSlot::~TkvOfficeProfileSlot() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

void TkvOfficeProfileSlot::Reset() { QDir(folder_).removeRecursively(); }
