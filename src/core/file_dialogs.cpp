#include "core/file_dialogs.h"

#include "core/path_utils.h"

QString TkvDialogInitialName(const QString& name, bool replaceQuestionMarks) {
  QString result = name;
  if (replaceQuestionMarks) result.replace(u'?', u'*');
  return result;
}

QString TkvDialogInitialFolder(const QString& name) {
  if (name.isEmpty()) return {};
  return TkvFolderPart(name);
}
