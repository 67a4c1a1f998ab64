// The unattended run with several sources and with watch rounds, in-process
// with test converters on real files: one chain (one session per thread)
// for every source and round, the order of the sources, the JSON Lines
// report, failed files left alone until they change, and the stop.

#include "app/unattended.h"

#include "../convert/convertor_test_classes.h"
#include "core/text_file.h"
#include "support/qt_print.h"
#include "support/test_globals.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <future>

using namespace tabrix::test;

namespace {

// A writer that fails workbooks whose text begins with "bad" and counts the
// sessions its threads open and end.
class TkvTestSession : public TkvTestWriter {
 public:
  using TkvTestWriter::TkvTestWriter;
  ~TkvTestSession() override { Shutdown(); }
  static inline std::atomic<int> opened{0};
  static inline std::atomic<int> ended{0};

  void Convert(TkvBatch* batch, TkvNode* item) override {
    if (!open_) {
      open_ = true;
      ++opened;
    }
    QFile file(ItemFileName(batch, item));
    if (file.open(QIODevice::ReadOnly) && file.readAll().startsWith("bad")) {
      // Replaced by a good copy while its conversion runs.
      if (file.seek(0) && file.readAll() == "bad, mended meanwhile") {
        file.close();
        QFile mended(ItemFileName(batch, item));
        if (mended.open(QIODevice::WriteOnly)) mended.write("x");
      }
      batch->SetItemOutcome(item, TkvNode::Failed, QStringLiteral("damaged"));
      batch->AddFailure(QStringLiteral("damaged"));
      return;
    }
    TkvTestWriter::Convert(batch, item);
  }

 protected:
  void EndSession() override {
    if (open_) ++ended;
    open_ = false;
  }

 private:
  bool open_ = false;
};

QList<QJsonObject> ReportObjects(const QString& path) {
  QList<QJsonObject> objects;
  for (const QByteArray& line : readFile(path).split('\n')) {
    if (line.isEmpty()) continue;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    objects.append(doc.object());
  }
  return objects;
}

int CountStatus(const QList<QJsonObject>& objects, const char* status) {
  int n = 0;
  for (const QJsonObject& o : objects)
    n += o.value(QStringLiteral("status")).toString() == QLatin1String(status);
  return n;
}

bool WaitFor(const std::function<bool()>& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class Rounds : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterTestConvertors();
    TkvRegisterConvertor<TkvTestSession>(QStringLiteral("TkvTestSession"));
  }
  void SetUp() override {
    TkvTestSession::opened.store(0);
    TkvTestSession::ended.store(0);
  }
  void Start(const QString& options) {
    globals_ = std::make_unique<TestGlobals>(tmp_, QStringLiteral("TkvTestSession"));
    globals_->project->SetOptionsText(options);
    main_ = std::make_unique<TkvMain>(*globals_->project, *globals_->info);
    main_->SetPollIntervalMs(5);
  }
  QString F(const QString& name) const { return tmp_.file(name); }

  ScopedTempDir tmp_;
  std::unique_ptr<TestGlobals> globals_;
  std::unique_ptr<TkvMain> main_;
};

