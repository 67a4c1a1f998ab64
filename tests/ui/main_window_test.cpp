// The main window on the offscreen platform: components, bound controls,
// project commands, recent projects, pickers, drops and links.

#include "batch/batch.h"
#include "support/scoped_temp_dir.h"
#include "ui/action_button.h"
#include "ui/frm_main.h"
#include "ui/result_list.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using tabrix::test::ChooseFromMenu;
using tabrix::test::ClickAction;
using tabrix::test::ClickMenuItem;
using tabrix::test::ClickOn;
using tabrix::test::DropFiles;
using tabrix::test::OpenContextMenu;
using tabrix::test::readFile;
using tabrix::test::WindowTest;

namespace {

QString ProjectText(const QString& source, const QString& target, bool subdir) {
  return QStringLiteral("Source=%1\r\nSubdir=%2\r\nTarget=%3\r\n")
      .arg(source, subdir ? "True" : "False", target);
}

}  // namespace

TEST_F(WindowTest, ComponentsByNameAndButtonsFollowingTheirActions) {
  StartProgram("/P:Subdir=False");
  TkvFrmMain& w = Window();
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - None");
  EXPECT_EQ(w.size(), QSize(1200, 600));

  for (const char* name :
       {"ToolBar",  "pAction",  "pSource", "pTarget",        "pOthers",    "pSpacer",
        "pViewer",  "eSource",  "cSubdir", "eTarget",        "bSource",    "bSourceFile",
        "bSearch",  "bTarget",  "bView",   "bSearchConvert", "bCreate",    "lViewer",
        "pm1",      "pm2",      "tbOpen",  "tbNew",          "tbConfig",   "tbSave",
        "tbSaveAs", "tbUpdate", "tbHelp",  "tbHomePage",     "tbSupports", "tbAbout"}) {
    EXPECT_NE(w.findChild<QObject*>(name), nullptr) << name;
  }
  // The bound controls name their property and show no hint.
  EXPECT_EQ(w.eSource->property("hint").toString(), "Text");
  EXPECT_EQ(w.cSubdir->property("hint").toString(), "Checked");
  EXPECT_EQ(w.eTarget->property("hint").toString(), "Text");
  EXPECT_TRUE(w.eSource->toolTip().isEmpty());
  EXPECT_EQ(w.cSubdir->text(), "Su&b folders");

  // Buttons show their actions; Start is hidden, and so is its button.
  EXPECT_EQ(w.bCreate->Action(), w.aConvert);
  EXPECT_EQ(w.bSearchConvert->Action(), w.aSearchConvert);
  EXPECT_TRUE(w.bSearchConvert->isHidden());
  EXPECT_FALSE(w.bCreate->isHidden());
  // Re-assigning a visible action shows the button and takes the caption.
  w.bSearchConvert->SetAction(w.aStop);
  EXPECT_FALSE(w.bSearchConvert->isHidden());
  EXPECT_EQ(w.bSearchConvert->text(), "Sto&p");
  w.aStop->setEnabled(false);
  EXPECT_FALSE(w.bSearchConvert->isEnabled());
  w.bSearchConvert->SetAction(w.aSearchConvert);
  EXPECT_TRUE(w.bSearchConvert->isHidden());
  EXPECT_EQ(w.bSearchConvert->actions().size(), 1);  // no menu arrow from old actions

  // Toolbar order, with the Open drop-down.
  QStringList order;
  for (QAction* a : w.ToolBar->actions()) order << a->objectName();
  EXPECT_EQ(order, QStringList({"aOpen", "aNew", "aConfig", "aSave", "aSaveAs", "tb1", "aUpdate",
                                "tb2", "aHelp", "aHomePage", "aSupports", "aAbout"}));
  auto* tbOpen = w.findChild<QToolButton*>("tbOpen");
  EXPECT_EQ(tbOpen->menu(), w.pm2);
  EXPECT_EQ(tbOpen->width(), 101);
}

TEST_F(WindowTest, BoundControlsFollowOptionsBothWays) {
  // Options given on the command line fill the controls at creation.
  StartProgram("/P:Source=/data/in/*.xls,Subdir=True");
  TkvFrmMain& w = Window();
  EXPECT_EQ(w.eSource->text(), "/data/in/*.xls");
  EXPECT_TRUE(w.cSubdir->isChecked());
  EXPECT_EQ(w.eTarget->text(), "/data/in/");
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - None");

  // Controls into options.
  w.eSource->setText("/other/*.xlsx");
  w.cSubdir->setChecked(false);
  w.eTarget->setText("/out/");
  project->CollectFromControls();
  EXPECT_EQ(project->Source(), "/other/*.xlsx");
  EXPECT_FALSE(project->Subdir());
  EXPECT_EQ(project->Target(), "/out/");

  // Options into controls.
  project->SetOptionsText("Subdir=True\r\nTarget=/t/\r\n");
  project->ApplyToControls();
  EXPECT_TRUE(w.cSubdir->isChecked());
  EXPECT_EQ(w.eTarget->text(), "/t/");
  EXPECT_EQ(w.eSource->text(), "");
}

