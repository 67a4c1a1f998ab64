#include "ui/frm_cfg.h"

#include "core/info.h"
#include "core/project.h"
#include "ui/handler_guard.h"

#include <QPlainTextEdit>
#include <QPushButton>

namespace {

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption,
                        const QRect& geometry) {
  auto* b = new QPushButton(caption, parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setGeometry(geometry);
  b->setAutoDefault(false);
  return b;
}

}  // namespace

TkvFrmCfg::TkvFrmCfg(QWidget* parent)
    : TkvFrmBase<QDialog>(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                      Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
  setObjectName(QStringLiteral("kvFrmCfg"));
  setWindowTitle(QStringLiteral("Config"));
  setModal(true);
  setFixedSize(292, 273);

  txtCfg = new QPlainTextEdit(this);
  txtCfg->setObjectName(QStringLiteral("txtCfg"));
  txtCfg->setGeometry(16, 16, 256, 200);
  txtCfg->setLineWrapMode(QPlainTextEdit::NoWrap);
  txtCfg->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtCfg->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  txtCfg->setToolTip(QStringLiteral("Please add/delete/modify the options by yourself"));

  btnHelp = MakeButton(this, "btnHelp", QStringLiteral("Help"), QRect(16, 233, 72, 25));
  btnHelp->setToolTip(QStringLiteral("Click here to see the details about the options"));
  btnOk = MakeButton(this, "btnOk", QStringLiteral("&Ok"), QRect(120, 233, 72, 25));
  btnCancel = MakeButton(this, "btnCancel", QStringLiteral("Cancel"), QRect(200, 233, 72, 25));

  connect(btnHelp, &QPushButton::clicked, this, [this] { TkvGuarded([this] { btnHelpClick(); }); });
  connect(btnOk, &QPushButton::clicked, this, [this] { TkvGuarded([this] { btnOkClick(); }); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TkvFrmCfg::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) TkvGuarded([this] { FormShow(); });
  TkvFrmBase<QDialog>::showEvent(event);
}

void TkvFrmCfg::FormShow() {
  TkvProject* project = TkvProject::Instance();
  if (!project) return;
  project->CollectFromControls();
  txtCfg->setPlainText(project->OptionsText());
  txtCfg->setFocus();
}

void TkvFrmCfg::btnOkClick() {
  if (TkvProject* project = TkvProject::Instance()) {
    project->SetOptionsText(txtCfg->toPlainText());
    project->ApplyToControls();
  }
  accept();
}

void TkvFrmCfg::btnHelpClick() {
  if (TkvInfo* info = TkvInfo::Instance())
    info->OpenLink(QStringLiteral("h"), QString(), QString());
}
