#include "ui/desktop_opener.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QRegularExpression>

QUrl TkvUrlForLink(const QString& link) {
  // "http:", "https:", "mailto:", "file:" ... : a scheme of two letters or more.
  static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));
  if (scheme.match(link).hasMatch()) return QUrl(link, QUrl::TolerantMode);
  return QUrl::fromLocalFile(QFileInfo(link).absoluteFilePath());
}

bool TkvDesktopOpen(const QString& link) {
  if (link.trimmed().isEmpty()) return true;
  return QDesktopServices::openUrl(TkvUrlForLink(link));
}
