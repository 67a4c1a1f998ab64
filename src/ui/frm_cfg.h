#pragma once
// `TkvFrmCfg` (form object `kvFrmCfg`): the options dialog. Shows the current
// project's options as key=value text at every showing and, on "&Ok",
// replaces the project's options with the edited text and refreshes the
// bound controls. Holds no copy of the options. UI thread only.
//
// Beside the text, `lstKeys` lists the known keys (the option table) with
// their default and meaning; a double-click inserts "Key=" at the cursor.
// When the text has unknown keys or values their key cannot take, "&Ok"
// applies it and shows the warnings in `lblWarnings` instead of closing; a
// second "&Ok" on the same text closes.

#include "ui/frm_base.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

class TkvFrmCfg : public TkvFrmBase<QDialog> {
  Q_OBJECT

 public:
  explicit TkvFrmCfg(QWidget* parent = nullptr);

  QPlainTextEdit* txtCfg = nullptr;
  QPushButton* btnHelp = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;
  QTreeWidget* lstKeys = nullptr;
  QLabel* lblWarnings = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void btnOkClick();
  void btnHelpClick();
  void lstKeysDoubleClick(QTreeWidgetItem* row);

  QString warnedText_;  // the text whose warnings are shown
};
