// The window for desktop users on the offscreen platform: shortcuts and Alt
// letters, failures named in the status bar, the problem-report choice, the
// list's tips, accessible texts and double-click, and the layout kept
// between sessions.

#include "ui/action_button.h"
#include "ui/frm_main.h"
#include "ui/images.h"
#include "ui/result_list.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace tabrix::test;

namespace {

// Shown and active, so that window shortcuts and mnemonics apply.
TkvFrmMain& ActiveWindow(TkvFrmMain& w) {
  w.show();
  w.activateWindow();
  EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
  return w;
}

// How often `action` fired for one key press (a button's Alt letter
// clicks it after a short animation).
int Fired(QAction* action, QWidget* to, Qt::Key key, Qt::KeyboardModifiers modifiers) {
  QSignalSpy spy(action, &QAction::triggered);
  QTest::keyClick(to, key, modifiers);
  for (int i = 0; i < 40 && spy.count() == 0; ++i) QTest::qWait(10);
  return int(spy.count());
}

}  // namespace

TEST_F(WindowTest, ShortcutsAndAltLettersFireTheirActions) {
  TkvFrmMain& w = ActiveWindow(Window());
  const struct {
    QAction* action;
    Qt::Key key;
    Qt::KeyboardModifiers modifiers;
  } keys[] = {
      {w.aOpen, Qt::Key_O, Qt::ControlModifier},
      {w.aNew, Qt::Key_N, Qt::ControlModifier},
      {w.aSave, Qt::Key_S, Qt::ControlModifier},
      {w.aSaveAs, Qt::Key_S, Qt::ControlModifier | Qt::ShiftModifier},
      {w.aHelp, Qt::Key_F1, Qt::NoModifier},
      {w.aSearch, Qt::Key_F5, Qt::NoModifier},
      {w.aConvert, Qt::Key_Return, Qt::ControlModifier},
      // The toolbar's captions keep their letters, as in a menu.
      {w.aOpen, Qt::Key_O, Qt::AltModifier},
      {w.aNew, Qt::Key_N, Qt::AltModifier},
      {w.aSave, Qt::Key_V, Qt::AltModifier},
      {w.aSaveAs, Qt::Key_A, Qt::AltModifier},
      {w.aUpdate, Qt::Key_U, Qt::AltModifier},
      {w.aHelp, Qt::Key_H, Qt::AltModifier},
  };
  for (const auto& k : keys) {
    EXPECT_EQ(Fired(k.action, &w, k.key, k.modifiers), 1)
        << k.action->objectName().toStdString() << " "
        << QKeySequence(k.key | k.modifiers).toString().toStdString();
  }
  EXPECT_EQ(w.findChild<QToolButton*>("tbSaveAs")->text(), "Save &As");

  // Esc is Stop, which only a run (or a Daemon's wait) takes notice of.
  EXPECT_EQ(Fired(w.aStop, &w, Qt::Key_Escape, Qt::NoModifier), 1);
  EXPECT_FALSE(w.RunInProgress());

  // Enter in the source box searches.
  w.eSource->setFocus();
  EXPECT_EQ(Fired(w.aSearch, w.eSource, Qt::Key_Return, Qt::NoModifier), 1);

  // Tab goes through the toolbar's buttons and on to the source row.
  auto* tbOpen = w.findChild<QToolButton*>("tbOpen");
  tbOpen->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), tbOpen);
  QTest::keyClick(tbOpen, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w.findChild<QToolButton*>("tbNew"));
  auto* tbAbout = w.findChild<QToolButton*>("tbAbout");
  tbAbout->setFocus();
  QTest::keyClick(tbAbout, Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), w.eSource);

  // Ctrl+C on the list copies the selected rows; in a box, its text.
  w.lViewer->ShowItem(0, "/in/a.xls", 0);
  w.lViewer->SetItemResult(1, "/in/b.xls", "/out/b.pdf", 1);
  w.lViewer->SetItemResult(2, "/in/c.xls", "Cannot open", 2);
  for (int r : {0, 2}) w.lViewer->topLevelItem(r)->setSelected(true);
  w.lViewer->setFocus();
  QTest::keyClick(w.lViewer, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(),
            "Waiting\t/in/a.xls\t\nFailure\t/in/c.xls\tCannot open\n");
  w.eSource->setText("/typed/*.xls?");
  w.eSource->setFocus();
  w.eSource->selectAll();
  QTest::keyClick(w.eSource, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "/typed/*.xls?");

  // Ctrl+Q closes the window.
  EXPECT_EQ(Fired(w.aQuit, &w, Qt::Key_Q, Qt::ControlModifier), 1);
  EXPECT_FALSE(w.isVisible());
}

