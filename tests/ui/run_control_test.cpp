// The window's run control on the offscreen platform with real converter
// threads: rows while a search and four converters run, the action swaps,
// Pause / Stop / a new batch during a run, the end of a run and the
// automatic runs.

#include "batch/batch.h"
#include "run_support.h"
#include "ui/images.h"
#include "ui/result_list.h"
#include "ui/target_folder.h"
#include "window_fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QShowEvent>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using namespace tabrix::test;

namespace {

class RunControlTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    TkvUiTestConvertor::delayMs = 0;
  }

  // The window converting `source` to `target` with the test converter.
  TkvFrmMain& ConvertingWindow(const QString& source, const QString& target, int threads) {
    TkvFrmMain& w = Window();
    UseConvertor(*project, "TkvUiTestConvertor");
    project->SetOptionValue("ThreadsCount", QString::number(threads));
    w.eSource->setText(source);
    w.eTarget->setText(target);
    return w;
  }

  // The window's first showing (which starts an automatic run), without
  // putting it on screen: Qt paints on threads of its own whose locks
  // ThreadSanitizer cannot see. Closing it sets `closed`.
  void FirstShowing(TkvFrmMain& w) {
    closed = false;
    closeWatch = std::make_unique<CloseWatch>(&closed);
    w.installEventFilter(closeWatch.get());
    QShowEvent show;
    QApplication::sendEvent(&w, &show);
  }

  struct CloseWatch : QObject {
    explicit CloseWatch(bool* closed) : closed_(closed) {}
    bool eventFilter(QObject*, QEvent* e) override {
      if (e->type() == QEvent::Close) *closed_ = true;
      return false;
    }
    bool* closed_;
  };
  bool closed = false;
  std::unique_ptr<CloseWatch> closeWatch;

  // `count` workbooks in/f00.xls ...; the numbers in `failing` fail.
  void MakeFiles(int count, const QList<int>& failing = {}) {
    for (int i = 0; i < count; ++i)
      temp.write(
          QStringLiteral("in/f%1.xls").arg(i, 2, 10, QChar('0')),
          failing.contains(i) ? QByteArray("fail: locked by another user") : QByteArray("x"));
  }

  // "<icon> <result>" of the row showing `file` (the search lists in
  // directory order); empty when no row shows it.
  static QString RowOf(const TkvFrmMain& w, const QString& file) {
    for (int r = 0; r < w.lViewer->RowCount(); ++r)
      if (w.lViewer->topLevelItem(r)->text(TkvResultList::FileColumn) == file)
        return QString::number(w.lViewer->RowStatus(r)) + " " + w.lViewer->topLevelItem(r)->text(2);
    return {};
  }

  static int RowsWithStatus(const TkvFrmMain& w, int status) {
    int n = 0;
    for (int r = 0; r < w.lViewer->RowCount(); ++r) n += w.lViewer->RowStatus(r) == status;
    return n;
  }
};

TEST(TargetReduction, EndsInAFolderOrNothing) {
  ScopedTempDir temp;
  const QString file = temp.write("out/a.pdf", "x");
  EXPECT_EQ(TkvReduceTarget("/out/*.pdf"), "/out/");
  EXPECT_EQ(TkvReduceTarget(file), temp.file("out/"));
  EXPECT_EQ(TkvReduceTarget("/a?/b*/c/*.pdf"), "/");
  EXPECT_EQ(TkvReduceTarget("*"), "");
  EXPECT_EQ(TkvReduceTarget("/missing/x.pdf"), "/missing/x.pdf");  // becomes a folder
}

