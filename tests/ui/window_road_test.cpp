// The built program takes the window road: started without PureConsole it
// keeps a window open (on the offscreen platform) until it is ended; an
// automatic window run ends by itself, whatever stops it at its start; with
// no display it says so instead of aborting.

#include "support/built_program.h"
#include "support/scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

using tabrix::test::ScopedTempDir;

namespace {

struct Ended {
  bool finished = false;
  int exitCode = -1;
  QString err;
};

// A private copy of the built program in a temporary folder, started there
// without a display; skipped in a build without the program.
class WindowRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!QFileInfo(tabrix::test::BuiltProgram()).isExecutable())
      GTEST_SKIP() << "no built program at " << tabrix::test::BuiltProgram().toStdString();
    exe = tabrix::test::CopyBuiltProgram(temp);
    ASSERT_FALSE(exe.isEmpty());
  }

  // Starts the program with `args`. `platform` becomes QT_QPA_PLATFORM
  // (empty: unset, the desktop's default).
  void Start(QProcess& program, const QStringList& args,
             const QString& platform = "offscreen") const {
    QProcessEnvironment env = tabrix::test::ProgramEnvironment(temp, temp.file("cache"));
    if (platform.isEmpty())
      env.remove("QT_QPA_PLATFORM");
    else
      env.insert("QT_QPA_PLATFORM", platform);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(temp.path());
    program.start(exe, args);
  }

  // Runs the program to its end, at most `ms` long (then it is killed).
  Ended RunToEnd(const QStringList& args, int ms = 30000,
                 const QString& platform = "offscreen") const {
    QProcess program;
    Start(program, args, platform);
    Ended e;
    e.finished = program.waitForFinished(ms);
    if (!e.finished) {
      program.kill();
      program.waitForFinished(5000);
    }
    e.exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    e.err = QString::fromLocal8Bit(program.readAllStandardError());
    return e;
  }

  // Starts the program and expects it to keep running for `ms`; then kills it.
  void ExpectKeepsRunning(const QStringList& args, int ms) const {
    QProcess program;
    Start(program, args);
    ASSERT_TRUE(program.waitForStarted(10000));
    // A window road that returned at once (or crashed) would end the process.
    EXPECT_FALSE(program.waitForFinished(ms)) << program.readAllStandardOutput().toStdString()
                                              << program.readAllStandardError().toStdString();
    EXPECT_EQ(program.state(), QProcess::Running);
    program.kill();
    program.waitForFinished(5000);
  }

  ScopedTempDir temp;
  QString exe;
};

// Entries of `folder` whose names hold a ":" (folders made from an
// address's text, such as "http:" or "file:").
QStringList AddressFolders(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter(":");
}

}  // namespace

TEST_F(WindowRoad, ProgramOpensItsWindowAndKeepsRunning) {
  const QString project =
      temp.write("start.batch-tabrix", "Source=/nowhere/*.xls\r\nTarget=/nowhere/\r\n");
  ExpectKeepsRunning({project}, 2500);
}

TEST_F(WindowRoad, RunAndCloseProjectConvertsWritesItsLogAndEnds) {
  temp.write("in/readme.txt", "not a workbook");  // nothing to convert: no office starts
  const QString log = temp.write("run.log", "old contents");
  const QString project =
      temp.write("auto.batch-tabrix",
                 QStringLiteral("Source=%1\r\nTarget=%2\r\nRunAndClose=True\r\nLogFile=%3\r\n")
                     .arg(temp.file("in/*.xls?"), temp.file("out/"), log)
                     .toUtf8());

  const Ended e = RunToEnd({project});
  ASSERT_TRUE(e.finished) << "the window did not close";
  EXPECT_EQ(e.exitCode, 0) << e.err.toStdString();
  EXPECT_TRUE(QFileInfo(temp.file("out")).isDir());
  EXPECT_TRUE(tabrix::test::readFile(log).isEmpty());  // replaced by the empty list
}

