#pragma once
// A push-button-like tool button that shows whatever action is assigned to
// it: caption, hint, enabled and visible state follow the action, also when
// the action is re-assigned during a run. UI thread only.

#include <QAction>
#include <QMetaObject>
#include <QToolButton>

class TkvActionButton : public QToolButton {
  Q_OBJECT

 public:
  explicit TkvActionButton(QWidget* parent = nullptr);

  // `action` (not owned) replaces the previous one; null clears it.
  void SetAction(QAction* action);
  QAction* Action() const { return defaultAction(); }

 private:
  void Follow();

  QMetaObject::Connection changed_;
};
