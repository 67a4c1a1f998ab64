// The built program, run as a user or a script would run it: exit codes,
// what reaches stdout and stderr, the unattended run's log file.

#include "support/built_program.h"
#include "support/processes.h"
#include "support/qt_print.h"
#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using tabrix::test::BuiltProgram;
using tabrix::test::CopyBuiltProgram;
using tabrix::test::processesMentioning;
using tabrix::test::ProgramEnvironment;
using tabrix::test::readFile;
using tabrix::test::ScopedTempDir;

namespace {

struct Outcome {
  int exitCode = -1;
  QString out;
  QString err;
};

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFile::exists(BuiltProgram()))
      GTEST_SKIP() << "no tabrix executable (build with TABRIX_BUILD_UI=ON)";
    QDir().mkpath(tmp_.file(QStringLiteral("in")));
    QDir().mkpath(tmp_.file(QStringLiteral("cwd")));
    exe_ = CopyBuiltProgram(tmp_);
    ASSERT_FALSE(exe_.isEmpty());
  }

  QProcessEnvironment Environment() const {
    return ProgramEnvironment(tmp_, tmp_.file(QStringLiteral("cache")));
  }

  Outcome Run(const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(Environment());
    // Relative paths (and folders wrongly made from a text) land here.
    process.setWorkingDirectory(tmp_.file(QStringLiteral("cwd")));
    process.start(exe_, args);
    EXPECT_TRUE(process.waitForFinished(120000));
    Outcome o;
    o.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    o.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    o.err = QString::fromLocal8Bit(process.readAllStandardError());
    return o;
  }

  QString Options(const QString& text) { return QStringLiteral("/P:") + text; }

  ScopedTempDir tmp_;
  QString exe_;
};

TEST_F(Program, HelpAndVersionPrintToStdout) {
  const Outcome help = Run({QStringLiteral("--help")});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.contains(QStringLiteral("PureConsole"))) << help.out.toStdString();
  for (const QString& line : help.out.split(u'\n'))
    EXPECT_LE(line.size(), 80) << "wider than a terminal: " << line.toStdString();
  EXPECT_TRUE(help.err.isEmpty());
  const Outcome version = Run({QStringLiteral("--version")});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, QStringLiteral("Tabrix Converter 2025.17.420.2053\n"));
  EXPECT_EQ(Run({QStringLiteral("-h")}).out, help.out);
  // Misspellings are named, and a bare word that names nothing opens no window.
  const struct {
    QStringList args;
    const char* says;
  } typos[] = {{{"--verison"}, "did you mean --version?"},
               {{"conver", "in"},
                "'conver' is no file, folder, mask, project or command (did "
                "you mean convert?)"}};
  for (const auto& t : typos) {
    const Outcome o = Run(t.args);
    EXPECT_EQ(o.exitCode, 64) << o.err.toStdString();
    EXPECT_TRUE(o.err.contains(QLatin1String(t.says))) << o.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(tmp_.file(QStringLiteral("bin/tabrix.ext")))) << "nothing else ran";
}

TEST_F(Program, ProjectFileRunTurnsRealWorkbooksIntoPdfFiles) {
  const QString examples = tabrix::test::sourceDir() + QStringLiteral("/examples/");
  ASSERT_TRUE(QFile::copy(examples + QStringLiteral("quarterly-sales.xlsx"),
                          tmp_.file(QStringLiteral("in/a.xlsx"))));
  QDir().mkpath(tmp_.file(QStringLiteral("in/sub")));
  ASSERT_TRUE(QFile::copy(examples + QStringLiteral("budget-archive.xls"),
                          tmp_.file(QStringLiteral("in/sub/b.xls"))));
  const QString log = tmp_.file(QStringLiteral("out/run.log"));
  const QString project =
      tmp_.write(QStringLiteral("job.batch-tabrix"),
                 QStringLiteral("PureConsole=True\r\nSubdir=True\r\nThreadsCount=2\r\nSource=%1/"
                                "*.xls?\r\nTarget=%2\r\nLogFile=%3\r\nRecalculate=sometimes\r\n"
                                "Orientation=sideways\r\n")
                     .arg(tmp_.file(QStringLiteral("in")), tmp_.file(QStringLiteral("out")), log)
                     .toUtf8());
  const Outcome o = Run({project});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  // Values none of their key's words: warned of, and the run does as it says.
  // No progress line when stderr is not a terminal.
  EXPECT_EQ(o.err, QStringLiteral(
                       "tabrix: Recalculate=sometimes is not Auto, Always or Never: Auto is used\n"
                       "tabrix: Orientation=sideways is not portrait or landscape: each sheet "
                       "keeps its own\n"));
  const QString text = QString::fromUtf8(readFile(log));
  EXPECT_EQ(text.count(QStringLiteral("Success => ")), 2) << text.toStdString();
  for (const char* pdf : {"out/a.pdf", "out/sub/b.pdf"})
    EXPECT_TRUE(readFile(tmp_.file(QLatin1String(pdf))).startsWith("%PDF")) << pdf;
  EXPECT_TRUE(readFile(tmp_.file(QStringLiteral("bin/tabrix.ext"))).contains("S=2"));
  EXPECT_EQ(processesMentioning(tmp_.file(QStringLiteral("cache"))).size(), 0)
      << "an office process outlived the run";
}