TEST_F(WindowTest, ProjectCommandsThroughScriptedDialogs) {
  TkvFrmMain& w = Window();
  // Without arguments the project is the default file beside the program.
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + temp.file("bin/tabrix.batch-tabrix"));
  ASSERT_TRUE(ClickAction(w, "aNew"));
  w.eSource->setText("/in/*.xls?");
  w.cSubdir->setChecked(true);
  w.eTarget->setText("/out/");

  // Save without a file name asks for one; cancel writes nothing.
  dialogs->Answer(std::nullopt);
  ASSERT_TRUE(ClickAction(w, "aSave"));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - None");
  ASSERT_EQ(dialogs->calls.size(), 1u);
  EXPECT_EQ(dialogs->calls[0].kind, "save");

  const QString file = temp.file("first.batch-tabrix");
  dialogs->Answer(file);
  ASSERT_TRUE(ClickAction(w, "aSave"));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + file);
  const QString saved = QString::fromUtf8(readFile(file));
  EXPECT_TRUE(saved.contains("Source=/in/*.xls?\r\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("Subdir=True\r\n")) << saved.toStdString();
  EXPECT_TRUE(saved.contains("Target=/out/\r\n")) << saved.toStdString();

  // Save again: no dialog, the controls' new values are written.
  w.eTarget->setText("/elsewhere/");
  ASSERT_TRUE(ClickAction(w, "aSave"));
  EXPECT_EQ(dialogs->calls.size(), 2u);
  EXPECT_TRUE(QString::fromUtf8(readFile(file)).contains("Target=/elsewhere/\r\n"));
  EXPECT_EQ(project->RecentProjects(), QStringList{file});

  // New empties everything.
  ASSERT_TRUE(ClickAction(w, "aNew"));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - None");
  EXPECT_EQ(w.eSource->text(), "");
  EXPECT_FALSE(w.cSubdir->isChecked());
  EXPECT_EQ(w.eTarget->text(), "");

  // Open: cancel changes nothing; a chosen project fills the controls.
  dialogs->Answer(std::nullopt);
  ASSERT_TRUE(ClickAction(w, "aOpen"));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - None");
  dialogs->Answer(file);
  ASSERT_TRUE(ClickAction(w, "aOpen"));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + file);
  EXPECT_EQ(w.eSource->text(), "/in/*.xls?");
  EXPECT_TRUE(w.cSubdir->isChecked());
  EXPECT_EQ(w.eTarget->text(), "/elsewhere/");
  EXPECT_EQ(dialogs->calls.back().kind, "open");
  EXPECT_TRUE(dialogs->calls.back().filter.startsWith("Tabrix Project|*.batch-tabrix|"));

  // Save As under a new name.
  const QString second = temp.file("second.batch-tabrix");
  dialogs->Answer(second);
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + second);
  EXPECT_TRUE(QFile::exists(second));
  EXPECT_EQ(project->RecentProjects(), QStringList({second, file}));
}

TEST_F(WindowTest, FailedSaveIsNamedAndTheWindowCarriesOn) {
  TkvFrmMain& w = Window();
  const int errorsBefore = info->Count("E");
  const QString unwritable = temp.file("missing-folder/x.batch-tabrix");
  dialogs->Answer(unwritable);
  links->clear();
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));  // must not throw out of the action
  // Named in the status bar, not sent as a problem report.
  EXPECT_EQ(info->Count("E"), errorsBefore);
  EXPECT_TRUE(links->isEmpty());
  EXPECT_TRUE(w.statusBar()->currentMessage().contains("missing-folder"))
      << w.statusBar()->currentMessage().toStdString();
  EXPECT_FALSE(QFile::exists(unwritable));
}

