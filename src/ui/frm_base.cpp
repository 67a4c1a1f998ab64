#include "ui/frm_base.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>

QFont TkvBaseFont() {
  QFont font;
  if (QFontDatabase::families().contains(QStringLiteral("Tahoma"), Qt::CaseInsensitive)) {
    font = QFont(QStringLiteral("Tahoma"));
  } else {
    font = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
  }
  font.setPointSize(8);
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