TEST_F(Rounds, SeveralSourcesAreOneRunInTheOrderGivenByOneSession) {
  tmp_.write(QStringLiteral("in/c/3.xls"), "x");
  tmp_.write(QStringLiteral("in/a/1.xls"), "x");
  tmp_.write(QStringLiteral("in/b/2.xlsx"), "bad");
  tmp_.write(QStringLiteral("in/b/ignored.txt"), "x");
  Start(QStringLiteral(
            "PureConsole=True\nSource=%1/*.xls?\nSource2=%2/*.xls?\nSource3=%3\nTarget=%4\n"
            "ReportFile=%5\nLogFile=%6\n")
            .arg(F("in/c"), F("in/b"), F("in/a/1.xls"), F("out"), F("report.jsonl"), F("run.log")));
  EXPECT_TRUE(main_->RunUnattended()) << "an item failed";
  EXPECT_EQ(RunningConvertors.load(), 0);
  EXPECT_EQ(TkvTestSession::opened.load(), 1) << "one session for every source";
  EXPECT_EQ(TkvTestSession::ended.load(), 1);

  const QStringList log = TkvReadTextLines(F("run.log"));
  ASSERT_EQ(log.size(), 3);
  EXPECT_TRUE(log[0].startsWith(QStringLiteral("Success => ") + F("in/c/3.xls")));
  EXPECT_TRUE(log[1].startsWith(QStringLiteral("Failure => ") + F("in/b/2.xlsx")));
  EXPECT_TRUE(log[2].startsWith(QStringLiteral("Success => ") + F("in/a/1.xls")));
  EXPECT_TRUE(QFile::exists(F("out/3.pdf")) && QFile::exists(F("out/1.pdf")));

  const QList<QJsonObject> report = ReportObjects(F("report.jsonl"));
  ASSERT_EQ(report.size(), 4);
  EXPECT_EQ(report[0].value(QStringLiteral("source")).toString(), F("in/c/3.xls"));
  EXPECT_EQ(report[0].value(QStringLiteral("target")).toString(), F("out/3.pdf"));
  EXPECT_EQ(report[1].value(QStringLiteral("status")).toString(), QStringLiteral("failure"));
  EXPECT_EQ(report[1].value(QStringLiteral("message")).toString(), QStringLiteral("damaged"));
  EXPECT_EQ(report[1].value(QStringLiteral("target")).toString(), QString());
  const QJsonObject summary = report[3];
  EXPECT_EQ(summary.value(QStringLiteral("items")).toInt(), 3);
  EXPECT_EQ(summary.value(QStringLiteral("succeeded")).toInt(), 2);
  EXPECT_EQ(summary.value(QStringLiteral("failed")).toInt(), 1);
  EXPECT_EQ(summary.value(QStringLiteral("skipped")).toInt(), 0);
  EXPECT_TRUE(summary.value(QStringLiteral("seconds")).isDouble());

  // A second run appends to the report; a skipped item is reported as such.
  tmp_.write(QStringLiteral("in/b/2.xlsx"), "x");
  globals_->project->SetOptionValue(QStringLiteral("IsOverwrite"), QStringLiteral("skip"));
  EXPECT_FALSE(main_->RunUnattended());
  const QList<QJsonObject> again = ReportObjects(F("report.jsonl"));
  ASSERT_EQ(again.size(), 8);
  EXPECT_EQ(CountStatus(again.mid(4), "skipped"), 2);
  EXPECT_EQ(CountStatus(again.mid(4), "success"), 1);
}

TEST_F(Rounds, SourcesOfOneNameInSeveralSourcesEachGetTheirOwnPdf) {
  // Source, Source2, ...: one batch each, freed as the run goes on; every
  // later book.xls gets the next free name, and only sources whose own PDF
  // was written are deleted. Searched (the /P: road, one thread) and taken
  // as named files (the convert road, whose items are made on this thread;
  // two threads).
  for (const bool named : {false, true}) {
    QStringList sources;
    for (const char* name :
         {"a/book.xls", "b/other.xls", "c/book.xls", "d/book.xls", "e/book.xls"}) {
      tmp_.write(QStringLiteral("in/") + QLatin1String(name), "x");
      sources << F(QStringLiteral("in/") + QLatin1String(name));
    }
    const QString out = F(named ? QStringLiteral("named") : QStringLiteral("searched"));
    QString options = QStringLiteral("PureConsole=True\nTarget=%1\nDeleteSource=True\n").arg(out);
    for (int i = 0; i < sources.size(); ++i)
      options +=
          QStringLiteral("Source%1=%2\n").arg(i ? QString::number(i + 1) : QString(), sources[i]);
    if (named) options += QStringLiteral("ThreadsCount=2\n");
    Start(options);
    if (named) main_->TakeLiterally(sources);
    EXPECT_FALSE(main_->RunUnattended());
    const QStringList targets = {"/book.pdf", "/other.pdf", "/-tabrix-book.pdf",
                                 "/-tabrix-2-book.pdf", "/-tabrix-3-book.pdf"};
    for (int i = 0; i < sources.size(); ++i) {
      EXPECT_EQ(QString::fromUtf8(readFile(out + targets[i])), "PDF of " + sources[i]) << named;
      EXPECT_FALSE(QFile::exists(sources[i]));
    }
  }
}

