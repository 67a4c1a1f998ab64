// The built program takes the window road: started without PureConsole it
// keeps a window open (on the offscreen platform) until it is ended; an
// automatic window run ends by itself, whatever stops it at its start; with
// no display it says so instead of aborting.

#include "support/scoped_temp_dir.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

using tabrix::test::ScopedTempDir;

namespace {

QString BuiltProgram() { return qEnvironmentVariable("TABRIX_BINARY_DIR") + "/bin/tabrix"; }

// A copy of the program in `temp`, so that the files it keeps beside itself
// land in the temporary folder; empty when the copy fails.
QString CopyProgramInto(const ScopedTempDir& temp, const QString& built) {
  const QString exe = temp.file("tabrix");
  if (!QFile::copy(built, exe)) return {};
  QFile::setPermissions(exe, QFile::permissions(exe) | QFile::ExeOwner);
  return exe;
}

// Starts `exe` with `args` in `temp` on the offscreen platform, its
// settings and state kept in `temp`.
void StartProgram(QProcess& program, const ScopedTempDir& temp, const QString& exe, const QStringList& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", temp.file("config"));
  env.insert("XDG_STATE_HOME", temp.file("state"));
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(temp.path());
  program.start(exe, args);
}

struct Ended {
  bool finished = false;
  int exitCode = -1;
  QString err;
};

// Runs the program in `temp` to its end, at most `ms` long (then it is
// killed). `platform` becomes QT_QPA_PLATFORM (empty: unset, the desktop's
// default); without `display`, DISPLAY and WAYLAND_DISPLAY are removed.
Ended RunToEnd(const ScopedTempDir& temp, const QString& exe, const QStringList& args, int ms = 30000,
               const QString& platform = "offscreen", bool display = true) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  if (!display) {
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
  }
  if (platform.isEmpty())
    env.remove("QT_QPA_PLATFORM");
  else
    env.insert("QT_QPA_PLATFORM", platform);
  env.insert("XDG_CONFIG_HOME", temp.file("config"));
  env.insert("XDG_STATE_HOME", temp.file("state"));
  QProcess program;
  program.setProcessEnvironment(env);
  program.setWorkingDirectory(temp.path());
  program.start(exe, args);
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

// Entries of `folder` whose names hold a ":" (folders made from an
// address's text, such as "http:" or "file:").
QStringList AddressFolders(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).filter(":");
}

}  // namespace

TEST(WindowRoad, ProgramOpensItsWindowAndKeepsRunning) {
  const QString built = BuiltProgram();
  if (!QFileInfo(built).isExecutable()) GTEST_SKIP() << "no built program at " << built.toStdString();
  ScopedTempDir temp;
  const QString exe = CopyProgramInto(temp, built);
  ASSERT_FALSE(exe.isEmpty());
  const QString project = temp.write("start.batch-tabrix", "Source=/nowhere/*.xls\r\nTarget=/nowhere/\r\n");

  QProcess program;
  StartProgram(program, temp, exe, {project});
  ASSERT_TRUE(program.waitForStarted(10000));
  // A window road that returned at once (or crashed) would end the process.
  EXPECT_FALSE(program.waitForFinished(2500)) << program.readAllStandardOutput().toStdString()
                                              << program.readAllStandardError().toStdString();
  EXPECT_EQ(program.state(), QProcess::Running);
  program.kill();
  program.waitForFinished(5000);
}

TEST(WindowRoad, RunAndCloseProjectConvertsWritesItsLogAndEnds) {
  const QString built = BuiltProgram();
  if (!QFileInfo(built).isExecutable()) GTEST_SKIP() << "no built program at " << built.toStdString();
  ScopedTempDir temp;
  const QString exe = CopyProgramInto(temp, built);
  ASSERT_FALSE(exe.isEmpty());
  temp.write("in/readme.txt", "not a workbook");  // nothing to convert: no office starts
  const QString log = temp.write("run.log", "old contents");
  const QString project = temp.write(
      "auto.batch-tabrix", QStringLiteral("Source=%1\r\nTarget=%2\r\nRunAndClose=True\r\nLogFile=%3\r\n")
                               .arg(temp.file("in/*.xls?"), temp.file("out/"), log)
                               .toUtf8());

  QProcess program;
  StartProgram(program, temp, exe, {project});
  ASSERT_TRUE(program.waitForFinished(30000)) << "the window did not close";
  EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
  EXPECT_TRUE(QFileInfo(temp.file("out")).isDir());
  EXPECT_TRUE(tabrix::test::readFile(log).isEmpty());  // replaced by the empty list
}

