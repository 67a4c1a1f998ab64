// The built program driven by `tabrix convert` on real workbooks, as a shell
// script or a service would drive it: several sources and masks, the flags,
// the JSON Lines report on stdout, the exit codes, and a watch run stopped
// by SIGTERM. Office profiles are shared by the suite so that offices start
// warm after the first run.

#include "core/partial_file.h"
#include "support/built_program.h"
#include "support/processes.h"
#include "support/qt_print.h"
#include "support/scoped_temp_dir.h"
#include "support/workbooks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <memory>

#include <unistd.h>

using tabrix::test::BuiltProgram;
using tabrix::test::CopyBuiltProgram;
using tabrix::test::processesMentioning;
using tabrix::test::ProgramEnvironment;
using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

struct Outcome {
  int exitCode = -1;
  QByteArray out;
  QString err;
};

QList<QJsonObject> JsonLines(const QByteArray& text) {
  QList<QJsonObject> objects;
  for (const QByteArray& line : text.split('\n')) {
    if (line.isEmpty()) continue;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << "not JSON: " << line.toStdString();
    objects.append(doc.object());
  }
  return objects;
}

QString S(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString(); }

class Convert : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { cache_ = new ScopedTempDir; }
  static void TearDownTestSuite() {
    delete cache_;
    cache_ = nullptr;
  }
  void SetUp() override {
    if (!QFile::exists(BuiltProgram()))
      GTEST_SKIP() << "no tabrix executable (build with TABRIX_BUILD_UI=ON)";
    exe_ = CopyBuiltProgram(tmp_);
    ASSERT_FALSE(exe_.isEmpty());
  }

  QProcessEnvironment Environment() const { return ProgramEnvironment(tmp_, cache_->path()); }

  Outcome Run(const QStringList& args) { return RunProgram(QStringList{"convert"} + args); }
  Outcome RunProgram(const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    process.setWorkingDirectory(tmp_.path());
    process.start(exe_, args);
    EXPECT_TRUE(process.waitForFinished(120000));
    Outcome o;
    o.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.out = process.readAllStandardOutput();
    o.err = QString::fromLocal8Bit(process.readAllStandardError());
    return o;
  }

  QString F(const QString& name) const { return tmp_.file(name); }
  void Copy(const char* example, const QString& to) {
    QDir().mkpath(QFileInfo(F(to)).path());
    ASSERT_TRUE(QFile::copy(
        tabrix::test::sourceDir() + QStringLiteral("/examples/") + QLatin1String(example), F(to)));
  }
  bool Xlsx(const QString& to, const QList<tabrix::test::SheetSpec>& sheets) {
    QDir().mkpath(QFileInfo(F(to)).path());
    return tabrix::test::writeXlsx(F(to), sheets);
  }
  void Damaged(const QString& to) {
    tmp_.write(to, QByteArray("PK\x03\x04 this is not a real zip archive", 36));
  }

  static inline ScopedTempDir* cache_ = nullptr;
  ScopedTempDir tmp_;
  QString exe_;
};

TEST_F(Convert, WrongFlagsAndValuesEndWith64NamingThem) {
  tmp_.write(QStringLiteral("-lead.xlsx"), "x");
  const struct {
    QStringList args;
    const char* named;
  } cases[] = {
      {{"--bogus", "a.xls"}, "bogus"},
      {{"--sheet", "second", "a.xls"}, "second"},
      {{"-j", "x", "a.xls"}, "-j"},
      {{"-O", "NoEquals", "a.xls"}, "NoEquals"},
      {{"-O", "Orientation=sideways", "a.xls"},
       "Orientation=sideways is not portrait or landscape"},
      {{"-O", "threadscount=many", "a.xls"}, "ThreadsCount=many is not a whole number"},
      {{"-lead.xlsx"}, "write ./NAME or put -- before it"},
      {{"-q"}, "SOURCE"},
      {{"-p", "missing.batch-tabrix", "a.xls"}, "missing.batch-tabrix"},
  };
  for (const auto& c : cases) {
    const Outcome o = Run(c.args);
    EXPECT_EQ(o.exitCode, 64) << c.args.join(u' ').toStdString();
    EXPECT_TRUE(o.err.contains(QLatin1String(c.named))) << o.err.toStdString();
    EXPECT_TRUE(o.out.isEmpty());
  }
  const Outcome help = Run({QStringLiteral("--help")});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains("--rename-source SUFFIX")) << help.out.toStdString();
  EXPECT_TRUE(help.out.contains("[RenameSource=SUFFIX]"));
  const Outcome version = Run({QStringLiteral("--version")});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, QByteArray("Tabrix Converter 2025.17.420.2053\n"));
  EXPECT_FALSE(readFile(F("bin/tabrix.ext")).contains("C=")) << "no run was made";
}

