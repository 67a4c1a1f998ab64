#include "ui/target_folder.h"

#include "core/path_utils.h"

#include <QFileInfo>

namespace {

QString WithoutTrailingDelimiter(const QString& text) {
  return text.endsWith(kTkvPathDelimiter) ? text.left(text.size() - 1) : text;
}

bool NeedsReduction(const QString& text) {
  if (text.contains(u'?') || text.contains(u'*')) return true;
  const QString name = WithoutTrailingDelimiter(text);
  if (name.isEmpty()) return false;
  const QFileInfo info(name);
  return info.exists() && !info.isDir();
}

}  // namespace

QString TkvReduceTarget(const QString& text) {
  QString target = text;
  while (!target.isEmpty() && NeedsReduction(target)) {
    const QString shorter = TkvFolderPart(WithoutTrailingDelimiter(target));
    if (shorter.size() >= target.size()) return QString();
    target = shorter;
  }
  return target;
}
