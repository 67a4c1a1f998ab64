#include "convert/office/office_url.h"

#include <QFileInfo>
#include <QUrl>

QString TkvOfficeFileUrl(const QString& localPath) {
  return QUrl::fromLocalFile(QFileInfo(localPath).absoluteFilePath()).toString(QUrl::FullyEncoded);
}

bool TkvIsRemoteAddress(const QString& path) {
  for (const char* scheme : {"http://", "https://", "ftp://"})
    if (path.startsWith(QLatin1String(scheme), Qt::CaseInsensitive)) return true;
  return false;
}

QString TkvLocalPathOf(const QString& path) {
  if (path.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
    const QUrl url(path, QUrl::TolerantMode);
    if (url.isLocalFile()) return url.toLocalFile();
  }
  return path;
}

QString TkvOfficeSourceUrl(const QString& path) {
  return TkvIsRemoteAddress(path) ? path : TkvOfficeFileUrl(TkvLocalPathOf(path));
}