TEST_F(RunControlTest, RowsInIndexOrderWhileFourConvertersWorkThenIdleWithFigures) {
  MakeFiles(30, {7, 19});
  TkvUiTestConvertor::delayMs = 10;
  TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), temp.file("out/*.pdf"), 4);
  links->clear();
  const int runs = info->Count("C"), all = info->Count("A"), ok = info->Count("S"),
            bad = info->Count("F");

  ASSERT_TRUE(ClickAction(w, "aConvert"));
  // The target was cut back to a folder and created; the run is on.
  EXPECT_EQ(w.eTarget->text(), temp.file("out/"));
  EXPECT_TRUE(QFileInfo(temp.file("out")).isDir());
  ASSERT_TRUE(w.RunInProgress());
  EXPECT_TRUE(w.bCreate->Action() == w.aPause && w.aPause->isEnabled());
  EXPECT_TRUE(w.bSearchConvert->Action() == w.aStop && !w.bSearchConvert->isHidden());
  EXPECT_FALSE(w.aSearch->isEnabled());
  EXPECT_EQ(info->Count("C"), runs + 1);

  // Row i always shows item i, whatever order the threads finish in.
  bool progressSeen = false;
  TkvBatch* batch = w.Batch();
  ASSERT_TRUE(WaitFor([&] {
    for (int r = 0; r < w.lViewer->RowCount(); ++r)
      EXPECT_EQ(w.lViewer->topLevelItem(r)->text(TkvResultList::FileColumn),
                batch->ItemSnapshot(r).FileName)
          << r;
    if (w.RunInProgress() && w.lblProgress->text().contains(" skipped of ")) progressSeen = true;
    return Idle(w);
  }));
  EXPECT_TRUE(progressSeen);
  EXPECT_TRUE(w.bSearchConvert->isHidden() && w.aSearch->isEnabled());

  ASSERT_EQ(w.lViewer->RowCount(), 30);
  EXPECT_EQ(RowsWithStatus(w, 1), 28);
  EXPECT_EQ(RowOf(w, temp.file("in/f07.xls")), "2 fail: locked by another user");
  EXPECT_EQ(RowOf(w, temp.file("in/f03.xls")), "1 " + temp.file("out/f03.pdf"));
  EXPECT_EQ(w.lblProgress->text(), "28 converted, 2 failed, 0 skipped of 30");
  EXPECT_EQ(info->Count("A"), all + 30);
  EXPECT_EQ(info->Count("S"), ok + 28);
  EXPECT_EQ(info->Count("F"), bad + 2);
  ASSERT_EQ(links->size(), 1);  // one report for the one distinct failure
  EXPECT_TRUE(links->first().contains("locked")) << links->first().toStdString();

  // A finished batch is not converted again: Convert searches the source anew.
  temp.write("in/g.xls", "x");
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(w.lViewer->RowCount(), 31);
  EXPECT_EQ(RowOf(w, temp.file("in/g.xls")), "1 " + temp.file("out/g.pdf"));
  EXPECT_EQ(info->Count("A"), all + 61);
}

TEST_F(RunControlTest, WithoutMakerHostAFailedRunOpensNothingAndRowsOpenTheirPdfs) {
  makerHost.clear();
  StartProgram(QString());
  MakeFiles(3, {1});
  TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), temp.file("out/"), 2);
  EXPECT_FALSE(w.aUpdate->isEnabled());
  EXPECT_FALSE(w.aHomePage->isEnabled());
  EXPECT_FALSE(w.aSupports->isEnabled());
  EXPECT_EQ(w.aUpdate->text(), "Check &Update");  // the caption stays
  EXPECT_FALSE(w.SendReports1->isEnabled());
  links->clear();
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(info->Count("F"), 1);
  EXPECT_TRUE(links->isEmpty()) << links->join(' ').toStdString();

  // The hand-over carried the PDFs and pages: the tip counts them, a
  // double-click opens the PDF; a failed row opens nothing.
  int good = -1, bad = -1;
  for (int r = 0; r < w.lViewer->RowCount(); ++r) (w.lViewer->RowStatus(r) == 1 ? good : bad) = r;
  ASSERT_TRUE(good >= 0 && bad >= 0);
  const QString pdf = w.lViewer->RowFiles(good).value(0);
  EXPECT_TRUE(pdf.endsWith(".pdf") && QFileInfo::exists(pdf)) << pdf.toStdString();
  EXPECT_EQ(w.lViewer->topLevelItem(good)->toolTip(TkvResultList::ResultColumn), pdf + "\n1 page");
  EXPECT_EQ(w.lViewer->topLevelItem(bad)->toolTip(TkvResultList::ResultColumn),
            "fail: locked by another user");
  shellOpened.clear();
  DoubleClickRow(*w.lViewer, bad);
  EXPECT_TRUE(shellOpened.isEmpty());
  DoubleClickRow(*w.lViewer, good);
  EXPECT_EQ(shellOpened, QStringList{pdf});
}

