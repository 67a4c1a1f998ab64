#include "core/path_utils.h"

QString TkvFolderPart(const QString& path) {
  const qsizetype i = path.lastIndexOf(kTkvPathDelimiter);
  return i < 0 ? QString() : path.left(i + 1);
}

QString TkvNamePart(const QString& path) {
  return path.mid(path.lastIndexOf(kTkvPathDelimiter) + 1);
}

QString TkvChangeExt(const QString& path, const QString& ext) {
  const qsizetype slash = path.lastIndexOf(kTkvPathDelimiter);
  const qsizetype dot = path.lastIndexOf(u'.');
  if (dot > slash) return path.left(dot) + ext;
  return path + ext;
}

QString TkvWithTrailingDelimiter(const QString& path) {
  if (path.isEmpty() || path.endsWith(kTkvPathDelimiter)) return path;
  return path + kTkvPathDelimiter;
}

bool TkvIsAddress(const QString& text) {
  const qsizetype colon = text.indexOf(u':');
  if (colon < 1 || !text.mid(colon + 1).startsWith(QLatin1String("//"))) return false;
  for (qsizetype i = 0; i < colon; ++i) {
    const QChar c = text.at(i);
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!letter && (i == 0 || !(c.isDigit() || c == u'+' || c == u'-' || c == u'.'))) return false;
  }
  return true;
}
