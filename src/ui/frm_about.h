#pragma once
// The about box. `TkvFrmAbout` (form object `kvFrmAbout`) is the generic
// frameless, semi-transparent box with the product's name and version;
// `TkvFrmTabrixAbout` (form object `kvFrmTabrixAbout`) only puts the
// product's own picture in it. Its parent is the main window, which
// ShowAbout's start-up step may make invisible. UI thread only.

#include "ui/frm_base.h"

#include <QDialog>

class QLabel;

class TkvFrmAbout : public TkvFrmBase<QDialog> {
  Q_OBJECT

 public:
  explicit TkvFrmAbout(QWidget* mainWindow);

  // First call (start-up): shows nothing; with PureConsole the main window
  // becomes invisible while it goes on working. Later calls show the box
  // modally and return when it closes.
  void ShowAbout();
  int ShowCount() const { return showCount_; }

  QLabel* img = nullptr;
  QLabel* lblProduct = nullptr;
  QLabel* lblVersion = nullptr;
  QLabel* lblCopright = nullptr;

  static const char* const kNotice;

 protected:
  void showEvent(QShowEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void FormShow();
  void FormClick();
  void FormKeyPress();

  std::int32_t showCount_ = 0;
};

class TkvFrmTabrixAbout : public TkvFrmAbout {
  Q_OBJECT

 public:
  explicit TkvFrmTabrixAbout(QWidget* mainWindow);
};