TEST_F(RunControlTest, PauseResumesTheBatchAndStopForgetsIt) {
  MakeFiles(12);
  TkvUiTestConvertor::delayMs = 60;
  TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), temp.file("out/"), 2);
  const int ok = info->Count("S");
  const QRegularExpression converting("^Converting [1-9][0-9]* of 12\\+?$");

  w.ShowMessage("The list was exported to /old.log");
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  EXPECT_EQ(w.statusBar()->currentMessage(), "");  // a new run clears the old message
  ASSERT_TRUE(WaitFor([&] { return RowsWithStatus(w, 1) >= 1; }));
  EXPECT_TRUE(converting.match(w.lblState->text()).hasMatch()) << w.lblState->text().toStdString();
  TkvBatch* paused = w.Batch();
  ASSERT_TRUE(ClickAction(w, "aPause"));
  // Ending: the swapped buttons stay, disabled.
  EXPECT_TRUE(w.bCreate->Action() == w.aPause && !w.bCreate->isEnabled());
  EXPECT_TRUE(w.bSearchConvert->Action() == w.aStop && !w.bSearchConvert->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(w.Batch(), paused);
  EXPECT_FALSE(paused->Exhausted());
  const int doneAtPause = RowsWithStatus(w, 1);
  EXPECT_LT(doneAtPause, 12);
  EXPECT_EQ(info->Count("S"), ok + doneAtPause);
  // Paused is not idle: the state says where Convert goes on.
  EXPECT_EQ(w.lblState->text(),
            QStringLiteral("Paused: Convert resumes with file %1").arg(doneAtPause + 1));

  // Convert carries on with the same batch; its items are counted once.
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  EXPECT_EQ(w.Batch(), paused);
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(RowsWithStatus(w, 1), 12);
  EXPECT_EQ(info->Count("S"), ok + 12);

  // Stop: the batch is forgotten, its rows stay; Convert searches anew.
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return RowsWithStatus(w, 1) >= 1; }));
  ASSERT_TRUE(ClickAction(w, "aStop"));
  EXPECT_EQ(w.lblState->text(), "Stopping: the files in hand are finished first");
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(w.Batch(), nullptr);
  EXPECT_EQ(w.lViewer->RowCount(), 12);
  // What the run did not reach says so and counts as skipped.
  const int converted = RowsWithStatus(w, 1), left = RowsWithStatus(w, TkvImage::NotConverted);
  EXPECT_EQ(RowsWithStatus(w, 0), 0);
  EXPECT_GT(left, 0);
  EXPECT_EQ(converted + left, 12);
  EXPECT_EQ(w.lViewer->topLevelItem(11)->text(TkvResultList::ResultColumn), "Not converted");
  EXPECT_EQ(w.lViewer->topLevelItem(11)->data(0, Qt::AccessibleTextRole), "Not converted");
  EXPECT_EQ(w.lblState->text(), QStringLiteral("Stopped: %1 not converted").arg(left));
  EXPECT_EQ(w.lblProgress->text(),
            QStringLiteral("%1 converted, 0 failed, %2 skipped of 12").arg(converted).arg(left));
  TkvUiTestConvertor::delayMs = 0;
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_NE(w.Batch(), nullptr);
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(RowsWithStatus(w, 1), 12);
  EXPECT_EQ(w.lblState->text(), "Finished");
}

