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
