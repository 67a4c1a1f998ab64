#include "clicks.h"

#include "ui/result_list.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QToolButton>

namespace tabrix::test {

namespace {

bool Clickable(const QWidget* w) { return w && w->isEnabled() && !w->isHidden(); }

}  // namespace

bool ClickOn(QWidget& window, const QString& name) {
  auto* w = window.findChild<QWidget*>(name);
  if (!Clickable(w)) return false;
  QTest::mouseClick(w, Qt::LeftButton);
  return true;
}

bool ClickAction(QWidget& window, const QString& name) {
  auto* action = window.findChild<QAction*>(name);
  if (!action) return false;
  // A toolbar that was never laid out keeps its buttons hidden: what
  // shows a button is its action's visibility.
  if (!action->isVisible()) return false;
  for (QToolButton* b : window.findChildren<QToolButton*>()) {
    if (b->defaultAction() != action || !b->isEnabled()) continue;
    QTest::mouseClick(b, Qt::LeftButton);
    return true;
  }
  return false;
}

bool ChooseFromMenu(QWidget& window, QMenu& menu, const QString& name) {
  menu.popup(window.mapToGlobal(QPoint(0, 0)));  // aboutToShow fills it
  QAction* item = nullptr;
  for (QAction* a : menu.actions())
    if (a->objectName() == name) item = a;
  const bool clicked = ClickMenuItem(menu, item);
  if (menu.isVisible()) menu.close();
  return clicked;
}

bool ClickMenuItem(QMenu& menu, QAction* item) {
  if (!menu.isVisible() || !item || !item->isEnabled() || !menu.actions().contains(item))
    return false;
  QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(item).center());
  return true;
}

QMenu* OpenContextMenu(TkvResultList& list) {
  const QPoint pos(5, 5);
  QContextMenuEvent event(QContextMenuEvent::Mouse, pos, list.viewport()->mapToGlobal(pos));
  QApplication::sendEvent(list.viewport(), &event);
  return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

void DoubleClickRow(TkvResultList& list, int row) {
  // A list that was never shown has no row geometry to click on: the
  // double click arrives as the list's own signal.
  emit list.itemDoubleClicked(list.topLevelItem(row), TkvResultList::FileColumn);
}

}  // namespace tabrix::test