TEST_F(RunControlTest, NewBatchDuringARunAndClosingTheWindowMidRun) {
  MakeFiles(10);
  const QString x = temp.write("drop/x.xls", "x");
  const QString y = temp.write("drop/y.xls", "x");
  TkvUiTestConvertor::delayMs = 80;
  TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), temp.file("out/"), 2);

  // Files dropped during a run: the run stops, the list shows only the new
  // batch, and no late result of the old batch reaches it.
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return RowsWithStatus(w, 1) >= 1; }));
  DropFiles(w.lViewer->viewport(), {x, y});
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(w.lViewer->RowCount(), 2);
  EXPECT_EQ(RowsWithStatus(w, 0), 2);
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(RowOf(w, y), "1 " + temp.file("out/y.pdf"));

  // Closing mid-run asks first; destroying the window then stops the
  // converters and waits for them.
  ASSERT_TRUE(ClickAction(w, "aConvert"));  // the dropped batch is used up: searches in/
  ASSERT_TRUE(WaitFor([&] { return RowsWithStatus(w, 1) >= 1; }));
  w.setAttribute(Qt::WA_DontShowOnScreen);
  w.show();
  const auto answer = [](const char* button) {
    WhenModal([button](QWidget* box) {
      ASSERT_EQ(box->objectName(), "dlgCloseRun");
      box->findChild<QAbstractButton*>(button)->click();
    });
  };
  answer("btnCancel");
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible() && w.RunInProgress());
  answer("btnStopAndClose");
  EXPECT_TRUE(w.close());
  EXPECT_FALSE(w.isVisible());
  window.reset();
  const auto written = [&] { return QDir(temp.file("out")).entryList(QDir::Files).size(); };
  const qsizetype afterClose = written();
  QThread::msleep(300);
  EXPECT_EQ(written(), afterClose);
  EXPECT_LT(afterClose, 12);
}

TEST_F(RunControlTest, RunAndCloseWritesTheLogAndClosesEvenWhenTheLogFails) {
  const QString a = temp.write("in/a.xls", "x");
  const QString b = temp.write("in/b.xls", "fail: damaged\r\nsecond line");
  const QString log = temp.file("run.log");
  const auto automaticWindow = [&](const QString& logFile, const QString& target,
                                   const QString& convertor = "TkvUiTestConvertor") -> TkvFrmMain& {
    window.reset();
    TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), target, 1);
    UseConvertor(*project, convertor);
    project->SetOptionValue("RunAndClose", "True");
    project->SetOptionValue("LogFile", logFile);
    FirstShowing(w);
    return w;
  };

  automaticWindow(log, temp.file("out/"));
  ASSERT_TRUE(WaitFor([&] { return closed; }));
  EXPECT_EQ(QString::fromUtf8(readFile(log)), "[Success] => " + a + " => " +
                                                  temp.file("out/a.pdf") + "\r\n[Failure] => " + b +
                                                  " => fail: damaged\r\n");

  // A log file that cannot be written is shown; the window still closes.
  TkvFrmMain& w2 = automaticWindow(temp.file("no/such/folder/run.log"), temp.file("out/"));
  ASSERT_TRUE(WaitFor([&] { return closed; }));
  EXPECT_TRUE(w2.statusBar()->currentMessage().contains("no/such/folder"))
      << w2.statusBar()->currentMessage().toStdString();

  // An empty target: no run, an empty log, closed all the same.
  TkvFrmMain& w3 = automaticWindow(log, QString());
  ASSERT_TRUE(WaitFor([&] { return closed; }));
  EXPECT_EQ(w3.Batch(), nullptr);
  EXPECT_TRUE(readFile(log).isEmpty());

  // PureConsole with an address: the address is the only item, no search.
  window.reset();
  TkvFrmMain& web = ConvertingWindow("https://example.invalid/books/q1.xls", temp.file("out/"), 1);
  project->SetOptionValue("RunAndClose", "False");
  project->SetOptionValue("PureConsole", "True");
  FirstShowing(web);
  ASSERT_TRUE(WaitFor([&] { return closed; }));
  EXPECT_EQ(web.lViewer->RowCount(), 1);
  EXPECT_EQ(RowOf(web, "https://example.invalid/books/q1.xls").left(2), "1 ");

  // A converter class that cannot be made: reported, and the window closes.
  links->clear();
  TkvFrmMain& w4 = automaticWindow(log, temp.file("out/"), "NoSuchConvertor");
  ASSERT_TRUE(WaitFor([&] { return closed; }));
  ASSERT_EQ(links->size(), 1);
  EXPECT_TRUE(links->first().contains("NoSuchConvertor")) << links->first().toStdString();
  EXPECT_TRUE(Idle(w4));
}