// One run shared by the next two test cases.
struct SharedRun {
  Outcome outcome;
  QList<QJsonObject> report;
};

class ConvertRun : public Convert {
 protected:
  // Several sources (a folder searched with its sub-folders, a mask, one
  // file), most flags, and a value holding ";" and ",".
  const SharedRun& Shared() {
    if (run_) return *run_;
    run_ = std::make_unique<SharedRun>();
    Copy("quarterly-sales.xlsx", QStringLiteral("in/a/quarterly.xlsx"));
    Copy("budget-archive.xls", QStringLiteral("in/a/sub/budget.xls"));
    Copy("budget-archive.xls", QStringLiteral("in/a/.hidden.xls"));
    Copy("quarterly-sales.xlsx", QStringLiteral("in/b/q2.xlsx"));
    Copy("quarterly-sales.xlsx", QStringLiteral("in/b/left-out.xlsx"));
    Damaged(QStringLiteral("in/c/damaged.xlsx"));
    tmp_.write(QStringLiteral("out/q2.pdf"), "an older PDF");
    run_->outcome = Run({"-r",
                         "--skip-hidden",
                         "-j",
                         "2",
                         "--flat",
                         "--sheet",
                         "all",
                         "--keep-time",
                         "--overwrite",
                         "rename",
                         "--regex",
                         "(quarterly|budget|q2|damaged)\\.xls",
                         "--timeout",
                         "60",
                         "-q",
                         "--log",
                         "out/run.log",
                         "-O",
                         "RenameSource=.done;1,2",
                         "-o",
                         "out",
                         "--report",
                         "-",
                         "in/a",
                         "in/b/*.XLS?",
                         F("in/c/damaged.xlsx")});
    run_->report = JsonLines(run_->outcome.out);
    return *run_;
  }
  static inline std::unique_ptr<SharedRun> run_;
};