TEST_F(WindowTest, RecentProjectsMenuGreysOutMissingFiles) {
  const QString kept =
      temp.write("a & b.batch-tabrix", ProjectText("/k/*.xls", "/k/", false).toUtf8());
  const QString gone =
      temp.write("gone.batch-tabrix", ProjectText("/g/*.xls", "/g/", true).toUtf8());
  project->AddRecentProject(gone);
  project->AddRecentProject(kept);
  QFile::remove(gone);

  TkvFrmMain& w = Window();
  // Opening the Open button's drop-down fills it.
  w.pm2->popup(w.mapToGlobal(QPoint(0, 0)));
  w.pm2->close();
  const QList<QAction*> items = w.pm2->actions();
  ASSERT_EQ(items.size(), 2);
  EXPECT_EQ(items[0]->data().toString(), kept);
  EXPECT_TRUE(items[0]->isEnabled());
  EXPECT_EQ(items[1]->data().toString(), gone);
  EXPECT_FALSE(items[1]->isEnabled());

  // Rebuilt on every opening, not appended to; the path holds "&": the
  // click must still find it.
  w.pm2->popup(w.mapToGlobal(QPoint(0, 0)));
  ASSERT_EQ(w.pm2->actions().size(), 2);
  ASSERT_TRUE(ClickMenuItem(*w.pm2, w.pm2->actions().first()));
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + kept);
  EXPECT_EQ(w.eSource->text(), "/k/*.xls");
}

TEST_F(WindowTest, StatusBarSaysWhatWouldOtherwiseSurprise) {
  TkvFrmMain& w = Window();
  EXPECT_FALSE(w.lViewer->headerItem()->toolTip(0).isEmpty()) << "the \"@\" column";

  // A project that closes the window at the end of its run says so on opening.
  const QString closing = temp.write("closing.batch-tabrix", "RunAndClose=True\r\n");
  dialogs->Answer(closing);
  ASSERT_TRUE(ClickAction(w, "aOpen"));
  EXPECT_TRUE(w.statusBar()->currentMessage().contains("will close when its run ends"))
      << w.statusBar()->currentMessage().toStdString();

  // View with no program to open the folder.
  shellOpens = false;
  w.eTarget->setText(temp.path());
  ASSERT_TRUE(ClickAction(w, "aView"));
  EXPECT_EQ(shellOpened, QStringList{temp.path()});
  EXPECT_TRUE(w.statusBar()->currentMessage().startsWith("No program to open " + temp.path()))
      << w.statusBar()->currentMessage().toStdString();
}

TEST_F(WindowTest, DropRules) {
  const QString proj = temp.write("p.batch-tabrix", ProjectText("/p/*.xls", "/pt/", true).toUtf8());
  const QString proj2 =
      temp.write("q.batch-tabrix", ProjectText("/q/*.xls", "/qt/", false).toUtf8());
  const QString a = temp.write("in/a.xls", "x");
  const QString b = temp.write("in/b.xlsx", "x");
  const QString c = temp.write("in/sub/c.xls", "x");
  TkvFrmMain& w = Window();
  QWidget* list = w.lViewer->viewport();

  // Files on the list: a new batch with every file, target defaults to the first folder.
  DropFiles(list, {a, b, c});
  ASSERT_NE(w.Batch(), nullptr);
  EXPECT_EQ(w.Batch()->ItemCount(), 3);
  ASSERT_EQ(w.lViewer->RowCount(), 3);
  EXPECT_EQ(w.lViewer->topLevelItem(2)->text(1), c);
  EXPECT_EQ(w.eTarget->text(), temp.file("in/"));
  TkvBatch* first = w.Batch();

  // One project file on the list opens it and leaves the list alone.
  DropFiles(list, {proj});
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + proj);
  EXPECT_EQ(w.eSource->text(), "/p/*.xls");
  EXPECT_TRUE(w.cSubdir->isChecked());
  EXPECT_EQ(w.Batch(), first);
  EXPECT_EQ(w.lViewer->RowCount(), 3);

  // Two project files on the list are two items.
  DropFiles(list, {proj, proj2});
  EXPECT_EQ(w.lViewer->RowCount(), 2);
  EXPECT_EQ(w.lViewer->topLevelItem(0)->text(1), proj);

  // Several files on the target box: the first path only.
  DropFiles(w.eTarget, {c, a, b});
  EXPECT_EQ(w.eTarget->text(), c);

  // Files on the source box with an empty target: the target defaults.
  w.eTarget->clear();
  DropFiles(w.eSource, {b});
  EXPECT_EQ(w.eSource->text(), b);
  EXPECT_EQ(w.eTarget->text(), temp.file("in/"));

  // A project file on an edit box opens it too.
  DropFiles(w.eTarget, {proj2});
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + proj2);
  EXPECT_EQ(w.eTarget->text(), "/qt/");

  // A button or the toolbar takes nothing.
  DropFiles(w.bSource, {a});
  DropFiles(w.ToolBar, {proj});
  DropFiles(w.bSearch, {proj});
  EXPECT_EQ(w.windowTitle(), "Tabrix Converter - " + proj2);
  EXPECT_EQ(w.eSource->text(), "/q/*.xls");
  EXPECT_EQ(w.lViewer->RowCount(), 2);
}