// The window shown for real and the application's own loop run, as the
// program does: a run that ends at its start closes the window from the
// loop, and the loop ends with that close.
TEST_F(RunControlTest, AutomaticRunsStartFromTheEventLoopSoTheirCloseEndsIt) {
  temp.write("in/a.xls", "x");
  const QString log = temp.file("run.log");
  struct Case {
    const char* what;
    QString source, target, convertor;
  } cases[] = {
      {"no source", "", temp.file("out/"), "TkvUiTestConvertor"},
      {"an unusable target", temp.file("in/*.xls"), "*?", "TkvUiTestConvertor"},
      {"a web-address target", temp.file("in/*.xls"), "http://127.0.0.1:9/", "TkvUiTestConvertor"},
      {"a chain that cannot start", temp.file("in/*.xls"), temp.file("out/"), "NoSuchConvertor"},
  };
  for (const Case& c : cases) {
    window.reset();
    QFile::remove(log);
    TkvFrmMain& w = ConvertingWindow(c.source, c.target, 1);
    UseConvertor(*project, c.convertor);
    project->SetOptionValue("RunAndClose", "True");
    project->SetOptionValue("LogFile", log);
    w.show();
    EXPECT_FALSE(QFileInfo::exists(log)) << c.what << ": the run ended inside show()";
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QApplication::exit(2); });
    watchdog.start(10000);
    EXPECT_EQ(QApplication::exec(), 0) << c.what << ": the loop did not end with the window";
    EXPECT_FALSE(w.isVisible()) << c.what;
    EXPECT_TRUE(QFileInfo::exists(log)) << c.what;
  }
  EXPECT_FALSE(QFileInfo::exists(QDir::current().filePath("http:")));
}

TEST_F(RunControlTest, DaemonRepeatsPicksUpNewFilesResumesAfterPauseAndStops) {
  temp.write("in/a.xls", "x");
  temp.write("in/b.xls", "x");
  const QString log = temp.file("run.log");
  TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), temp.file("out/"), 1);
  project->SetOptionValue("Daemon", "200");
  project->SetOptionValue("LogFile", log);
  const int runs = info->Count("C");
  const auto logLines = [&] { return QString::fromUtf8(readFile(log)).count("[Success]"); };

  FirstShowing(w);
  ASSERT_TRUE(WaitFor([&] { return logLines() == 2; }));
  EXPECT_FALSE(closed);
  // A file added between two repetitions is converted by the next one.
  const QString c = temp.write("in/c.xls", "x");
  ASSERT_TRUE(WaitFor([&] { return logLines() == 3; }));
  EXPECT_TRUE(QFileInfo::exists(temp.file("out/c.pdf")));
  ASSERT_TRUE(WaitFor([&] { return info->Count("C") >= runs + 4; }));  // and again, on its own

  // Pause ends one repetition; the next one resumes that batch.
  for (int i = 0; i < 20; ++i) temp.write(QStringLiteral("in/p%1.xls").arg(i), "x");
  TkvUiTestConvertor::delayMs = 30;
  TkvBatch* paused = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    if (!w.RunInProgress() || w.lViewer->RowCount() < 23 || RowsWithStatus(w, 1) < 1) return false;
    paused = w.Batch();
    EXPECT_TRUE(ClickAction(w, "aPause"));
    return true;
  }));
  ASSERT_TRUE(WaitFor([&] { return !w.RunInProgress() && w.RepetitionPending(); }));
  EXPECT_LT(RowsWithStatus(w, 1), 23);
  ASSERT_TRUE(WaitFor([&] { return w.RunInProgress(); }));
  EXPECT_EQ(w.Batch(), paused);

  // Stop ends the repetitions; the window stays open.
  ASSERT_TRUE(ClickAction(w, "aStop"));
  ASSERT_TRUE(WaitFor([&] { return Idle(w) && !w.RepetitionPending(); }));
  const int after = info->Count("C");
  WaitFor([] { return false; }, 500);
  EXPECT_EQ(info->Count("C"), after);
  EXPECT_TRUE(Idle(w));
  EXPECT_FALSE(closed);
}