TEST_F(WindowRoad, AutomaticRunsThatEndAtTheirStartStillEndTheProgram) {
  temp.write("in/readme.txt", "not a workbook");
  const QString log = temp.file("run.log");
  const QString in = temp.file("in/*.xls?");
  const QString out = temp.file("out/");

  struct Case {
    const char* what;
    QString options;
    const char* says;  // on stderr; null: nothing asked
  } cases[] = {
      {"no source", "RunAndClose=True;Source=;Target=" + out, nullptr},
      {"a target reduced to nothing", "RunAndClose=True;Source=" + in + ";Target=*?", nullptr},
      {"a web-address target", "RunAndClose=True;Source=" + in + ";Target=http://127.0.0.1:9/out/",
       "web address"},
      // The invisible window of a web-address source: the default target is
      // the address's folder, which is no folder.
      {"a web-address source without a target",
       "PureConsole=True;Source=http://127.0.0.1:9/books/a.xlsx", "web address"},
  };
  for (const Case& c : cases) {
    QFile::remove(log);
    const Ended e = RunToEnd({"/P:" + c.options + ";LogFile=" + log});
    EXPECT_TRUE(e.finished) << c.what << ": the program did not end";
    EXPECT_EQ(e.exitCode, 0) << c.what << ": " << e.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(log)) << c.what << ": no log written";
    EXPECT_TRUE(tabrix::test::readFile(log).isEmpty()) << c.what;
    if (c.says) {
      EXPECT_TRUE(e.err.contains(c.says)) << c.what << ": " << e.err.toStdString();
    }
    EXPECT_EQ(AddressFolders(temp.path()), QStringList())
        << c.what << ": folders made from an address";
  }
}

TEST_F(WindowRoad, ALogFileThatCannotBeWrittenIsSaidOnStderr) {
  const QString full = tabrix::test::fullDevice(temp);
  if (full.isEmpty()) GTEST_SKIP() << "no device that runs out of space can be made here";
  // One item, skipped because its PDF is there: a log line without an office.
  temp.write("in/a.xls", "x");
  temp.write("out/a.pdf", "%PDF");
  const Ended e = RunToEnd({"/P:RunAndClose=True;IsOverwrite=skip;Source=" + temp.file("in/*.xls") +
                            ";Target=" + temp.file("out") + ";LogFile=" + full});
  EXPECT_TRUE(e.finished);
  EXPECT_EQ(e.exitCode, 0);
  EXPECT_TRUE(e.err.contains("The log file was not written")) << e.err.toStdString();
  EXPECT_TRUE(e.err.contains(full)) << e.err.toStdString();
}

TEST_F(WindowRoad, NoDisplayIsSaidInOneLineWithTheWayWithoutOne) {
  const QString book = temp.write("book.xlsx", "x");
  for (const QStringList& args : {QStringList(), QStringList{book}}) {
    for (const QString& platform : {QString(), QString("xcb")}) {
      const Ended e = RunToEnd(args, 30000, platform);
      const std::string what =
          "args " + args.join(' ').toStdString() + ", platform '" + platform.toStdString() + "'";
      EXPECT_TRUE(e.finished) << what;
      EXPECT_EQ(e.exitCode, 1) << what << ": " << e.err.toStdString();
      EXPECT_EQ(e.err.count('\n'), 1) << what << ": " << e.err.toStdString();
      EXPECT_TRUE(e.err.contains("no display")) << what << ": " << e.err.toStdString();
      EXPECT_TRUE(e.err.contains("PureConsole=True")) << e.err.toStdString();
      EXPECT_GE(e.err.indexOf("tabrix convert -o"), 0) << e.err.toStdString();
      EXPECT_LT(e.err.indexOf("tabrix convert -o"), e.err.indexOf("/P:"))
          << "the convert spelling comes first: " << e.err.toStdString();
      EXPECT_TRUE(e.err.contains("--help")) << e.err.toStdString();
    }
  }
  // Without a display the offscreen platform still opens its window.
  ExpectKeepsRunning({book}, 2000);
}
