// The unattended run in-process, with test converters on real files: log
// lines and file, usage counters, the failure report, Quiet, and the errors
// that end a run.

#include "app/unattended.h"
#include "app/unattended_progress.h"

#include "../convert/convertor_test_classes.h"
#include "core/error.h"
#include "core/text_file.h"
#include "support/test_globals.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace tabrix::test;

namespace {

class Unattended : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { RegisterTestConvertors(); }

  void Start(const QString& convertorClass, const QString& options, bool quiet = false) {
    if (quiet) tmp_.write(QStringLiteral("bin/tabrix.ext"), "+=True\r\n");
    globals_ = std::make_unique<TestGlobals>(tmp_, convertorClass);
    globals_->project->SetOptionsText(options);
    main_ = std::make_unique<TkvMain>(*globals_->project, *globals_->info);
    main_->SetPollIntervalMs(5);
  }
  QString In() const { return tmp_.file(QStringLiteral("in")); }
  QString Out() const { return tmp_.file(QStringLiteral("out")); }
  QString Log() const { return tmp_.file(QStringLiteral("out/run.log")); }
  QString Options(const QString& extra = {}) const {
    return QStringLiteral("PureConsole=True\nSource=%1/*.xls?\nTarget=%2\nLogFile=%3\n")
               .arg(In(), Out(), Log()) +
           extra;
  }

  ScopedTempDir tmp_;
  std::unique_ptr<TestGlobals> globals_;
  std::unique_ptr<TkvMain> main_;
};