TEST_F(Program, InterruptFinishesTheItemsInHandAndLeavesNoOffice) {
  const QString book = tabrix::test::sourceDir() + QStringLiteral("/examples/quarterly-sales.xlsx");
  for (int i = 0; i < 8; ++i)
    ASSERT_TRUE(QFile::copy(book, tmp_.file(QStringLiteral("in/book%1.xlsx").arg(i))));
  const QString log = tmp_.file(QStringLiteral("out/run.log"));
  QProcess process;
  process.setProcessEnvironment(Environment());
  process.start(
      exe_,
      {Options(QStringLiteral("PureConsole=True;Source=%1/*.xls?;Target=%2;LogFile=%3")
                   .arg(tmp_.file(QStringLiteral("in")), tmp_.file(QStringLiteral("out")), log))});
  ASSERT_TRUE(process.waitForStarted());
  // Interrupt once the first workbook is done.
  for (int i = 0; i < 1200 && !QFile::exists(tmp_.file(QStringLiteral("out/book0.pdf"))); ++i)
    QThread::msleep(50);
  ::kill(static_cast<pid_t>(process.processId()), SIGINT);
  ASSERT_TRUE(process.waitForFinished(120000));
  EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(process.exitCode(), 1);
  EXPECT_TRUE(
      QString::fromLocal8Bit(process.readAllStandardError()).contains(QStringLiteral("stopped")));
  const QString text = QString::fromUtf8(readFile(log));
  EXPECT_GE(text.count(QStringLiteral("Success => ")), 1) << text.toStdString();
  EXPECT_LT(text.count(QStringLiteral("\r\n")), 8) << text.toStdString();
  EXPECT_EQ(processesMentioning(tmp_.file(QStringLiteral("cache"))).size(), 0)
      << "an office process outlived the run";
}

TEST_F(Program, RunFailuresEndWithOneAndTheMessage) {
  tmp_.write(QStringLiteral("in/a.xls"), "x");
  const QString badLog = tmp_.file(QStringLiteral("in/a.xls/run.log"));  // a file, no folder
  Outcome o = Run({Options(
      QStringLiteral("PureConsole=True;Source=%1/*.xls;Target=%2;LogFile=%3")
          .arg(tmp_.file(QStringLiteral("in")), tmp_.file(QStringLiteral("out")), badLog))});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_TRUE(o.err.contains(badLog)) << o.err.toStdString();

  o = Run({Options(QStringLiteral("PureConsole=True;Source=*.xls"))});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_TRUE(o.err.contains(QStringLiteral("Unable to create directory"))) << o.err.toStdString();

  // A bad shard is an error of the run, before any file is converted.
  const QString log = tmp_.file(QStringLiteral("out/run.log"));
  for (const QString& shard : {QStringLiteral("4/4"), QStringLiteral("auto")}) {
    o = Run({Options(
        QStringLiteral("PureConsole=True;Source=%1/*.xls;Target=%2;LogFile=%3;Shard=%4")
            .arg(tmp_.file(QStringLiteral("in")), tmp_.file(QStringLiteral("out")), log, shard))});
    EXPECT_EQ(o.exitCode, 1);
    EXPECT_TRUE(o.err.contains(shard == QLatin1String("auto")
                                   ? QStringLiteral("SLURM_ARRAY_TASK_ID")
                                   : QStringLiteral("\"4/4\"")))
        << o.err.toStdString();
    EXPECT_FALSE(QFile::exists(log));
  }
}

