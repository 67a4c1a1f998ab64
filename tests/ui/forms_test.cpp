// The options dialog, the about box, the result list's log lines, the Qt
// filter texts and the handler guard.

#include "core/error.h"
#include "core/option_table.h"
#include "ui/frm_about.h"
#include "ui/frm_cfg.h"
#include "ui/frm_main.h"
#include "ui/handler_guard.h"
#include "ui/images.h"
#include "ui/qt_file_dialogs.h"
#include "ui/result_list.h"
#include "window_fixture.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextCursor>
#include <QTreeWidget>

#include <stdexcept>

using tabrix::test::ClickAction;
using tabrix::test::readFile;
using tabrix::test::WhenModal;
using tabrix::test::WindowTest;

namespace {

TkvFrmCfg* Cfg(QWidget* modal) { return qobject_cast<TkvFrmCfg*>(modal); }

}  // namespace

TEST_F(WindowTest, OptionsDialogOkAppliesAndCancelKeeps) {
  TkvFrmMain& w = Window();
  w.eSource->setText("/typed/*.xls");  // not saved anywhere yet
  project->SetOptionValue("ThreadsCount", "2");

  QString shown;
  WhenModal([&](QWidget* modal) {
    TkvFrmCfg* cfg = Cfg(modal);
    ASSERT_NE(cfg, nullptr);
    shown = cfg->txtCfg->toPlainText();
    cfg->txtCfg->setPlainText("Source=/typed/*.xls\nSubdir=True\nTarget=/new/\nThreadsCount=3");
    cfg->btnOk->click();
  });
  ASSERT_TRUE(ClickAction(w, "aConfig"));
  EXPECT_TRUE(shown.contains("Source=/typed/*.xls")) << shown.toStdString();
  EXPECT_TRUE(shown.contains("ThreadsCount=2")) << shown.toStdString();
  EXPECT_TRUE(w.cSubdir->isChecked());
  EXPECT_EQ(w.eTarget->text(), "/new/");
  EXPECT_EQ(project->ThreadsCount(), 3);

  // Cancel after editing: nothing changes; the next showing starts afresh.
  WhenModal([&](QWidget* modal) {
    Cfg(modal)->txtCfg->setPlainText("Subdir=False");
    Cfg(modal)->btnCancel->click();
  });
  ASSERT_TRUE(ClickAction(w, "aConfig"));
  EXPECT_TRUE(w.cSubdir->isChecked());
  EXPECT_EQ(project->ThreadsCount(), 3);
  WhenModal([&](QWidget* modal) {
    shown = Cfg(modal)->txtCfg->toPlainText();
    // An empty text leaves the project without options.
    Cfg(modal)->txtCfg->clear();
    Cfg(modal)->btnOk->click();
  });
  ASSERT_TRUE(ClickAction(w, "aConfig"));
  EXPECT_TRUE(shown.contains("Subdir=True")) << shown.toStdString();
  EXPECT_EQ(project->OptionsText(), "");
  EXPECT_EQ(w.eSource->text(), "");
  EXPECT_FALSE(w.cSubdir->isChecked());
  EXPECT_EQ(w.eTarget->text(), "");
  // The same dialog is reused.
  EXPECT_EQ(w.findChildren<TkvFrmCfg*>().size(), 1);

  TkvFrmCfg* cfg = w.ConfigDialog();
  EXPECT_EQ(cfg->windowTitle(), "Config");
  EXPECT_EQ(cfg->size(), QSize(712, 273));
  EXPECT_EQ(cfg->btnOk->text(), "&Ok");
  EXPECT_EQ(cfg->txtCfg->geometry(), QRect(16, 16, 256, 200));
  links->clear();
  const int help = info->Count("H");
  cfg->btnHelp->click();
  EXPECT_EQ(*links, QStringList{info->BuildLink("h", "", "")});
  EXPECT_EQ(info->Count("H"), help);  // only the main window's Help counts
}