TEST(WindowRoad, AutomaticRunsThatEndAtTheirStartStillEndTheProgram) {
  const QString built = BuiltProgram();
  if (!QFileInfo(built).isExecutable()) GTEST_SKIP() << "no built program at " << built.toStdString();
  ScopedTempDir temp;
  const QString exe = CopyProgramInto(temp, built);
  ASSERT_FALSE(exe.isEmpty());
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
      {"a web-address target", "RunAndClose=True;Source=" + in + ";Target=http://127.0.0.1:9/out/", "web address"},
      // The invisible window of a web-address source: the default target is
      // the address's folder, which is no folder.
      {"a web-address source without a target", "PureConsole=True;Source=http://127.0.0.1:9/books/a.xlsx",
       "web address"},
  };
  for (const Case& c : cases) {
    QFile::remove(log);
    const Ended e = RunToEnd(temp, exe, {"/P:" + c.options + ";LogFile=" + log});
    EXPECT_TRUE(e.finished) << c.what << ": the program did not end";
    EXPECT_EQ(e.exitCode, 0) << c.what << ": " << e.err.toStdString();
    EXPECT_TRUE(QFileInfo::exists(log)) << c.what << ": no log written";
    EXPECT_TRUE(tabrix::test::readFile(log).isEmpty()) << c.what;
    if (c.says) {
      EXPECT_TRUE(e.err.contains(c.says)) << c.what << ": " << e.err.toStdString();
    }
    EXPECT_EQ(AddressFolders(temp.path()), QStringList()) << c.what << ": folders made from an address";
  }
}

TEST(WindowRoad, ALogFileThatCannotBeWrittenIsSaidOnStderr) {
  const QString built = BuiltProgram();
  if (!QFileInfo(built).isExecutable()) GTEST_SKIP() << "no built program at " << built.toStdString();
  ScopedTempDir temp;
  const QString full = tabrix::test::fullDevice(temp);
  if (full.isEmpty()) GTEST_SKIP() << "no device that runs out of space can be made here";
  const QString exe = CopyProgramInto(temp, built);
  ASSERT_FALSE(exe.isEmpty());
  // One item, skipped because its PDF is there: a log line without an office.
  temp.write("in/a.xls", "x");
  temp.write("out/a.pdf", "%PDF");
  const Ended e = RunToEnd(temp, exe,
                           {"/P:RunAndClose=True;IsOverwrite=skip;Source=" + temp.file("in/*.xls") +
                            ";Target=" + temp.file("out") + ";LogFile=" + full});
  EXPECT_TRUE(e.finished);
  EXPECT_EQ(e.exitCode, 0);
  EXPECT_TRUE(e.err.contains("The log file was not written")) << e.err.toStdString();
  EXPECT_TRUE(e.err.contains(full)) << e.err.toStdString();
}

TEST(WindowRoad, NoDisplayIsSaidInOneLineWithTheWayWithoutOne) {
  const QString built = BuiltProgram();
  if (!QFileInfo(built).isExecutable()) GTEST_SKIP() << "no built program at " << built.toStdString();
  ScopedTempDir temp;
  const QString exe = CopyProgramInto(temp, built);
  ASSERT_FALSE(exe.isEmpty());
  const QString book = temp.write("book.xlsx", "x");
  for (const QStringList& args : {QStringList(), QStringList{book}}) {
    for (const QString& platform : {QString(), QString("xcb")}) {
      const Ended e = RunToEnd(temp, exe, args, 30000, platform, false);
      const std::string what = "args " + args.join(' ').toStdString() + ", platform '" + platform.toStdString() + "'";
      EXPECT_TRUE(e.finished) << what;
      EXPECT_EQ(e.exitCode, 1) << what << ": " << e.err.toStdString();
      EXPECT_EQ(e.err.count('\n'), 1) << what << ": " << e.err.toStdString();
      EXPECT_TRUE(e.err.contains("no display")) << what << ": " << e.err.toStdString();
      EXPECT_TRUE(e.err.contains("PureConsole=True")) << e.err.toStdString();
      EXPECT_TRUE(e.err.contains("--help")) << e.err.toStdString();
    }
  }
  // Without a display the offscreen platform still opens its window.
  QProcess program;
  StartProgram(program, temp, exe, {book});
  ASSERT_TRUE(program.waitForStarted(10000));
  EXPECT_FALSE(program.waitForFinished(2000)) << program.readAllStandardError().toStdString();
  program.kill();
  program.waitForFinished(5000);
}
