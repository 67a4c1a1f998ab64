#pragma once
// The window's file dialogs, started where the user works: a dialog opens in
// the folder of the name it is given, unless that name has no folder or its
// folder is one of the program's own (where its default project, stores and
// help live); then it opens in the last folder the user chose something in,
// or in the home folder when there is none (or that one is the program's
// too). The name part is kept. A folder chooser given no folder starts in
// that folder as well. A cancelled dialog changes nothing; a
// confirmed one makes the chosen file's folder (or the chosen folder) the
// last folder.
//
// UI thread only. Owns the dialogs it wraps.

#include "core/file_dialogs.h"

#include <QString>
#include <QStringList>

#include <memory>

class TkvStartFolderDialogs : public TkvFileDialogs {
 public:
  // `avoided`: the program's own folders (any spelling; compared cleaned).
  TkvStartFolderDialogs(std::unique_ptr<TkvFileDialogs> inner, const QStringList& avoided);

  bool OpenDialog(const QString& filter, QString& name, bool several) override;
  bool SaveDialog(const QString& filter, const QString& defaultExt, QString& name) override;
  bool FolderDialog(QString& folder) override;

  // Without a trailing delimiter; empty before the first choice.
  QString LastFolder() const { return last_; }
  void SetLastFolder(const QString& folder);
  // The folder a dialog starts in when its name gives none it may use.
  QString StartFolder() const;

 private:
  bool Avoided(const QString& folder) const;
  // `name` with its folder replaced by StartFolder() when it may not be used.
  QString InitialName(const QString& name) const;

  std::unique_ptr<TkvFileDialogs> inner_;
  QStringList avoided_;
  QString last_;
};
