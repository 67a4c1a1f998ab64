#pragma once
// The user's ways into a window, for tests: clicks on widgets found by their
// object names, the list's context menu and its rows. Each returns false
// (and clicks nothing) when the widget is missing, disabled or hidden, as a
// user could not click it either.

#include <QString>

class QAction;
class QMenu;
class QWidget;
class TkvResultList;

namespace tabrix::test {

// A left click on the button (or box) named `name` in `window`.
bool ClickOn(QWidget& window, const QString& name);

// The action named `name` as a user triggers it: a click on the button that
// shows it now (a toolbar button, or the panel button carrying it).
bool ClickAction(QWidget& window, const QString& name);

// Opens `menu` at the top left of `window` and clicks its item named `name`.
bool ChooseFromMenu(QWidget& window, QMenu& menu, const QString& name);

// A click on `item` of the open `menu`.
bool ClickMenuItem(QMenu& menu, QAction* item);

// A right click on the list, which opens its context menu; the menu stays
// open until an item is chosen or it is closed.
QMenu* OpenContextMenu(TkvResultList& list);

// A double click on row `row` of the list (as the list reports it).
void DoubleClickRow(TkvResultList& list, int row);

}  // namespace tabrix::test
