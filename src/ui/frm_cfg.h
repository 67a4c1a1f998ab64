#pragma once
// `TkvFrmCfg` (form object `kvFrmCfg`): the options dialog. Shows the current
// project's options as key=value text at every showing and, on "&Ok",
// replaces the project's options with the edited text and refreshes the
// bound controls. Holds no copy of the options. UI thread only.

#include "ui/frm_base.h"

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

class TkvFrmCfg : public TkvFrmBase<QDialog> {
  Q_OBJECT

 public:
  explicit TkvFrmCfg(QWidget* parent = nullptr);

  QPlainTextEdit* txtCfg = nullptr;
  QPushButton* btnHelp = nullptr;
  QPushButton* btnOk = nullptr;
  QPushButton* btnCancel = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void FormShow();
  void btnOkClick();
  void btnHelpClick();
};