TEST_F(WindowTest, SourceAndTargetPickers) {
  TkvFrmMain& w = Window();
  const QString in = temp.file("in");
  const QString a = temp.write("in/a.xls", "x");
  const QString b = temp.write("in/b.xls", "x");
  const QString c = temp.write("other/c.xls", "x");

  // Folder chosen: folder + mask, and the empty target follows.
  dialogs->Answer(in);
  ASSERT_TRUE(ClickOn(w, "bSource"));
  EXPECT_EQ(w.eSource->text(), in + "/*.xls?");
  EXPECT_EQ(w.eTarget->text(), in + "/");
  // Cancelled: the folder part of the old text plus the mask.
  w.eSource->setText(temp.file("other/c.xls"));
  w.eTarget->setText("/keep/");
  dialogs->Answer(std::nullopt);
  ASSERT_TRUE(ClickOn(w, "bSource"));
  EXPECT_EQ(dialogs->calls.back().name, temp.file("other/"));
  EXPECT_EQ(w.eSource->text(), temp.file("other/*.xls?"));
  EXPECT_EQ(w.eTarget->text(), "/keep/");  // a target is never replaced
  // Cancelled with nothing to keep: nothing points at the root folder.
  w.eSource->clear();
  w.eTarget->clear();
  dialogs->Answer(std::nullopt);
  ASSERT_TRUE(ClickOn(w, "bSource"));
  EXPECT_EQ(w.eSource->text(), "");
  EXPECT_EQ(w.eTarget->text(), "");

  // Files: the dialog gets the filter and the source with "?" (replaced by the dialog).
  w.eSource->setText(in + "/*.xls?");
  dialogs->Answer(a + "\r\n" + b + "\r\n" + c + "\r\n");
  ASSERT_TRUE(ClickOn(w, "bSourceFile"));
  EXPECT_EQ(dialogs->calls.back().filter, "Excel Workbook (*.xls;*.xlsx)|*.xls;*.xlsx");
  EXPECT_EQ(dialogs->calls.back().name, in + "/*.xls?");
  EXPECT_TRUE(dialogs->calls.back().several);
  EXPECT_EQ(w.eSource->text(), in + "/*.xls?");  // several files: unchanged
  ASSERT_EQ(w.lViewer->RowCount(), 3);
  EXPECT_EQ(w.lViewer->topLevelItem(2)->text(1), c);
  EXPECT_EQ(w.Batch()->ItemCount(), 3);
  // One file: it becomes the source; a new batch replaces the old list.
  dialogs->Answer(b + "\r\n");
  ASSERT_TRUE(ClickOn(w, "bSourceFile"));
  EXPECT_EQ(w.eSource->text(), b);
  EXPECT_EQ(w.lViewer->RowCount(), 1);
  // Cancel keeps the list.
  ASSERT_TRUE(ClickOn(w, "bSourceFile"));
  EXPECT_EQ(w.lViewer->RowCount(), 1);
  // The list's "Browse Files" and a double-click on the source box open the same chooser.
  const size_t calls = dialogs->calls.size();
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm1, "BrowseFiles1"));
  QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(3, 3), QPointF(3, 3), Qt::LeftButton,
                  Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w.eSource, &dbl);
  ASSERT_EQ(dialogs->calls.size(), calls + 2);
  EXPECT_EQ(dialogs->calls.back().kind, "open");

  // Target folder: chosen gets a trailing delimiter; cancel keeps the text.
  dialogs->Answer(temp.file("out"));
  ASSERT_TRUE(ClickOn(w, "bTarget"));
  EXPECT_EQ(w.eTarget->text(), temp.file("out/"));
  ASSERT_TRUE(ClickOn(w, "bTarget"));
  EXPECT_EQ(w.eTarget->text(), temp.file("out/"));

  // View opens the target, or moves the focus to an empty box.
  ASSERT_TRUE(ClickOn(w, "bView"));
  EXPECT_EQ(shellOpened, QStringList{temp.file("out/")});
  w.eTarget->clear();
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm1, "ViewOutput1"));
  EXPECT_EQ(shellOpened.size(), 1);
}