TEST_F(WindowTest, OptionsDialogListsTheKnownKeysAndShowsWarnings) {
  TkvFrmMain& w = Window();
  QStringList keys;
  QString inserted, warned, text;
  bool stayed = false;
  WhenModal([&](QWidget* modal) {
    TkvFrmCfg* cfg = Cfg(modal);
    ASSERT_NE(cfg, nullptr);
    auto* list = modal->findChild<QTreeWidget*>("lstKeys");
    auto* warnings = modal->findChild<QLabel*>("lblWarnings");
    ASSERT_TRUE(list && warnings);
    for (int i = 0; i < list->topLevelItemCount(); ++i) keys << list->topLevelItem(i)->text(0);
    cfg->txtCfg->setPlainText("Subdir=yes\n");
    cfg->txtCfg->moveCursor(QTextCursor::End);
    const QList<QTreeWidgetItem*> source = list->findItems("Source", Qt::MatchExactly);
    ASSERT_EQ(source.size(), 1);
    emit list->itemDoubleClicked(source.first(), 0);
    inserted = cfg->txtCfg->toPlainText();
    cfg->txtCfg->setPlainText("Sorce=/in/*.xls\nSubdir=yes");
    cfg->btnOk->click();
    stayed = cfg->isVisible();
    warned = warnings->text();
    cfg->btnOk->click();  // the same text again: closes
  });
  ASSERT_TRUE(ClickAction(w, "aConfig"));
  EXPECT_EQ(keys.size(), int(TkvOptionTable().size()));
  EXPECT_TRUE(keys.contains("ThreadsCount") && keys.contains("Source2"));
  EXPECT_EQ(inserted, "Subdir=yes\nSource=");
  EXPECT_TRUE(stayed) << "the warnings are shown in the dialog";
  EXPECT_TRUE(warned.contains("unknown option 'Sorce' (did you mean Source?)"))
      << warned.toStdString();
  EXPECT_TRUE(warned.contains("Subdir=yes is not True or False: False is used"));
  EXPECT_FALSE(w.ConfigDialog()->isVisible());
  EXPECT_EQ(project->OptionValue("Sorce"), "/in/*.xls") << "applied as written";
}

TEST_F(WindowTest, AboutBoxStartUpStepShowsNothing) {
  TkvFrmMain& w = Window();
  TkvFrmTabrixAbout about(&w);
  w.SetAboutBox(&about);
  about.ShowAbout();  // the start-up call
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.ShowCount(), 1);
  EXPECT_DOUBLE_EQ(w.windowOpacity(), 1.0);
  EXPECT_FALSE(w.testAttribute(Qt::WA_DontShowOnScreen));
}

TEST_F(WindowTest, AboutBoxMakesThePureConsoleWindowInvisible) {
  StartProgram("/P:PureConsole=True,Source=http://example.invalid/a.xls,Target=/tmp/");
  TkvFrmMain& w = Window();
  TkvFrmTabrixAbout about(&w);
  about.ShowAbout();
  EXPECT_DOUBLE_EQ(w.windowOpacity(), 0.0);
  EXPECT_TRUE(w.testAttribute(Qt::WA_DontShowOnScreen));
  w.show();  // still shown as far as the window's logic goes
  EXPECT_TRUE(w.Shown());
}