TEST_F(Unattended, SuccessfulRunLogsEveryItemAndCounts) {
  for (const char* name : {"a.xls", "b.xlsx", "c.xlsm"})
    tmp_.write(QStringLiteral("in/") + name, "x");
  tmp_.write(QStringLiteral("in/ignored.txt"), "x");
  TkvTestSlow::delayMs.store(50);
  Start(QStringLiteral("TkvTestSlow"), Options(QStringLiteral("ThreadsCount=3")));
  main_->RunUnattended();

  EXPECT_EQ(RunningConvertors.load(), 0);
  const QStringList lines = main_->LogLines();
  ASSERT_EQ(lines.size(), 3) << "the run waits for all three converter threads";
  for (const char* name : {"a.xls", "b.xlsx", "c.xlsm"}) {
    const QString source = In() + u'/' + QLatin1String(name);
    const QString target =
        Out() + u'/' + QFileInfo(source).completeBaseName() + QStringLiteral(".pdf");
    EXPECT_TRUE(lines.contains(QStringLiteral("Success => %1 => %2").arg(source, target)));
    EXPECT_TRUE(QFile::exists(target));
  }
  main_.reset();
  EXPECT_EQ(readFile(Log()), (lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toUtf8())
      << "the file keeps the order in which the items finished";
  TkvInfo& info = *globals_->info;
  EXPECT_EQ(info.Count(QStringLiteral("C")), 1);
  EXPECT_EQ(info.Count(QStringLiteral("A")), 3);
  EXPECT_EQ(info.Count(QStringLiteral("S")), 3);
  EXPECT_EQ(info.Count(QStringLiteral("F")), 0);
  EXPECT_TRUE(globals_->links.All().isEmpty());
}

TEST_F(Unattended, FailuresAreCountedLoggedAndReportedOnce) {
  tmp_.write(QStringLiteral("in/1.xls"), "Bad? file");
  tmp_.write(QStringLiteral("in/2.xls"), "bad? FILE");
  tmp_.write(QStringLiteral("in/3.xls"), "Other, \"quoted\"");
  tmp_.write(QStringLiteral("in/4.xls"), "throw: escaped the converter");
  Start(QStringLiteral("TkvTestFailer"), Options());
  main_->RunUnattended();

  const QStringList lines = main_->LogLines();
  ASSERT_EQ(lines.size(), 4);
  EXPECT_TRUE(lines.contains(
      QStringLiteral("Running => %1/4.xls => throw: escaped the converter").arg(In())));
  EXPECT_TRUE(lines.contains(QStringLiteral("Failure => %1/1.xls => Bad? file").arg(In())));
  TkvInfo& info = *globals_->info;
  EXPECT_EQ(info.Count(QStringLiteral("F")), 3);
  EXPECT_EQ(info.Count(QStringLiteral("S")), 0);
  const QStringList links = globals_->links.All();
  ASSERT_EQ(links.size(), 1);
  // Distinct texts once (letter case ignored), "?" escaped; the link drops
  // the double quotes of the quoting rule.
  const QString link = links[0];
  const qsizetype e = link.indexOf(QStringLiteral("/net/?a=err&e="));
  const qsizetype p = link.indexOf(QStringLiteral("&p=tabrix&"));
  ASSERT_TRUE(e > 0 && p > e) << link.toStdString();
  const QString reported = link.mid(e + 14, p - e - 14);
  EXPECT_EQ(reported.count(QStringLiteral("bad%3F file"), Qt::CaseInsensitive), 1)
      << link.toStdString();
  EXPECT_TRUE(reported.contains(QStringLiteral("Other, quoted"))) << link.toStdString();
  EXPECT_EQ(reported.size(), QStringLiteral("bad%3F file,Other, quoted").size())
      << link.toStdString();
}

TEST_F(Unattended, QuietStoreSendsNoReportButStillCounts) {
  tmp_.write(QStringLiteral("in/1.xls"), "Broken");
  Start(QStringLiteral("TkvTestFailer"), Options(), /*quiet=*/true);
  main_->RunUnattended();
  EXPECT_TRUE(globals_->links.All().isEmpty());
  EXPECT_EQ(globals_->info->Count(QStringLiteral("F")), 1);
}

TEST_F(Unattended, EmptyRunWritesAnEmptyLog) {
  tmp_.write(QStringLiteral("out/run.log"), "old content");
  Start(QStringLiteral("TkvTestWriter"), Options());
  main_->RunUnattended();
  EXPECT_EQ(readFile(Log()), QByteArray());
  EXPECT_EQ(globals_->info->Count(QStringLiteral("C")), 1);
  EXPECT_TRUE(globals_->links.All().isEmpty());
}

TEST_F(Unattended, RunErrorsEscapeAfterCleanUp) {
  tmp_.write(QStringLiteral("in/a.xls"), "x");
  Start(QStringLiteral("TkvTestWriter"), QStringLiteral("Source=*.xls"));
  try {
    main_->RunUnattended();
    ADD_FAILURE() << "an empty target must fail the run";
  } catch (const TkvError& e) {
    EXPECT_EQ(e.Message(), QStringLiteral("Unable to create directory"));
  }
  EXPECT_TRUE(main_->LogLines().isEmpty());

  // A log or report that cannot be written fails the run before anything
  // is converted, in the same words; a missing folder is made.
  for (const QString& key : {QStringLiteral("LogFile"), QStringLiteral("ReportFile")}) {
    const QString bad = In() + QStringLiteral("/a.xls/run.log");  // a file where a folder should be
    globals_->project->SetOptionsText(
        QStringLiteral("Source=%1/*.xls\nTarget=%2\n%3=%4").arg(In(), Out(), key, bad));
    try {
      main_->RunUnattended();
      ADD_FAILURE() << "an unwritable " << key.toStdString() << " must fail the run";
    } catch (const TkvError& e) {
      const QString what =
          key == QLatin1String("LogFile") ? QStringLiteral("log") : QStringLiteral("report");
      EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Cannot open the %1 %2: ").arg(what, bad)))
          << e.Message().toStdString();
    }
    EXPECT_FALSE(QFile::exists(Out() + QStringLiteral("/a.pdf"))) << "nothing was converted";
  }
  const QString newLog = tmp_.file(QStringLiteral("new/folder/run.log"));
  globals_->project->SetOptionsText(
      QStringLiteral("Source=%1/*.xls\nTarget=%2\nLogFile=%3").arg(In(), Out(), newLog));
  main_->RunUnattended();
  EXPECT_EQ(TkvReadTextLines(newLog).size(), 1);
  EXPECT_EQ(RunningConvertors.load(), 0);
}

TEST_F(Unattended, StopRequestEndsTheRunEarly) {
  for (int i = 0; i < 6; ++i) tmp_.write(QStringLiteral("in/%1.xls").arg(i), "x");
  TkvTestSlow::delayMs.store(200);
  const QString report = tmp_.file(QStringLiteral("report.jsonl"));
  Start(QStringLiteral("TkvTestSlow"), Options(QStringLiteral("ReportFile=") + report));
  auto stopAfter = [this](int ms) {
    return std::thread([this, ms] {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      main_->RequestStop();
    });
  };
  std::thread stopper = stopAfter(100);
  EXPECT_THROW(main_->RunUnattended(), TkvError);
  stopper.join();
  const QStringList lines = main_->LogLines();
  EXPECT_GE(lines.size(), 1);
  EXPECT_LT(lines.size(), 6);
  EXPECT_EQ(TkvReadTextLines(Log()), lines) << "the log of a stopped run is still written";
  // Every file has its row: those never reached as skipped, "stopped".
  const QList<QByteArray> rows = readFile(report).trimmed().split('\n');
  ASSERT_EQ(rows.size(), 7);
  int stopped = 0;
  for (const QByteArray& row : rows) stopped += row.contains("\"message\":\"stopped\"");
  EXPECT_EQ(stopped, 6 - lines.size());
  EXPECT_TRUE(rows.last().contains("\"skipped\":" + QByteArray::number(stopped)));

  // A stop during the last file, every file in hand: the run ends as usual.
  for (int i = 1; i < 6; ++i) QFile::remove(In() + QStringLiteral("/%1.xls").arg(i));
  Start(QStringLiteral("TkvTestSlow"), Options(QStringLiteral("IsOverwrite=True")));
  stopper = stopAfter(100);
  EXPECT_NO_THROW(main_->RunUnattended());
  stopper.join();
  EXPECT_EQ(main_->LogLines().size(), 1);
}

TEST(ProgressLine, FitsTheTerminalAndNeverCarriesControlCharacters) {
  const TkvProgressLine::Counts counts{2, 1, 0, 10};
  const QString text =
      TkvProgressLine::Text(counts, QStringLiteral("/data/in/\x1b[2Jevil\nname.xls"), 80);
  EXPECT_TRUE(text.startsWith(QStringLiteral("2 converted, 1 failed, 0 skipped of 10: ")));
  for (QChar c : text) EXPECT_GE(c.unicode(), 0x20);

  const QString longName =
      QStringLiteral("/very/long/") + QString(200, u'x') + QStringLiteral("/book.xlsx");
  const QString shortened = TkvProgressLine::Text(counts, longName, 70);
  EXPECT_LT(shortened.size(), 70);
  EXPECT_TRUE(shortened.endsWith(QStringLiteral("book.xlsx")));
  EXPECT_TRUE(TkvProgressLine::Text(counts, longName, 10).size() < 10);
  TkvProgressLine::Counts listing = counts;
  listing.more = true;  // the search still lists
  EXPECT_EQ(TkvProgressLine::Text(listing, QString(), 80),
            QStringLiteral("2 converted, 1 failed, 0 skipped of 10+"));
}

TEST_F(Unattended, ConverterThreadThatCannotGoOnFailsTheRun) {
  for (const char* name : {"a.xls", "b.xlsx"}) tmp_.write(QStringLiteral("in/") + name, "x");
  Start(QStringLiteral("TkvTestBroken"), Options());
  try {
    main_->RunUnattended();
    ADD_FAILURE() << "the run ended as if every file had been converted";
  } catch (const TkvError& e) {
    EXPECT_TRUE(e.Message().contains(QStringLiteral("converter thread stopped")))
        << e.Message().toStdString();
  }
  EXPECT_EQ(RunningConvertors.load(), 0);
  EXPECT_TRUE(QFile::exists(Log()));  // the log is written all the same
}

}  // namespace