TEST_F(Program, ALogFileThatCannotTakeTheWholeLogFailsTheRun) {
  const QString full = tabrix::test::fullDevice(tmp_);
  if (full.isEmpty()) GTEST_SKIP() << "no device that runs out of space can be made here";
  // One item, skipped because its PDF is there: a log line without an office.
  tmp_.write(QStringLiteral("in/a.xls"), "x");
  tmp_.write(QStringLiteral("out/a.pdf"), "%PDF");
  const Outcome o = Run({Options(
      QStringLiteral("PureConsole=True;IsOverwrite=skip;Source=%1/*.xls;Target=%2;LogFile=%3")
          .arg(tmp_.file(QStringLiteral("in")), tmp_.file(QStringLiteral("out")), full))});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_TRUE(o.err.contains(full)) << o.err.toStdString();
}

TEST_F(Program, AddressTargetsAreTurnedIntoPathsOrRefusedNeverMadeIntoFolders) {
  tmp_.write(QStringLiteral("in/readme.txt"), "not a workbook");
  const QString source = tmp_.file(QStringLiteral("in")) + QStringLiteral("/*.xls");
  const auto addressFolders = [this] {
    return QDir(tmp_.file(QStringLiteral("cwd")))
        .entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
  };

  // A "file:" target is the folder it names.
  Outcome o = Run({Options(QStringLiteral("PureConsole=True;Source=%1;Target=file://%2")
                               .arg(source, tmp_.file(QStringLiteral("out"))))});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_TRUE(QFileInfo(tmp_.file(QStringLiteral("out"))).isDir());
  EXPECT_EQ(addressFolders(), QStringList());

  // A web address names no folder: refused like an empty target.
  o = Run({Options(
      QStringLiteral("PureConsole=True;Source=%1;Target=ftp://127.0.0.1:9/out/").arg(source))});
  EXPECT_EQ(o.exitCode, 1);
  EXPECT_TRUE(o.err.contains(QStringLiteral("ftp://127.0.0.1:9/out/ is a web address")))
      << o.err.toStdString();
  EXPECT_EQ(addressFolders(), QStringList());
}

TEST_F(Program, OptionsAreCheckedAndDashedWordsThatAreNoSwitchEndWith64) {
  // Warnings only: the run reads the values as ever (a bare folder as
  // Source finds nothing) and ends with 0.
  const QString in = tmp_.file(QStringLiteral("in"));
  Outcome o = Run({Options(QStringLiteral("PureConsole=True;Sorce=x;Subdir=yes;Source=%1;Target=%2")
                               .arg(in, tmp_.file(QStringLiteral("out"))))});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(o.err, QStringLiteral("tabrix: unknown option 'Sorce' (did you mean Source?)\n"
                                  "tabrix: Subdir=yes is not True or False: False is used\n"
                                  "tabrix: Source names a folder without a mask: add *.xls? to "
                                  "convert its workbooks\n"
                                  "tabrix: no workbook matches %1\n")
                       .arg(in));

  for (const QStringList& args :
       {QStringList{QStringLiteral("--strict")}, QStringList{QStringLiteral("-v")},
        QStringList{Options(QStringLiteral("PureConsole=True;Source=%1/*.xls").arg(in)),
                    QStringLiteral("--strict")}}) {
    o = Run(args);
    EXPECT_EQ(o.exitCode, 64) << args.join(u' ').toStdString();
    EXPECT_TRUE(o.err.contains(QStringLiteral("tabrix convert --help"))) << o.err.toStdString();
  }
  // A file of that name and Qt's own arguments pass.
  tmp_.write(QStringLiteral("cwd/-v"), "x");
  o = Run({Options(QStringLiteral("PureConsole=True;Source=%1/*.xls").arg(in)),
           QStringLiteral("-v"), QStringLiteral("-platform"), QStringLiteral("offscreen")});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_EQ(o.err, QStringLiteral("tabrix: no workbook matches %1/*.xls\n").arg(in));
}

TEST_F(Program, InstallerNoticeEndsWithZeroBeforeAnyRun) {
  const Outcome o = Run({QStringLiteral("/Isetup-1")});
  EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
  EXPECT_TRUE(o.err.isEmpty());
  EXPECT_FALSE(readFile(tmp_.file(QStringLiteral("bin/tabrix.ext"))).contains("C="));
}

}  // namespace