TEST_F(ConvertRun, SeveralSourcesAndFlagsMakeOneRunWithAJsonReport) {
  const SharedRun& run = Shared();
  EXPECT_EQ(run.outcome.exitCode, 2) << "a file failed: " << run.outcome.err.toStdString();
  EXPECT_TRUE(run.outcome.err.isEmpty())
      << "-q, report on stdout: " << run.outcome.err.toStdString();
  ASSERT_EQ(run.report.size(), 5) << run.outcome.out.toStdString();

  QStringList sources, successes;
  for (int i = 0; i < 4; ++i) {
    const QJsonObject& o = run.report[i];
    sources.append(S(o, "source"));
    EXPECT_TRUE(o.value(QStringLiteral("seconds")).isDouble());
    if (S(o, "status") == QLatin1String("success")) {
      successes.append(S(o, "source"));
      EXPECT_TRUE(readFile(S(o, "target")).startsWith("%PDF")) << S(o, "target").toStdString();
      EXPECT_TRUE(S(o, "message").isEmpty());
    }
  }
  // Sources in the order given; within the first, the search's order.
  EXPECT_EQ(sources.mid(2), (QStringList{F("in/b/q2.xlsx"), F("in/c/damaged.xlsx")}));
  EXPECT_EQ(successes.size(), 3);
  const QJsonObject& failure = run.report[3];
  EXPECT_EQ(S(failure, "status"), QStringLiteral("failure"));
  EXPECT_TRUE(S(failure, "message").contains(F("in/c/damaged.xlsx")))
      << S(failure, "message").toStdString();
  EXPECT_TRUE(S(failure, "target").isEmpty());
  const QJsonObject& summary = run.report[4];
  EXPECT_EQ(summary.value(QStringLiteral("items")).toInt(), 4);
  EXPECT_EQ(summary.value(QStringLiteral("succeeded")).toInt(), 3);
  EXPECT_EQ(summary.value(QStringLiteral("failed")).toInt(), 1);
  EXPECT_EQ(summary.value(QStringLiteral("skipped")).toInt(), 0);

  // --flat, --overwrite rename, the value with ";" and ",", --keep-time.
  EXPECT_TRUE(QFile::exists(F("out/budget.pdf")));
  EXPECT_FALSE(QFile::exists(F("out/sub")));
  EXPECT_EQ(readFile(F("out/q2.pdf")), QByteArray("an older PDF"));
  EXPECT_TRUE(readFile(F("out/-tabrix-q2.pdf")).startsWith("%PDF"));
  EXPECT_TRUE(QFile::exists(F("in/a/quarterly.xlsx.done;1,2")));
  EXPECT_TRUE(QFile::exists(F("in/c/damaged.xlsx"))) << "a failed source stays";
  EXPECT_EQ(QFileInfo(F("out/quarterly.pdf")).lastModified(),
            QFileInfo(F("in/a/quarterly.xlsx.done;1,2")).lastModified());
  // --regex, --skip-hidden: left out; the log in its own format.
  EXPECT_TRUE(QFile::exists(F("in/b/left-out.xlsx")));
  EXPECT_TRUE(QFile::exists(F("in/a/.hidden.xls")));
  const QString log = QString::fromUtf8(readFile(F("out/run.log")));
  EXPECT_EQ(log.count(QStringLiteral("Success => ")), 3) << log.toStdString();
  EXPECT_EQ(log.count(QStringLiteral("Failure => ")), 1) << log.toStdString();
  EXPECT_EQ(processesMentioning(cache_->path()).size(), 0) << "an office process outlived the run";
}

// Needs the converter to record the PDFs it wrote and their pages
// (TkvNode::Files and Pages); expected to fail until it does.
TEST_F(ConvertRun, ReportNamesEveryPdfWrittenAndItsPages) {
  const SharedRun& run = Shared();
  ASSERT_GE(run.report.size(), 4);
  for (int i = 0; i < 4; ++i) {
    const QJsonObject& o = run.report[i];
    if (S(o, "status") != QLatin1String("success")) continue;
    const QJsonArray files = o.value(QStringLiteral("files")).toArray();
    EXPECT_TRUE(files.contains(S(o, "target"))) << S(o, "source").toStdString();
    EXPECT_GT(o.value(QStringLiteral("pages")).toInt(), 0) << S(o, "source").toStdString();
  }
}

