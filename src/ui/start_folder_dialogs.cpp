#include "ui/start_folder_dialogs.h"

#include "core/path_utils.h"

#include <QDir>
#include <QFileInfo>

namespace {

QString Cleaned(const QString& folder) {
  return folder.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(folder).absoluteFilePath());
}

}  // namespace

TkvStartFolderDialogs::TkvStartFolderDialogs(std::unique_ptr<TkvFileDialogs> inner,
                                             const QStringList& avoided)
    : inner_(std::move(inner)) {
  for (const QString& folder : avoided)
    if (!folder.isEmpty()) avoided_ << Cleaned(folder);
}

bool TkvStartFolderDialogs::Avoided(const QString& folder) const {
  return avoided_.contains(Cleaned(folder));
}

void TkvStartFolderDialogs::SetLastFolder(const QString& folder) {
  if (!folder.isEmpty() && !Avoided(folder)) last_ = Cleaned(folder);
}

QString TkvStartFolderDialogs::StartFolder() const {
  if (!last_.isEmpty() && QFileInfo(last_).isDir()) return last_;
  return QDir::homePath();
}

QString TkvStartFolderDialogs::InitialName(const QString& name) const {
  const QString folder = TkvFolderPart(name);
  if (!folder.isEmpty() && !Avoided(folder)) return name;
  return TkvWithTrailingDelimiter(StartFolder()) + TkvNamePart(name);
}

bool TkvStartFolderDialogs::OpenDialog(const QString& filter, QString& name, bool several) {
  QString chosen = InitialName(name);
  if (!inner_->OpenDialog(filter, chosen, several)) return false;
  name = chosen;
  SetLastFolder(TkvFolderPart(chosen.section(u'\n', 0, 0).trimmed()));
  return true;
}

bool TkvStartFolderDialogs::SaveDialog(const QString& filter, const QString& defaultExt,
                                       QString& name) {
  QString chosen = InitialName(name);
  if (!inner_->SaveDialog(filter, defaultExt, chosen)) return false;
  name = chosen;
  SetLastFolder(TkvFolderPart(chosen));
  return true;
}

bool TkvStartFolderDialogs::FolderDialog(QString& folder) {
  QString chosen = folder.isEmpty() ? StartFolder() : folder;
  if (!inner_->FolderDialog(chosen)) return false;
  folder = chosen;
  SetLastFolder(chosen);
  return true;
}
