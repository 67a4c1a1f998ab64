#include "ui/qt_file_dialogs.h"

#include "core/path_utils.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>

QStringList TkvQtNameFilters(const QString& filter) {
  const QStringList parts = filter.split(u'|');
  QStringList result;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString label = parts[i].trimmed();
    // Qt shows the patterns itself; drop a "(*.a;*.b)" the label carries.
    label.remove(QRegularExpression(QStringLiteral("\\s*\\([^()]*\\)\\s*$")));
    QStringList patterns = parts[i + 1].split(u';', Qt::SkipEmptyParts);
    for (QString& p : patterns) p = p.trimmed();
    result << QStringLiteral("%1 (%2)").arg(label, patterns.join(u' '));
  }
  return result;
}

namespace {

// Points the dialog at the folder and file named by `initialName`.
void Preset(QFileDialog& dialog, const QString& initialName) {
  const QString folder = TkvDialogInitialFolder(initialName);
  if (!folder.isEmpty()) dialog.setDirectory(folder);
  // A mask as the file name would sit in Qt's name box and be refused on
  // confirmation; the filter already lists the matching files.
  const QString file = TkvNamePart(initialName);
  if (!file.isEmpty() && !file.contains(u'*') && !file.contains(u'?')) dialog.selectFile(file);
}

}  // namespace

bool TkvQtFileDialogs::OpenDialog(const QString& filter, QString& name, bool several) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(several ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
  dialog.setNameFilters(TkvQtNameFilters(filter));
  Preset(dialog, TkvDialogInitialName(name, true));
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  if (several) {
    QString text;
    for (const QString& f : chosen) text += f + QStringLiteral("\r\n");
    name = text;
  } else {
    name = chosen.first();
  }
  return true;
}

bool TkvQtFileDialogs::SaveDialog(const QString& filter, const QString& defaultExt, QString& name) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(TkvQtNameFilters(filter));
  QString suffix = defaultExt;
  if (suffix.startsWith(u'.')) suffix.remove(0, 1);
  dialog.setDefaultSuffix(suffix);
  // Qt asks before an existing file is overwritten unless told not to.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  Preset(dialog, TkvDialogInitialName(name, false));
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  name = chosen.first();
  return true;
}

bool TkvQtFileDialogs::FolderDialog(QString& folder) {
  QFileDialog dialog(owner_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (!folder.isEmpty()) {
    const QFileInfo info(folder);
    if (info.isDir())
      dialog.setDirectory(info.absoluteFilePath());
    else if (!TkvFolderPart(folder).isEmpty())
      dialog.setDirectory(TkvFolderPart(folder));
  }
  if (dialog.exec() != QDialog::Accepted) return false;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return false;
  folder = chosen.first();
  return true;
}