TEST_F(Convert, StrictExitTwoWhenAFileFailedAndTheProjectUnderTheFlags) {
  Copy("quarterly-sales.xlsx", QStringLiteral("in/good.xlsx"));
  Damaged(QStringLiteral("in/bad.xlsx"));
  const QString project =
      tmp_.write(QStringLiteral("job.batch-tabrix"),
                 QStringLiteral("Target=%1\r\nDeleteSource=False\r\nSource=/nowhere/*.xls\r\n")
                     .arg(F("out"))
                     .toUtf8());
  tmp_.write(QStringLiteral("out/good.pdf"), "a PDF of an earlier run");
  const Outcome o = Run({"--strict", "-p", project, "--delete-source", "--sheet", "each", "--fit",
                         "page", "--orientation", "landscape", "--paper", "A4", "--pdfa",
                         "--report", F("report.jsonl"), "-O", "Sorce=x", "in"});
  EXPECT_EQ(o.exitCode, 2) << o.err.toStdString();
  // An unknown key is a warning; with no report on stdout the failed file and
  // why follow, one line naming the file once, then the summary.
  const QStringList errLines = o.err.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_EQ(errLines.size(), 3) << o.err.toStdString();
  EXPECT_EQ(errLines[0], "tabrix convert: unknown option 'Sorce' (did you mean Source?)");
  EXPECT_TRUE(errLines[1].startsWith(QStringLiteral("tabrix: ")));
  EXPECT_EQ(errLines[1].count(F("in/bad.xlsx")), 1) << o.err.toStdString();
  EXPECT_EQ(errLines[2], "tabrix: 1 converted, 1 failed, 0 skipped of 2");
  EXPECT_FALSE(QFile::exists(F("in/good.xlsx")))
      << "--delete-source over the project's DeleteSource=False";
  EXPECT_TRUE(QFile::exists(F("in/bad.xlsx")));
  EXPECT_TRUE(readFile(F("out/good-1.pdf")).startsWith("%PDF"))
      << "--sheet each, into the project's target";
  const QList<QJsonObject> report = JsonLines(readFile(F("report.jsonl")));
  ASSERT_EQ(report.size(), 3);
  EXPECT_EQ(report[2].value(QStringLiteral("failed")).toInt(), 1);
  // One PDF per sheet: the item names the first file it wrote, not the older file.
  const QJsonObject good =
      S(report[0], "status") == QLatin1String("success") ? report[0] : report[1];
  EXPECT_EQ(S(good, "target"), F("out/good-1.pdf"));
  EXPECT_EQ(readFile(F("out/good.pdf")), QByteArray("a PDF of an earlier run"));
}

// Files that are no workbook fail by name on every road; a named file is
// that file, whatever its name holds.
TEST_F(Convert, NamedFilesAreTakenAsTheyAreAndNoWorkbookIsASuccess) {
  Copy("quarterly-sales.xlsx", QStringLiteral("in/rep?.xlsx"));
  Copy("quarterly-sales.xlsx", QStringLiteral("in/rep1.xlsx"));
  Copy("quarterly-sales.xlsx", QStringLiteral("in/rep.xlsx"));
  Copy("quarterly-sales.xlsx", QStringLiteral("in/back\\slash.xlsx"));
  tmp_.write(QStringLiteral("not/empty.xls"), "");
  tmp_.write(QStringLiteral("not/README.xlsx"), "# Read me\n\nThis is no workbook.\n");
  // A name whose bytes are not UTF-8 (Latin-1 "é").
  std::FILE* latin1 = std::fopen(QFile::encodeName(F("not/")).append("caf\xe9.xls"), "w");
  ASSERT_TRUE(latin1);
  std::fputs("text", latin1);
  std::fclose(latin1);
  const Outcome o = Run({"--delete-source", "-o", "out", "--report", "-", "in/rep?.xlsx",
                         "in/back\\slash.xlsx", "not"});
  EXPECT_EQ(o.exitCode, 2) << o.err.toStdString();
  EXPECT_EQ(o.err, QStringLiteral("tabrix: 2 converted, 3 failed, 0 skipped of 5\n"))
      << "the report on stdout tells the rest";
  const QList<QJsonObject> report = JsonLines(o.out);
  ASSERT_EQ(report.size(), 6) << o.out.toStdString();
  EXPECT_EQ(S(report[0], "source"), F("in/rep?.xlsx"));
  EXPECT_EQ(S(report[1], "source"), F("in/back\\slash.xlsx"));
  for (int i : {0, 1}) EXPECT_EQ(S(report[i], "status"), QStringLiteral("success"));
  EXPECT_TRUE(readFile(F("out/back\\slash.pdf")).startsWith("%PDF"));
  EXPECT_FALSE(QFile::exists(F("in/rep?.xlsx")));
  EXPECT_TRUE(QFile::exists(F("in/rep1.xlsx")) && QFile::exists(F("in/rep.xlsx")))
      << "a named file is not a mask";
  QStringList kinds;
  for (int i : {2, 3, 4}) {
    EXPECT_EQ(S(report[i], "status"), QStringLiteral("failure"));
    kinds.append(S(report[i], "message").remove(F("not/")));
  }
  kinds.sort();
  EXPECT_EQ(kinds, (QStringList{"README.xlsx is not a workbook: plain text",
                                "The name of caf\uFFFD.xls is not valid UTF-8",
                                "empty.xls is not a workbook: an empty file"}));
  EXPECT_FALSE(QFile::exists(F("out/README.pdf")) || QFile::exists(F("out/empty.pdf")));
  EXPECT_TRUE(QFile::exists(F("not/README.xlsx")) && QFile::exists(F("not/empty.xls")));
}

