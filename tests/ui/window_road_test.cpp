// The built program takes the window road: started without PureConsole it
// keeps a window open (on the offscreen platform) until it is ended.

#include "support/scoped_temp_dir.h"

#include <gtest/gtest.h>

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

// Starts `exe` with `args` on the offscreen platform, its settings and state
// kept in `temp`.
void StartProgram(QProcess& program, const ScopedTempDir& temp, const QString& exe, const QStringList& args) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("XDG_CONFIG_HOME", temp.file("config"));
  env.insert("XDG_STATE_HOME", temp.file("state"));
  program.setProcessEnvironment(env);
  program.start(exe, args);
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
