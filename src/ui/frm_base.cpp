#include "ui/frm_base.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

QFont TkvBaseFont() {
  // The desktop's size; the family only where the system has it.
  const QFont desktop = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  QFont font = desktop;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) {
    font = QFont(QStringLiteral("Tahoma"));
  } else {
    font.setStyleHint(QFont::SansSerif);
  }
  if (desktop.pointSizeF() > 0)
    font.setPointSizeF(desktop.pointSizeF());
  else
    font.setPixelSize(desktop.pixelSize());
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

void TkvApplyBaseLook(QWidget* form) {
  form->setFont(TkvBaseFont());
  QPalette pal = form->palette();
  pal.setColor(QPalette::Window, pal.color(QPalette::Button));
  form->setPalette(pal);
  form->setAutoFillBackground(true);
  form->setGeometry(100, 100, 1200, 600);
}

void TkvCentreOnScreen(QWidget* form) {
  QScreen* screen = form->screen() ? form->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  QRect frame = form->frameGeometry();
  frame.moveCenter(screen->availableGeometry().center());
  form->move(frame.topLeft());
}