// What people who know other converters expect: the whole workbook, a
// non-zero exit code when a file failed, one message for a target that
// cannot take any PDF, a summary line also when stderr is no terminal.
TEST_F(Convert, DefaultsAndExitCodesAreTheOnesOfCommonTools) {
  Copy("quarterly-sales.xlsx", QStringLiteral("in/good.xlsx"));  // three sheets
  Damaged(QStringLiteral("in/bad.xlsx"));
  Outcome o = Run({"-o", "out", "in"});
  EXPECT_EQ(o.exitCode, 2) << o.err.toStdString();
  EXPECT_TRUE(o.err.endsWith(QStringLiteral("tabrix: 1 converted, 1 failed, 0 skipped of 2\n")))
      << o.err.toStdString();
  EXPECT_EQ(tabrix::test::pdfPageCount(F("out/good.pdf")), 3) << "every sheet, not the active one";
  o = Run({"--exit-zero", "--sheet", "active", "--overwrite", "yes", "-q", "-o", "out", "in"});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_FALSE(o.err.contains(QLatin1String("converted,"))) << "-q: no summary";
  EXPECT_EQ(tabrix::test::pdfPageCount(F("out/good.pdf")), 1);

  tmp_.write(QStringLiteral("afile"), "x");
  for (const QString& target : {F("afile"), F("afile/sub")}) {
    o = Run({"-o", target, "in"});
    EXPECT_EQ(o.exitCode, 1) << o.err.toStdString();
    EXPECT_EQ(o.err.count(u'\n'), 1) << "one message, not one per file: " << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(QLatin1String("is not a folder"))) << o.err.toStdString();
  }
  o = Run({"-O", "Sorce=in"});
  EXPECT_EQ(o.exitCode, 64);
  EXPECT_TRUE(
      o.err.startsWith(QStringLiteral("tabrix convert: unknown option 'Sorce' (did you "
                                      "mean Source?)\n")))
      << o.err.toStdString();
}

