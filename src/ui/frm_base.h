#pragma once
// The common look of the program's windows: font, colour, default size and
// placement. `TkvFrmBase<Form>` wraps any Qt form class (QMainWindow,
// QDialog) and adds no fields or handlers of its own. UI thread only.

#include <QFont>
#include <QShowEvent>
#include <QWidget>

// Tahoma when installed, otherwise the desktop's sans font; at the size the
// desktop asks for.
QFont TkvBaseFont();
// Font, button-face background, 1200 x 600 size, tool tips on.
void TkvApplyBaseLook(QWidget* form);
// Moves a top-level window to the centre of its screen.
void TkvCentreOnScreen(QWidget* form);

template <class Form>
class TkvFrmBase : public Form {
 public:
  explicit TkvFrmBase(QWidget* parent = nullptr, Qt::WindowFlags flags = {}) : Form(parent, flags) {
    TkvApplyBaseLook(this);
  }

 protected:
  // Every showing is placed at the centre of the screen.
  void showEvent(QShowEvent* event) override {
    if (!event->spontaneous()) TkvCentreOnScreen(this);
    Form::showEvent(event);
  }
};