TEST_F(WindowTest, AboutBoxTextsAndClosing) {
  TkvProfile profile = project->Profile();
  profile.Title = "Tabrix & Sons";
  project->SetProfile(profile);
  TkvFrmMain& w = Window();
  TkvFrmTabrixAbout about(&w);
  w.SetAboutBox(&about);
  about.ShowAbout();

  EXPECT_TRUE(about.windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_NEAR(about.windowOpacity(), 200.0 / 255.0, 0.01);
  EXPECT_EQ(about.size(), QSize(472, 243));
  EXPECT_EQ(about.palette().color(QPalette::Window), QColor(0, 85, 255));
  EXPECT_EQ(about.img->geometry(), QRect(16, 16, 128, 128));
  EXPECT_FALSE(about.img->pixmap().isNull());

  // Shown by the About action; a click anywhere closes it.
  QString product, version;
  WhenModal([&](QWidget* modal) {
    ASSERT_EQ(modal, &about);
    product = about.lblProduct->text();
    version = about.lblVersion->text();
    // The click lands on a label: it reaches the box.
    const QPoint inLabel = about.lblProduct->geometry().center();
    QWidget* hit = about.childAt(inLabel);
    QWidget* receiver = hit ? hit : &about;
    QMouseEvent press(QEvent::MouseButtonPress, receiver->mapFrom(&about, inLabel),
                      about.mapToGlobal(inLabel), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, receiver->mapFrom(&about, inLabel),
                        about.mapToGlobal(inLabel), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&about, &press);
    QApplication::sendEvent(&about, &release);
  });
  ASSERT_TRUE(ClickAction(w, "aAbout"));
  EXPECT_FALSE(about.isVisible());
  // Plain text: the "&" is shown as itself, not taken as an accelerator.
  EXPECT_EQ(product, "Tabrix & Sons");
  EXPECT_EQ(about.lblProduct->textFormat(), Qt::PlainText);
  EXPECT_EQ(about.lblProduct->buddy(), nullptr);
  EXPECT_EQ(version, "2025.17.420.2053");
  EXPECT_FALSE(about.lblCopright->text().isEmpty());

  // Again: any key closes it; the texts are not refilled.
  profile.Title = "Changed";
  project->SetProfile(profile);
  WhenModal([&](QWidget* modal) {
    QKeyEvent key(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
    QApplication::sendEvent(modal, &key);
  });
  ASSERT_TRUE(ClickAction(w, "aAbout"));
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.lblProduct->text(), "Tabrix & Sons");
  EXPECT_EQ(about.ShowCount(), 5);  // start-up + 2 calls + 2 showings
}

TEST(ResultList, RowsAndLogLines) {
  tabrix::test::EnsureApplication();
  TkvImageList images;
  TkvResultList list(images, nullptr);
  tabrix::test::ScopedTempDir temp;

  // Empty list: empty file (replacing an old one).
  const QString log = temp.write("run.log", "old contents");
  list.SaveList(log);
  EXPECT_TRUE(readFile(log).isEmpty());

  // A result may arrive before the listing of its item: rows stay in index order.
  list.SetItemResult(1, "/in/b.xls", "/out/b.pdf", 1);
  list.ShowItem(0, "/in/a.xls", 0);
  list.ShowItem(1, "/in/b.xls", 0);  // never takes back a result
  list.ShowItem(2, "/in/c.xls", 0);
  list.SetItemResult(2, "/in/c.xls", "Cannot open\r\nsecond line", 2);
  EXPECT_EQ(list.RowCount(), 3);
  EXPECT_EQ(list.RowStatus(1), 1);
  EXPECT_EQ(list.topLevelItem(2)->text(TkvResultList::ResultColumn), "Cannot open");
  EXPECT_EQ(list.LogLines(),
            QStringList({"[Running] => /in/a.xls => ", "[Success] => /in/b.xls => /out/b.pdf",
                         "[Failure] => /in/c.xls => Cannot open"}));
  list.SaveList(log);
  EXPECT_EQ(readFile(log),
            "[Running] => /in/a.xls => \r\n[Success] => /in/b.xls => /out/b.pdf\r\n"
            "[Failure] => /in/c.xls => Cannot open\r\n");

  // A path with "%1" stays as it is.
  list.ShowItem(3, "/in/%1 %2.xls", 0);
  EXPECT_EQ(list.LogLine(3), "[Running] => /in/%1 %2.xls => ");

  // An unwritable log file is an error naming it.
  try {
    list.SaveList(temp.file("no/such/folder/run.log"));
    FAIL() << "no error";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains("no/such/folder")) << e.Message().toStdString();
  }
}

TEST(QtFileDialogs, FilterTexts) {
  EXPECT_EQ(TkvQtNameFilters("Excel Workbook (*.xls;*.xlsx)|*.xls;*.xlsx"),
            QStringList{"Excel Workbook (*.xls *.xlsx)"});
  EXPECT_EQ(
      TkvQtNameFilters("Tabrix Project|*.batch-tabrix|Excel Workbook (*.xls;*.xlsx)|*.xls;*.xlsx"),
      QStringList({"Tabrix Project (*.batch-tabrix)", "Excel Workbook (*.xls *.xlsx)"}));
  EXPECT_EQ(TkvQtNameFilters("Log File|*.log"), QStringList{"Log File (*.log)"});
  EXPECT_TRUE(TkvQtNameFilters("").isEmpty());
}

TEST_F(WindowTest, EscapingErrorsBecomeReports) {
  links->clear();
  TkvGuarded([] { throw TkvError("broken handler"); });
  TkvGuarded([] { throw std::runtime_error("std failure"); });
  ASSERT_EQ(links->size(), 2);
  EXPECT_TRUE(links->at(0).contains("broken handler")) << links->at(0).toStdString();
  EXPECT_TRUE(links->at(1).contains("std failure")) << links->at(1).toStdString();
  EXPECT_EQ(info->Count("E"), 2);
}