TEST_F(Rounds, WatchConvertsNewFilesOnOneSessionAndEndsCleanlyOnStop) {
  tmp_.write(QStringLiteral("in/a.xls"), "x");
  Start(QStringLiteral(
            "PureConsole=True\nSource=%1/*.xls?\nTarget=%2\nWatchInterval=20\nRenameSource=.done\n"
            "ThreadsCount=2\nReportFile=%3\nLogFile=%4\n")
            .arg(F("in"), F("out"), F("report.jsonl"), F("run.log")));
  auto run = std::async(std::launch::async, [this] { return main_->RunUnattended(); });
  // Whatever fails below, the watch is stopped before the future is waited for.
  struct StopAtExit {
    TkvMain& main;
    ~StopAtExit() { main.RequestStop(); }
  } stopAtExit{*main_};
  ASSERT_TRUE(WaitFor([&] { return QFile::exists(F("in/a.xls.done")); }));

  tmp_.write(QStringLiteral("in/b.xls"), "x");
  tmp_.write(QStringLiteral("in/bad.xls"), "bad");
  ASSERT_TRUE(WaitFor([&] {
    return QFile::exists(F("in/b.xls.done")) &&
           CountStatus(ReportObjects(F("report.jsonl")), "failure") == 1;
  }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // about ten more rounds
  EXPECT_EQ(CountStatus(ReportObjects(F("report.jsonl")), "failure"), 1)
      << "an unchanged failed file is left alone";

  tmp_.write(QStringLiteral("in/bad.xls"), "bad, and changed");
  ASSERT_TRUE(
      WaitFor([&] { return CountStatus(ReportObjects(F("report.jsonl")), "failure") == 2; }));
  // The log is rewritten at the end of the round, after the report's lines.
  EXPECT_TRUE(WaitFor([&] { return TkvReadTextLines(F("run.log")).size() == 1; }))
      << "the log holds the last round that converted something: "
      << TkvReadTextLines(F("run.log")).join(u'\n').toStdString();
  EXPECT_TRUE(TkvReadTextLines(F("run.log"))
                  .value(0)
                  .startsWith(QStringLiteral("Failure => ") + F("in/bad.xls")));

  main_->RequestStop();
  ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(run.get()) << "a stopped watch ends without an error and tells of its failures";
  EXPECT_EQ(RunningConvertors.load(), 0);
  EXPECT_EQ(TkvTestSession::opened.load(), TkvTestSession::ended.load());
  EXPECT_LE(TkvTestSession::opened.load(), 2) << "sessions are kept between rounds";

  const QList<QJsonObject> report = ReportObjects(F("report.jsonl"));
  EXPECT_EQ(CountStatus(report, "success"), 2);
  EXPECT_EQ(CountStatus(report, "skipped"), 0);
  int summaries = 0;
  for (const QJsonObject& o : report) summaries += o.contains(QStringLiteral("items"));
  EXPECT_GE(summaries, 2);
  EXPECT_LE(summaries, 4) << "rounds that convert nothing add nothing to the report";
}

TEST_F(Rounds, WatchKnowsAFileByItsListingAndLeavesOneItCouldNotRenameAlone) {
  tmp_.write(QStringLiteral("in/mended.xls"), "bad, mended meanwhile");
  tmp_.write(QStringLiteral("in/stays.xls"), "x");
  tmp_.write(QStringLiteral("in/stays.xls.done"), "an earlier file of the renamed name");
  Start(QStringLiteral("PureConsole=True\nSource=%1/*.xls\nTarget=%2\nWatchInterval=20\n"
                       "RenameSource=.done\nReportFile=%3\nStrictExit=True\n")
            .arg(F("in"), F("out"), F("report.jsonl")));
  auto run = std::async(std::launch::async, [this] { return main_->RunUnattended(); });
  struct StopAtExit {
    TkvMain& main;
    ~StopAtExit() { main.RequestStop(); }
  } stopAtExit{*main_};
  // The file replaced while it failed is a new file for the next round.
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(F("in/mended.xls.done")); }));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // about ten more rounds
  main_->RequestStop();
  ASSERT_EQ(run.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  run.get();

  int stays = 0;
  for (const QJsonObject& o : ReportObjects(F("report.jsonl"))) {
    if (o.value(QStringLiteral("source")).toString() != F("in/stays.xls")) continue;
    ++stays;
    EXPECT_EQ(o.value(QStringLiteral("status")).toString(), QStringLiteral("success"));
    EXPECT_TRUE(o.value(QStringLiteral("message"))
                    .toString()
                    .contains(QStringLiteral("could not be renamed to ") + F("in/stays.xls.done")));
  }
  EXPECT_EQ(stays, 1) << "a converted file that could not be renamed is not converted again";
  EXPECT_EQ(readFile(F("in/stays.xls.done")), "an earlier file of the renamed name");
}

}  // namespace