TEST_F(RunControlTest, ARunThatListsNothingSaysWhyInTheStatusBar) {
  TkvFrmMain& w = ConvertingWindow(temp.file("missing/*.xls?"), temp.file("out/"), 1);
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(w.lblProgress->text(), "The folder " + temp.file("missing") + " does not exist");
  temp.write("in/notes.txt", "not a workbook");
  w.eSource->setText(temp.file("in/*.xls?"));
  ASSERT_TRUE(ClickAction(w, "aConvert"));
  ASSERT_TRUE(WaitFor([&] { return Idle(w); }));
  EXPECT_EQ(w.lblProgress->text(), "No workbook matches " + temp.file("in/*.xls?"));
  // A folder as the source means its workbooks, listed in name order.
  const QString ten = temp.write("in/book_10.xls", "x"), two = temp.write("in/book_2.xls", "x");
  w.eSource->setText(temp.file("in"));
  ASSERT_TRUE(ClickAction(w, "aSearch"));
  ASSERT_TRUE(WaitFor([&] { return w.lblProgress->text() == "2 files found"; }))
      << w.lblProgress->text().toStdString();
  EXPECT_EQ(RowOf(w, two), "0 ");
  EXPECT_EQ(w.lViewer->topLevelItem(1)->text(TkvResultList::FileColumn), ten);
  EXPECT_TRUE(WaitFor([&] { return w.lblState->text().isEmpty(); }));
  QFile::remove(ten);
  QFile::remove(two);
  ASSERT_TRUE(ClickAction(w, "aSearch"));
  EXPECT_TRUE(WaitFor([&] {
    return w.lblProgress->text() == "No workbook matches " + temp.file("in/*.xls?");
  })) << w.lblProgress->text().toStdString();
  // Search alone says it too.
  w.eSource->setText(temp.file("gone/*.xls?"));
  ASSERT_TRUE(ClickAction(w, "aSearch"));
  EXPECT_TRUE(WaitFor([&] { return w.lblProgress->text().startsWith("The folder"); }))
      << w.lblProgress->text().toStdString();
}

TEST_F(RunControlTest, EmptyBoxesMoveTheFocusAndSayWhatIsMissingInsteadOfReporting) {
  TkvFrmMain& w = ConvertingWindow(temp.file("in/*.xls"), QString(), 1);
  w.show();
  w.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
  links->clear();
  const auto refused = [&](const char* action, QWidget* box, const QString& message) {
    w.bView->setFocus();
    ASSERT_TRUE(ClickAction(w, action));
    EXPECT_EQ(QApplication::focusWidget(), box) << action;
    EXPECT_EQ(w.statusBar()->currentMessage(), message) << action;
  };
  const QString noTarget = "The target is empty: choose a folder for the PDF files";
  refused("aSearch", w.eTarget, noTarget);
  refused("aConvert", w.eTarget, noTarget);
  w.eTarget->setText("*?");  // nothing left once cut back
  refused("aConvert", w.eTarget,
          "The target *? names no folder: choose a folder for the PDF files");
  w.eSource->clear();
  w.eTarget->setText(temp.file("out/"));
  refused("aConvert", w.eSource,
          "The source is empty: choose a folder or files, or type a web address");
  EXPECT_TRUE(links->isEmpty());
  EXPECT_EQ(w.Batch(), nullptr);
  EXPECT_TRUE(Idle(w));
}

}  // namespace
