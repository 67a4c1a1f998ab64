#include "ui/frm_about.h"

#include "core/project.h"
#include "ui/handler_guard.h"
#include "ui/images.h"

#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

const char* const TkvFrmAbout::kNotice = "\u00a9 2025 The Tabrix Converter authors";

namespace {

QFont AboutFont(int pixels, bool bold) {
  QFont f(QStringLiteral("Verdana"));
  if (!QFontDatabase::families().contains(QStringLiteral("Verdana"), Qt::CaseInsensitive)) {
    f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  }
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QRect& geometry, int pixels, bool bold,
                  Qt::Alignment align) {
  auto* l = new QLabel(parent);
  l->setObjectName(QString::fromLatin1(name));
  l->setGeometry(geometry);
  l->setFont(AboutFont(pixels, bold));
  l->setAlignment(align);
  l->setTextFormat(Qt::PlainText);
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, QColor(221, 221, 221));
  l->setPalette(pal);
  l->setAutoFillBackground(false);
  // Clicks on the labels and the picture reach the box (FormClick).
  l->setAttribute(Qt::WA_TransparentForMouseEvents);
  return l;
}

}  // namespace

TkvFrmAbout::TkvFrmAbout(QWidget* mainWindow)
    : TkvFrmBase<QDialog>(mainWindow, Qt::Dialog | Qt::FramelessWindowHint) {
  setObjectName(QStringLiteral("kvFrmAbout"));
  setModal(true);
  setFixedSize(472, 243);
  setFont(AboutFont(13, false));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0, 85, 255));
  setPalette(pal);
  setAutoFillBackground(true);
  setWindowOpacity(200.0 / 255.0);

  img = MakeLabel(this, "img", QRect(40, 40, 80, 80), 13, false, Qt::AlignCenter);
  img->setPixmap(TkvImageList().Icon(TkvImage::About).pixmap(80, 80));
  lblProduct = MakeLabel(this, "lblProduct", QRect(163, 40, 250, 50), 21, true, Qt::AlignCenter);
  lblProduct->setWordWrap(true);
  lblVersion = MakeLabel(this, "lblVersion", QRect(176, 96, 224, 16), 13, true, Qt::AlignCenter);
  lblCopright = MakeLabel(this, "lblCopright", QRect(184, 208, 264, 16), 13, false,
                          Qt::AlignLeft | Qt::AlignVCenter);
  lblCopright->setText(QString::fromUtf8(kNotice));
}

void TkvFrmAbout::ShowAbout() {
  if (showCount_ == 0) {
    TkvProject* project = TkvProject::Instance();
    QWidget* main = parentWidget();
    if (project && main && project->PureConsole()) {
      // Invisible for the whole automatic run, yet shown as far as the
      // window's own logic is concerned (its first showing starts the run).
      main->setWindowOpacity(0.0);
      main->setAttribute(Qt::WA_DontShowOnScreen, true);
    }
  } else {
    exec();
  }
  ++showCount_;
}

void TkvFrmAbout::showEvent(QShowEvent* event) {
  if (!event->spontaneous()) TkvGuarded([this] { FormShow(); });
  TkvFrmBase<QDialog>::showEvent(event);
}

void TkvFrmAbout::FormShow() {
  if (lblProduct->text().isEmpty()) {
    // Plain-text labels show "&" as itself: no accelerator marks to escape.
    const TkvProject* project = TkvProject::Instance();
    const TkvProfile profile = project ? project->Profile() : TkvTabrixProfile();
    lblProduct->setText(profile.Title);
    lblVersion->setText(profile.Version);
  }
  ++showCount_;
}

void TkvFrmAbout::FormClick() {
  if (showCount_ > 1) close();
}

void TkvFrmAbout::FormKeyPress() {
  if (showCount_ > 1) close();
}

void TkvFrmAbout::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) TkvGuarded([this] { FormClick(); });
  event->accept();
}

void TkvFrmAbout::keyPressEvent(QKeyEvent* event) {
  TkvGuarded([this] { FormKeyPress(); });
  event->accept();
}

TkvFrmTabrixAbout::TkvFrmTabrixAbout(QWidget* mainWindow) : TkvFrmAbout(mainWindow) {
  setObjectName(QStringLiteral("kvFrmTabrixAbout"));
  img->setGeometry(16, 16, 128, 128);
  img->setPixmap(TkvProductPicture(128, devicePixelRatioF()));
}