TEST_F(WindowTest, TipsCoverTheMessageOnlyWhileShownAndNeverTheRunState) {
  TkvFrmMain& w = Window();
  w.ShowMessage("The list was exported to /x.log");
  w.lblState->setText("Paused: Convert resumes with file 6");
  QStatusTipEvent tip("Convert the file(s) instantly");
  QApplication::sendEvent(w.bCreate, &tip);
  EXPECT_EQ(w.statusBar()->currentMessage(), "Convert the file(s) instantly");
  QStatusTipEvent gone{QString()};
  QApplication::sendEvent(w.bCreate, &gone);
  EXPECT_EQ(w.statusBar()->currentMessage(), "The list was exported to /x.log");
  EXPECT_EQ(w.lblState->text(), "Paused: Convert resumes with file 6");
}

TEST_F(WindowTest, FailuresAreNamedInTheStatusBarWithoutReports) {
  TkvFrmMain& w = Window();
  links->clear();
  const int errors = info->Count("E");
  const QString title = w.windowTitle(), name = project->ProjectFileName();

  // Save As into a folder that does not exist: named, and the title stays.
  const QString unwritable = temp.file("missing-folder/x.batch-tabrix");
  dialogs->Answer(unwritable);
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The project was not saved: "));
  EXPECT_TRUE(w.statusBar()->currentMessage().contains("missing-folder"))
      << w.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(w.windowTitle(), title);
  EXPECT_EQ(project->ProjectFileName(), name);

  // A saved project whose folder went away: Save names it, the title keeps the name.
  const QString saved = temp.file("gone/p.batch-tabrix");
  QDir().mkpath(temp.file("gone"));
  dialogs->Answer(saved);
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));
  ASSERT_EQ(w.windowTitle(), "Tabrix Converter - " + saved);
  QDir(temp.file("gone")).removeRecursively();
  w.statusBar()->clearMessage();
  ASSERT_TRUE(ClickAction(w, "aSave"));
  EXPECT_TRUE(w.statusBar()->currentMessage().contains("gone/p.batch-tabrix"))
      << w.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + saved);

  // Open of a project that cannot be read.
  w.statusBar()->clearMessage();
  dialogs->Answer(temp.file("absent.batch-tabrix"));
  ASSERT_TRUE(ClickAction(w, "aOpen"));
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The project was not opened: "))
      << w.statusBar()->currentMessage().toStdString();

  // Export the List into a folder that does not exist.
  dialogs->Answer(temp.file("no/such/list.log"));
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm1, "ExportList1"));
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("The list was not exported: "));
  EXPECT_TRUE(w.statusBar()->currentMessage().contains("no/such"))
      << w.statusBar()->currentMessage().toStdString();

  EXPECT_EQ(info->Count("E"), errors);
  EXPECT_TRUE(links->isEmpty()) << links->join(' ').toStdString();
}

TEST_F(WindowTest, SendProblemReportsIsTheUsersQuietChoice) {
  TkvFrmMain& w = Window();
  auto* tbHelp = w.findChild<QToolButton*>("tbHelp");
  EXPECT_EQ(tbHelp->menu(), w.pm3);
  EXPECT_EQ(w.SendReports1->text(), "Send problem reports");
  EXPECT_TRUE(w.SendReports1->isEnabled());
  EXPECT_TRUE(w.SendReports1->isChecked());
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm3, "SendReports1"));  // unticks
  EXPECT_TRUE(info->Quiet());
  links->clear();
  info->ReportFailures({"x"});
  EXPECT_TRUE(links->isEmpty());
  // Kept in the usage store for the next start.
  StartProgram(QString());
  EXPECT_TRUE(info->Quiet());
  TkvFrmMain& again = Window();
  EXPECT_FALSE(again.SendReports1->isChecked());
  ASSERT_TRUE(ChooseFromMenu(again, *again.pm3, "SendReports1"));
  EXPECT_FALSE(info->Quiet());
  EXPECT_TRUE(again.aHomePage->isEnabled());
}