TEST_F(Convert, ARunThatDidNothingSaysSo) {
  const Outcome missing = Run({"--strict", "-o", "out", "/no/such/file.xlsx"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_TRUE(missing.err.contains(QLatin1String("/no/such/file.xlsx does not exist")))
      << missing.err.toStdString();
  EXPECT_FALSE(QFile::exists(F("out"))) << "nothing is made for a run that cannot start";

  QDir().mkpath(F("empty"));
  for (const bool strict : {false, true}) {
    QStringList args{"-o", "out", "empty", "in/*.xlsx"};
    if (strict) args.prepend(QStringLiteral("--strict"));
    const Outcome none = Run(args);
    EXPECT_EQ(none.exitCode, strict ? 2 : 0) << none.err.toStdString();
    EXPECT_TRUE(none.err.contains(QStringLiteral("no workbook matches ") + F("empty/")))
        << none.err.toStdString();
    EXPECT_TRUE(none.err.contains(QStringLiteral("no workbook matches ") + F("in/*.xlsx")));
  }
  // The specified road keeps its exit code and warns the same.
  const Outcome road = RunProgram(
      {QStringLiteral("/P:PureConsole=True;Source=%1/*.xls;Target=%2").arg(F("empty"), F("out"))});
  EXPECT_EQ(road.exitCode, 0);
  EXPECT_TRUE(road.err.contains(QStringLiteral("no workbook matches ") + F("empty/*.xls")))
      << road.err.toStdString();
}

// The lines a terminal shows for `bytes`: "\r" goes back to the line's
// start, ESC [ K clears to its end.
QStringList Screen(const QByteArray& bytes) {
  QStringList lines;
  QString line;
  qsizetype column = 0;
  const QString text = QString::fromUtf8(bytes);
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text.at(i);
    if (c == u'\n') {
      lines.append(line);
      line.clear();
      column = 0;
    } else if (c == u'\r') {
      column = 0;
    } else if (text.mid(i, 3) == QLatin1String("\033[K")) {
      line.truncate(column);
      i += 2;
    } else {
      if (column < line.size())
        line[column] = c;
      else
        line.append(c);
      ++column;
    }
  }
  if (!line.isEmpty()) lines.append(line);
  return lines;
}

TEST_F(Convert, OnATerminalTheProgressLineNeverSharesALineWithOtherOutput) {
  Copy("quarterly-sales.xlsx", QStringLiteral("in/good.xlsx"));
  Damaged(QStringLiteral("in/bad.xlsx"));
  int exitCode = -1;
  const QByteArray output = tabrix::test::runInTerminal(
      exe_, {"convert", "--report", "-", "-o", "out", "in"}, Environment(), tmp_.path(), &exitCode);
  EXPECT_EQ(exitCode, 2) << output.toStdString();
  const QStringList screen = Screen(output);
  int reportRows = 0;
  for (const QString& line : screen) {
    if (!line.contains(u'{')) continue;
    ++reportRows;
    EXPECT_TRUE(line.startsWith(u'{')) << "glued to the progress line: " << line.toStdString();
  }
  EXPECT_EQ(reportRows, 3) << output.toStdString();
  EXPECT_TRUE(screen.contains(QStringLiteral("1 converted, 1 failed, 0 skipped of 2")))
      << output.toStdString();

  // The report piped to a program that prints it on the same terminal: no
  // progress line to run into it, the summary after the run.
  const QByteArray piped = tabrix::test::runInTerminal(
      QStringLiteral("/bin/sh"),
      {"-c", QStringLiteral("'%1' convert --overwrite yes --report - -o out in | cat").arg(exe_)},
      Environment(), tmp_.path(), &exitCode);
  EXPECT_EQ(exitCode, 0) << "the exit code of cat: " << piped.toStdString();
  EXPECT_FALSE(piped.contains('\r') && piped.contains("\033[K")) << piped.toStdString();
  EXPECT_TRUE(
      Screen(piped).contains(QStringLiteral("tabrix: 1 converted, 1 failed, 0 skipped of 2")))
      << piped.toStdString();
}

TEST_F(Convert, WorkbooksOfOneRunOnTwoThreadsNeverEndOnOnePdf) {
  // With --flat every book.xlsx maps to book.pdf; files are overwritten (the
  // default) and sources deleted after a success. Named files, each a source
  // of its own, with another name between them; then two on two threads in
  // one searched source.
  for (const char* folder : {"a/x", "a/y", "z", "w"})
    ASSERT_TRUE(Xlsx(
        QStringLiteral("in/%1/book.xlsx").arg(folder),
        {{QStringLiteral("S"), QStringLiteral("Text of %1").arg(QFileInfo(folder).fileName())}}));
  ASSERT_TRUE(Xlsx(QStringLiteral("in/b/other.xlsx"),
                   {{QStringLiteral("S"), QStringLiteral("Text of b")}}));
  tmp_.write(QStringLiteral("out/book.pdf"), "an older PDF");
  const Outcome o = Run({"-r", "-j", "2", "--flat", "--delete-source", "-o", "out", "--report", "-",
                         "in/z/book.xlsx", "in/b/other.xlsx", "in/w/book.xlsx", "in/a"});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  const QList<QJsonObject> report = JsonLines(o.out);
  ASSERT_EQ(report.size(), 6) << o.out.toStdString();
  QStringList targets;
  for (int i = 0; i < 5; ++i) {
    const QJsonObject& row = report[i];
    const QString folder = QFileInfo(S(row, "source")).dir().dirName();
    ASSERT_EQ(S(row, "status"), QStringLiteral("success")) << S(row, "message").toStdString();
    targets.append(S(row, "target"));
    EXPECT_TRUE(
        tabrix::test::pdfText(S(row, "target")).contains(QStringLiteral("Text of ") + folder))
        << "the PDF named is not the one made from " << S(row, "source").toStdString();
    EXPECT_FALSE(QFile::exists(S(row, "source")));
  }
  targets.sort();
  EXPECT_EQ(targets,
            (QStringList{F("out/-tabrix-2-book.pdf"), F("out/-tabrix-3-book.pdf"),
                         F("out/-tabrix-book.pdf"), F("out/book.pdf"), F("out/other.pdf")}));
}

// SIGKILL in the middle of replacing a PDF: the old PDF stays whole under its
// name, and the next run removes what the killed one left (its office's pipe
// socket and private folder, its temporary files in the target folder) and
// nothing else.
TEST_F(Convert, AKilledRunKeepsTheOldPdfAndTheNextRunRemovesItsLeftovers) {
  ASSERT_TRUE(Xlsx(QStringLiteral("in/book.xlsx"),
                   {{QStringLiteral("Big"), QStringLiteral("Big text"), 3000, 9}}));
  tmp_.write(QStringLiteral("out/book.pdf"), "an older PDF");
  const QString root =
      cache_->path() + QStringLiteral("/tabrix/") + QSysInfo::machineHostName() + u'/';

  QProcess killed;
  killed.setProcessEnvironment(Environment());
  killed.start(exe_, {"convert", "-o", F("out"), F("in/book.xlsx")});
  ASSERT_TRUE(killed.waitForStarted());
  const auto pid = static_cast<pid_t>(killed.processId());
  const QString privateMask = QStringLiteral("office-tmp-%1-*").arg(pid);
  bool exporting = false;
  for (int i = 0; i < 60000 && !exporting && killed.state() == QProcess::Running; ++i) {
    for (const QString& folder : QDir(root).entryList({privateMask}, QDir::Dirs))
      exporting |= !QDir(root + folder).entryList(QDir::Files | QDir::Hidden).isEmpty();
    if (!exporting) QThread::usleep(500);
  }
  ::kill(pid, SIGKILL);
  ASSERT_TRUE(killed.waitForFinished(60000));
  ASSERT_TRUE(exporting) << "the run was not caught exporting";
  for (int i = 0; i < 600 && !processesMentioning(cache_->path()).isEmpty(); ++i)
    QThread::msleep(50);
  EXPECT_EQ(readFile(F("out/book.pdf")), QByteArray("an older PDF"));
  const QString socketMask = QStringLiteral("OSL_PIPE_%1_tabrix-%2-*").arg(::getuid()).arg(pid);
  auto sockets = [&] {
    return QDir(QStringLiteral("/tmp")).entryList({socketMask}, QDir::System | QDir::Files);
  };
  EXPECT_EQ(sockets().size(), 1) << "no leftover of the killed office to remove";
  EXPECT_EQ(QDir(root).entryList({privateMask}, QDir::Dirs).size(), 1);
  // What a run killed between writing and renaming leaves, and what is not its.
  const QString deadPart = TkvPartialFile::NameOf(pid, 0);
  const QString livePart = TkvPartialFile::NameOf(::getpid(), 0);
  for (const QString& name : {deadPart, livePart, QStringLiteral("lu1234.tmp")})
    tmp_.write(QStringLiteral("out/") + name, "x");

  const Outcome next = Run({"-o", "out", "in/book.xlsx"});
  EXPECT_EQ(next.exitCode, 0) << next.err.toStdString();
  EXPECT_TRUE(tabrix::test::pdfText(F("out/book.pdf")).contains(QStringLiteral("Big text")));
  EXPECT_TRUE(sockets().isEmpty());
  EXPECT_TRUE(QDir(root).entryList({privateMask}, QDir::Dirs).isEmpty());
  QStringList left = QDir(F("out")).entryList(QDir::Files | QDir::Hidden);
  left.sort();
  EXPECT_EQ(left,
            (QStringList{livePart, QStringLiteral("book.pdf"), QStringLiteral("lu1234.tmp")}));
}

TEST_F(Convert, WatchPicksUpNewFilesAndStopsOnSigtermWithZero) {
  Copy("quarterly-sales.xlsx", QStringLiteral("hot/first.xlsx"));
  // Converted once though its source stays; failed once: --strict still ends with 0.
  Copy("quarterly-sales.xlsx", QStringLiteral("hot/stays.xlsx"));
  tmp_.write(QStringLiteral("hot/stays.xlsx.done"), "an earlier file of that name");
  tmp_.write(QStringLiteral("hot/notes.xlsx"), "some notes, no workbook");
  QDir().mkpath(F("empty"));  // an empty hot folder is no fault
  QProcess process;
  process.setProcessEnvironment(Environment());
  process.setWorkingDirectory(tmp_.path());
  process.start(
      exe_, {"convert", "--watch", "200", "--strict", "--rename-source", ".done", "-o", F("out"),
             "--report", F("report.jsonl"), "--log", F("run.log"), F("hot"), F("empty")});
  ASSERT_TRUE(process.waitForStarted());
  auto waitFor = [](const QString& path) {
    for (int i = 0; i < 600 && !QFile::exists(path); ++i) QThread::msleep(50);
    return QFile::exists(path);
  };
  ASSERT_TRUE(waitFor(F("hot/first.xlsx.done"))) << process.readAllStandardError().toStdString();
  const QList<pid_t> offices = processesMentioning(cache_->path());
  EXPECT_EQ(offices.size(), 1) << "one converter thread, one office";
  // Dropped in whole, as a hot folder's writers should: written aside, then moved.
  Copy("budget-archive.xls", QStringLiteral("incoming.tmp"));
  ASSERT_TRUE(QFile::rename(F("incoming.tmp"), F("hot/second.xls")));
  ASSERT_TRUE(waitFor(F("hot/second.xls.done")));
  EXPECT_EQ(processesMentioning(cache_->path()), offices) << "the office stays warm between rounds";
  EXPECT_EQ(process.state(), QProcess::Running);
  QThread::msleep(500);  // a few idle rounds

  ::kill(static_cast<pid_t>(process.processId()), SIGTERM);
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  const QString err = QString::fromLocal8Bit(process.readAllStandardError());
  EXPECT_EQ(process.exitCode(), 0) << err.toStdString();
  // A watch says what it does: its first line, a line per file, the summary.
  const QStringList lines = err.split(u'\n', Qt::SkipEmptyParts);
  ASSERT_GE(lines.size(), 5) << err.toStdString();
  EXPECT_EQ(lines.first(), QStringLiteral("tabrix: watching %1, %2 every 200 ms; Ctrl-C stops")
                               .arg(F("hot"), F("empty")));
  EXPECT_FALSE(err.contains(QLatin1String("no workbook matches"))) << err.toStdString();
  EXPECT_TRUE(err.contains(
      QStringLiteral("tabrix: %1 -> %2\n").arg(F("hot/second.xls"), F("out/second.pdf"))))
      << err.toStdString();
  EXPECT_EQ(lines.last(), QStringLiteral("tabrix: watch ended: 3 converted, 1 failed, 0 skipped"));
  EXPECT_TRUE(readFile(F("out/first.pdf")).startsWith("%PDF"));
  EXPECT_TRUE(readFile(F("out/second.pdf")).startsWith("%PDF"));
  const QList<QJsonObject> report = JsonLines(readFile(F("report.jsonl")));
  int successes = 0, summaries = 0, failures = 0;
  for (const QJsonObject& o : report) {
    successes += S(o, "status") == QLatin1String("success");
    failures += S(o, "status") == QLatin1String("failure");
    summaries += o.contains(QStringLiteral("items"));
    if (S(o, "source") == F("hot/stays.xlsx")) {
      EXPECT_TRUE(S(o, "message").contains(QLatin1String("could not be renamed")));
    }
  }
  EXPECT_EQ(successes, 3) << "a source that stays is not converted again";
  EXPECT_EQ(failures, 1);
  EXPECT_EQ(summaries, 2) << "one summary per round that converted something";
  EXPECT_TRUE(QString::fromUtf8(readFile(F("run.log")))
                  .startsWith(QStringLiteral("Success => ") + F("hot/second.xls")));
  EXPECT_EQ(processesMentioning(cache_->path()).size(), 0)
      << "an office process outlived the watch";
}

}  // namespace
