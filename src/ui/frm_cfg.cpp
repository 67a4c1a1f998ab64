#include "ui/frm_cfg.h"

#include "core/info.h"
#include "core/option_list.h"
#include "core/option_table.h"
#include "core/project.h"
#include "ui/handler_guard.h"

#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>

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
  // The specified 292 by 273 client area, widened for the key list.
  setFixedSize(712, 273);

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

  lstKeys = new QTreeWidget(this);
  lstKeys->setObjectName(QStringLiteral("lstKeys"));
  lstKeys->setGeometry(288, 16, 408, 160);
  lstKeys->setRootIsDecorated(false);
  lstKeys->setHeaderLabels(
      {QStringLiteral("Key"), QStringLiteral("Default"), QStringLiteral("Meaning")});
  lstKeys->setToolTip(QStringLiteral("Double-click a key to insert it at the cursor"));
  for (const TkvOptionRow& option : TkvOptionTable()) {
    const QString key =
        option.key == QLatin1String("SourceN") ? QStringLiteral("Source2") : option.key;
    auto* row = new QTreeWidgetItem(lstKeys, {key, option.defaultValue, option.meaning});
    row->setToolTip(2, option.meaning);
  }
  lstKeys->header()->resizeSection(0, 118);
  lstKeys->header()->resizeSection(1, 48);

  lblWarnings = new QLabel(this);
  lblWarnings->setObjectName(QStringLiteral("lblWarnings"));
  lblWarnings->setGeometry(288, 182, 408, 76);
  lblWarnings->setWordWrap(true);
  lblWarnings->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblWarnings->setTextFormat(Qt::PlainText);
  lblWarnings->setStyleSheet(QStringLiteral("color: #a00000"));

  connect(lstKeys, &QTreeWidget::itemDoubleClicked, this,
          [this](QTreeWidgetItem* row) { TkvGuarded([this, row] { lstKeysDoubleClick(row); }); });
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
  lblWarnings->clear();
  warnedText_.clear();
}

void TkvFrmCfg::btnOkClick() {
  const QString text = txtCfg->toPlainText();
  QString mask;
  if (TkvProject* project = TkvProject::Instance()) {
    project->SetOptionsText(text);
    project->ApplyToControls();
    mask = project->Profile().SourceMask;
  }
  const QStringList warnings = TkvOptionWarnings(TkvSplitLines(text), mask);
  if (!warnings.isEmpty() && text != warnedText_) {
    // Applied already; the dialog stays so that the person sees why.
    warnedText_ = text;
    lblWarnings->setText(warnings.join(u'\n') +
                         QStringLiteral("\n(Ok again closes; the options are read as they are.)"));
    return;
  }
  accept();
}

void TkvFrmCfg::lstKeysDoubleClick(QTreeWidgetItem* row) {
  if (!row) return;
  txtCfg->insertPlainText(row->text(0) + u'=');
  txtCfg->setFocus();
}

void TkvFrmCfg::btnHelpClick() {
  if (TkvInfo* info = TkvInfo::Instance())
    info->OpenLink(QStringLiteral("h"), QString(), QString());
}
