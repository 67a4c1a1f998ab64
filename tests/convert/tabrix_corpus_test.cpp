// The built program converts every real-world workbook of the corpus
// unattended on two threads: each file ends Success or Failure, the run
// ends, and no office process is left behind.

#include "office_test_env.h"
#include "support/processes.h"
#include "support/scoped_temp_dir.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace tabrix::test;

namespace {

TEST(TabrixCorpus, EveryWorkbookEndsSuccessOrFailure) {
  TABRIX_REQUIRE_OFFICE();
  const QString corpus = realworldCorpusDir();
  if (corpus.isEmpty()) GTEST_SKIP() << "the real-world corpus is not here";
  const QString program =
      QString::fromLocal8Bit(qgetenv("TABRIX_BINARY_DIR")) + QStringLiteral("/bin/tabrix");
  if (!QFileInfo(program).isExecutable())
    GTEST_SKIP() << "the tabrix program is not built: " << program.toStdString();

  QSet<QString> expected;
  const QRegularExpression workbook(QStringLiteral("\\.xls.?$"),
                                    QRegularExpression::CaseInsensitiveOption);
  for (const QFileInfo& f : QDir(corpus).entryInfoList(QDir::Files))
    if (workbook.match(f.fileName()).hasMatch()) expected.insert(f.absoluteFilePath());
  ASSERT_FALSE(expected.isEmpty());

  ScopedTempDir tmp;
  const QString log = tmp.file(QStringLiteral("run.log"));
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
    env.insert(QString::fromLatin1(name), tmp.file(QString::fromLatin1(name)));
  QProcess run;
  run.setProcessEnvironment(env);
  run.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  run.start(
      program,
      {QStringLiteral("/P:PureConsole=True;ThreadsCount=2;Source=%1/*.xls?;Target=%2;LogFile=%3")
           .arg(corpus, tmp.file(QStringLiteral("out")), log)});
  ASSERT_TRUE(run.waitForFinished(1400 * 1000)) << "the run did not end";
  EXPECT_EQ(run.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(run.exitCode(), 0);

  const QStringList lines =
      QString::fromUtf8(readFile(log)).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
  EXPECT_EQ(lines.size(), expected.size());
  QSet<QString> seen;
  int successes = 0;
  for (const QString& line : lines) {
    const QStringList parts = line.split(QStringLiteral(" => "));
    ASSERT_GE(parts.size(), 3) << line.toStdString();
    EXPECT_TRUE(parts[0] == QLatin1String("Success") || parts[0] == QLatin1String("Failure"))
        << line.toStdString();
    EXPECT_FALSE(parts[2].isEmpty()) << line.toStdString();
    if (parts[0] == QLatin1String("Success")) {
      ++successes;
      EXPECT_GT(QFileInfo(parts[2]).size(), 0) << line.toStdString();
    }
    seen.insert(parts[1]);
  }
  EXPECT_EQ(seen, expected);
  EXPECT_GT(successes, expected.size() / 2);  // most real-world workbooks convert
  EXPECT_TRUE(officesMentioning(tmp.path()).isEmpty());
}

}  // namespace
