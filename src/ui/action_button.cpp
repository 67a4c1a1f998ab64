#include "ui/action_button.h"

TkvActionButton::TkvActionButton(QWidget* parent) : QToolButton(parent) {
  setToolButtonStyle(Qt::ToolButtonTextOnly);
  setAutoRaise(false);
  setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void TkvActionButton::SetAction(QAction* action) {
  disconnect(changed_);
  // A tool button with more than its default action shows a menu arrow.
  if (QAction* old = defaultAction(); old && old != action) removeAction(old);
  setDefaultAction(action);
  if (action) {
    changed_ = connect(action, &QAction::changed, this, &TkvActionButton::Follow);
    Follow();
  }
}

void TkvActionButton::Follow() {
  QAction* action = defaultAction();
  if (!action) return;
  // QToolButton follows hint and enabled state itself, not visibility, and
  // shows the caption without its accelerator.
  setText(action->text());
  setVisible(action->isVisible());
}