TEST_F(WindowTest, ListTipsAccessibleTextsAndDoubleClick) {
  TkvFrmMain& w = ActiveWindow(Window());
  TkvResultList& list = *w.lViewer;
  const QString longPath = "/in/" + QString(300, u'x') + ".xls";
  list.ShowItem(0, longPath, 0);
  list.SetItemResult(1, "/in/b.xls", "/out/b.pdf", 1, {"/out/b.pdf"}, 3);
  list.SetItemResult(2, "/in/c.xls", "Cannot open\r\nsecond line", 2);
  EXPECT_EQ(list.topLevelItem(0)->toolTip(TkvResultList::FileColumn), longPath);
  EXPECT_EQ(list.topLevelItem(1)->toolTip(TkvResultList::ResultColumn), "/out/b.pdf\n3 pages");
  EXPECT_EQ(list.topLevelItem(2)->toolTip(TkvResultList::ResultColumn),
            "Cannot open\r\nsecond line");
  const char* states[] = {"Waiting", "Success", "Failure"};
  for (int r = 0; r < 3; ++r)
    EXPECT_EQ(
        list.topLevelItem(r)->data(TkvResultList::StateColumn, Qt::AccessibleTextRole).toString(),
        states[r]);
  // The model hands the texts to assistive technology and tool tips alike.
  const QModelIndex state = list.model()->index(2, TkvResultList::StateColumn);
  EXPECT_EQ(list.model()->data(state, Qt::AccessibleTextRole).toString(), "Failure");

  // The Result column reaches the list's right edge.
  QHeaderView* h = list.header();
  EXPECT_EQ(
      h->sectionPosition(TkvResultList::ResultColumn) + h->sectionSize(TkvResultList::ResultColumn),
      list.viewport()->width());

  // A double-click on a converted row opens its PDF; on the others nothing.
  QTest::qWait(20);  // the rows are laid out
  auto dclick = [&](int row) {
    const QRect r = list.visualItemRect(list.topLevelItem(row));
    ASSERT_FALSE(r.isEmpty()) << row;
    QSignalSpy spy(&list, &QTreeWidget::itemDoubleClicked);
    // What the window system delivers for a double-click.
    const QPointF at = r.center();
    const QPointF global = list.viewport()->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
      const bool down = type != QEvent::MouseButtonRelease;
      QMouseEvent e(type, at, global, Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                    Qt::NoModifier);
      QApplication::sendEvent(list.viewport(), &e);
    }
    EXPECT_EQ(spy.count(), 1) << row;
  };
  dclick(2);
  dclick(0);
  EXPECT_TRUE(shellOpened.isEmpty());
  dclick(1);
  EXPECT_EQ(shellOpened, QStringList{"/out/b.pdf"});
}

TEST_F(WindowTest, SizePositionAndColumnsAreKeptBetweenSessions) {
  {
    TkvFrmMain& w = Window();
    w.show();
    w.setGeometry(40, 50, 900, 500);
    w.lViewer->header()->resizeSection(TkvResultList::FileColumn, 222);
    w.close();
  }
  EXPECT_TRUE(QFile::exists(temp.file("config/tabrix/window.conf")));
  window.reset();
  TkvFrmMain& again = Window();
  again.show();
  EXPECT_EQ(again.size(), QSize(900, 500));
  EXPECT_EQ(again.lViewer->header()->sectionSize(TkvResultList::FileColumn), 222);
}

TEST_F(WindowTest, ALargerDesktopFontWidensButtonsAndPanelsInsteadOfClipping) {
  TkvFrmMain& w = Window();
  w.show();
  QFont large = w.font();
  large.setPointSizeF(large.pointSizeF() * 1.5 + 4);
  w.setFont(large);
  QApplication::processEvents();
  for (const char* name : {"tbOpen", "tbSaveAs", "tbUpdate", "tbHelp", "bSource", "bSourceFile",
                           "bTarget", "bSearch", "bCreate"}) {
    auto* b = w.findChild<QAbstractButton*>(name);
    ASSERT_NE(b, nullptr) << name;
    const QString caption = QString(b->text()).remove(u'&');
    EXPECT_GE(b->width(), b->fontMetrics().horizontalAdvance(caption)) << name;
  }
  for (QWidget* panel : {static_cast<QWidget*>(w.pSource), static_cast<QWidget*>(w.pTarget)})
    EXPECT_GE(panel->height(), panel->sizeHint().height()) << panel->objectName().toStdString();
  EXPECT_GE(w.pAction->height(), w.pSource->height() + w.pTarget->height());
}

TEST(ProductPicture, SharpAtTwoDevicePixelsPerPixel) {
  EnsureApplication();
  const QPixmap pix = TkvProductPicture(128, 2.0);
  EXPECT_EQ(pix.size(), QSize(256, 256));
  EXPECT_EQ(pix.deviceIndependentSize(), QSizeF(128, 128));
}