TEST_F(WindowTest, ListMenuStatesAndOpeningTheSelection) {
  TkvFrmMain& w = Window();
  const QString a = temp.write("in/a.xls", "x");
  DropFiles(w.lViewer->viewport(), {a});
  // A right click on the list opens its menu; with no row selected the
  // source items are disabled and a click on them does nothing.
  QMenu* menu = OpenContextMenu(*w.lViewer);
  ASSERT_EQ(menu, w.pm1);
  EXPECT_FALSE(w.OpenSource1->isEnabled());
  EXPECT_FALSE(w.ViewSource1->isEnabled());
  EXPECT_FALSE(ClickMenuItem(*menu, w.OpenSource1));
  menu->close();
  EXPECT_TRUE(shellOpened.isEmpty());

  w.lViewer->topLevelItem(0)->setSelected(true);
  ASSERT_EQ(OpenContextMenu(*w.lViewer), w.pm1);
  EXPECT_TRUE(w.OpenSource1->isEnabled());
  EXPECT_TRUE(w.ViewSource1->isEnabled());
  EXPECT_TRUE(ClickMenuItem(*w.pm1, w.ViewSource1));
  ASSERT_EQ(OpenContextMenu(*w.lViewer), w.pm1);
  EXPECT_TRUE(ClickMenuItem(*w.pm1, w.OpenSource1));
  EXPECT_EQ(shellOpened, QStringList({temp.file("in/"), a}));

  // Export the List writes the rows as log lines.
  const QString log = temp.file("list.log");
  dialogs->Answer(log);
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm1, "ExportList1"));
  EXPECT_EQ(dialogs->calls.back().filter, "Log File|*.log");
  EXPECT_EQ(dialogs->calls.back().defaultExt, ".log");
  EXPECT_EQ(QString::fromUtf8(readFile(log)), "[Running] => " + a + " => \r\n");
  EXPECT_EQ(w.statusBar()->currentMessage(), "The list was exported to " + log);
}

TEST_F(WindowTest, DialogsStartWhereTheUserWorksNeverInTheProgramsFolder) {
  TkvFrmMain& w = Window();
  ASSERT_EQ(project->ProjectFileName(), temp.file("bin/tabrix.batch-tabrix"));
  const QString home = QDir::homePath() + "/";
  // Nothing chosen yet: the home folder, for the project beside the program
  // and for the list, which has no name of its own.
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));
  EXPECT_EQ(dialogs->calls.back().name, home + "tabrix.batch-tabrix");
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm1, "ExportList1"));
  EXPECT_EQ(dialogs->calls.back().name, home);
  // Then the last folder chosen in.
  QDir().mkpath(temp.file("work"));
  dialogs->Answer(temp.file("work/p.batch-tabrix"));
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));
  ASSERT_TRUE(ChooseFromMenu(w, *w.pm1, "ExportList1"));
  EXPECT_EQ(dialogs->calls.back().name, temp.file("work/"));
  w.eSource->clear();
  ASSERT_TRUE(ClickOn(w, "bSource"));
  EXPECT_EQ(dialogs->calls.back().name, temp.file("work"));
  EXPECT_EQ(w.eSource->text(), "");  // cancelled: nothing changes
  // A name with a folder of the user's own keeps it.
  ASSERT_TRUE(ClickAction(w, "aSaveAs"));
  EXPECT_EQ(dialogs->calls.back().name, temp.file("work/p.batch-tabrix"));
}

TEST_F(WindowTest, ProductLinks) {
  TkvFrmMain& w = Window();
  links->clear();
  const int help = info->Count("H");
  for (const char* action : {"aUpdate", "aHomePage", "aSupports"})
    EXPECT_TRUE(ClickAction(w, action)) << action;
  ASSERT_EQ(links->size(), 3);
  EXPECT_TRUE(links->at(0).contains("/download.htm")) << links->at(0).toStdString();
  EXPECT_TRUE(links->at(1).startsWith("http://")) << links->at(1).toStdString();
  EXPECT_TRUE(links->at(2).startsWith("mailto:")) << links->at(2).toStdString();

  // Help opens the manual beside the program and says when it cannot.
  const QString manual = temp.file("bin/tabrix.pdf");
  ASSERT_TRUE(ClickAction(w, "aHelp"));
  EXPECT_EQ(w.statusBar()->currentMessage(), "The help file " + manual + " was not found");
  temp.write("bin/tabrix.pdf", "%PDF-1.4");
  ASSERT_TRUE(ClickAction(w, "aHelp"));
  EXPECT_EQ(shellOpened, QStringList{manual});
  shellOpens = false;
  ASSERT_TRUE(ClickAction(w, "aHelp"));
  EXPECT_TRUE(
      w.statusBar()->currentMessage().startsWith("No program to show the help file " + manual))
      << w.statusBar()->currentMessage().toStdString();
  EXPECT_EQ(info->Count("H"), help + 3);
  EXPECT_EQ(links->size(), 3);
}
