#pragma once
// The file dialogs of the window: Qt's open, save and folder dialogs behind
// the project's TkvFileDialogs interface. UI thread only; `owner` (not
// owned) parents every dialog and must outlive this object.

#include "core/file_dialogs.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

// "Label|a;b|Label2|c" -> {"Label (a b)", "Label2 (c)"}. A label that
// already shows its patterns in parentheses keeps them out of its text.
QStringList TkvQtNameFilters(const QString& filter);

class TkvQtFileDialogs : public TkvFileDialogs {
 public:
  explicit TkvQtFileDialogs(QWidget* owner) : owner_(owner) {}
  TkvQtFileDialogs(const TkvQtFileDialogs&) = delete;
  TkvQtFileDialogs& operator=(const TkvQtFileDialogs&) = delete;

  bool OpenDialog(const QString& filter, QString& name, bool several) override;
  bool SaveDialog(const QString& filter, const QString& defaultExt, QString& name) override;
  bool FolderDialog(QString& folder) override;

 private:
  QPointer<QWidget> owner_;
};
